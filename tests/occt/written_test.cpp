// Files written by Open CASCADE's own writers, so that every mapping rule of
// the translator has a known answer: structure, placements, shared
// definitions, colours, units, boxes and meshes.
#include <gtest/gtest.h>

#include <BRepBndLib.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <Bnd_Box.hxx>
#include <IGESCAFControl_Writer.hxx>
#include <IGESControl_Controller.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Controller.hxx>
#include <STEPCAFControl_Writer.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <cmath>
#include <fstream>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>
#include <sstream>

#include "helpers.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Top: Pair at two placements (the second turned about x) and Rod.
// Pair: Bolt twice (the second turned about z). Bolt: a 2 x 3 x 4 box, red,
// with one face blue. Rod: a cylinder of radius 1.5 and height 10, no colour.
struct Sample {
  Handle(TDocStd_Document) doc;
  gp_Trsf pair1, pair2, rod, bolt1, bolt2;
  TopoDS_Shape boltShape, rodShape;
  TDF_Label rodComponent;

  Sample() {
    doc = new TDocStd_Document("MDTV-XCAF");
    XCAFApp_Application::GetApplication()->InitDocument(doc);
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
    boltShape = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 2, 3, 4).Shape();
    rodShape = BRepPrimAPI_MakeCylinder(1.5, 10).Shape();
    TDF_Label bolt = shapes->AddShape(boltShape, Standard_False);
    TDataStd_Name::Set(bolt, "Bolt");
    colours->SetColor(bolt, Quantity_Color(1, 0, 0, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
    TopExp_Explorer firstFace(boltShape, TopAbs_FACE);
    TDF_Label face = shapes->AddSubShape(bolt, firstFace.Current());
    colours->SetColor(face, Quantity_Color(0, 0, 1, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
    TDF_Label rodLabel = shapes->AddShape(rodShape, Standard_False);
    TDataStd_Name::Set(rodLabel, "Rod");

    bolt1.SetTranslation(gp_Vec(10, 0, 0));
    bolt2.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 0, 1)), kPi / 2);
    bolt2.SetTranslationPart(gp_Vec(0, 20, 0));
    TDF_Label pair = shapes->NewShape();
    TDataStd_Name::Set(pair, "Pair");
    shapes->AddComponent(pair, bolt, TopLoc_Location(bolt1));
    shapes->AddComponent(pair, bolt, TopLoc_Location(bolt2));

    pair1.SetTranslation(gp_Vec(0, 0, 5));
    pair2.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(1, 0, 0)), kPi / 3);
    pair2.SetTranslationPart(gp_Vec(-30, 1, 2));
    rod.SetTranslation(gp_Vec(1, 2, 3));
    TDF_Label top = shapes->NewShape();
    TDataStd_Name::Set(top, "Top");
    shapes->AddComponent(top, pair, TopLoc_Location(pair1));
    shapes->AddComponent(top, pair, TopLoc_Location(pair2));
    rodComponent = shapes->AddComponent(top, rodLabel, TopLoc_Location(rod));
    shapes->UpdateAssemblies();
  }

  // The exact box of the whole model as Open CASCADE places it.
  Bnd_Box Box() const {
    Bnd_Box box;
    for (const gp_Trsf& p : {pair1, pair2})
      for (const gp_Trsf& b : {bolt1, bolt2})
        BRepBndLib::AddOptimal(boltShape.Moved(TopLoc_Location(p * b)), box, false, false);
    BRepBndLib::AddOptimal(rodShape.Moved(TopLoc_Location(rod)), box, false, false);
    return box;
  }

  void WriteStep(const std::string& path, const char* unit) const {
    STEPCAFControl_Controller::Init();
    Interface_Static::SetCVal("write.step.unit", unit);
    STEPCAFControl_Writer writer;
    writer.SetColorMode(Standard_True);
    writer.SetNameMode(Standard_True);
    ASSERT_TRUE(writer.Transfer(doc, STEPControl_AsIs));
    ASSERT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
    Interface_Static::SetCVal("write.step.unit", "MM");
  }
};

class Written : public ::testing::Test {
 protected:
  void SetUp() override { Message::DefaultMessenger()->ChangePrinters().Clear(); }
  void TearDown() override {
    kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0);
  }
  gkit::Kit kit;
};

// Colours pass through Open CASCADE in single precision.
bool SameColour(const std::vector<double>& colour, const std::vector<double>& expected) {
  if (colour.size() != 3) return false;
  for (int i = 0; i < 3; ++i)
    if (std::fabs(colour[i] - expected[i]) > 1e-5) return false;
  return true;
}

// The placement of a component as Open CASCADE's transformation in the
// kernel's row convention: row i the image of axis i, row 3 the translation.
void ExpectPlacement(const xrchandle<KComponent>& component, const gp_Trsf& t) {
  std::vector<double> m = otest::Placement(component);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(m[i * 4 + j], t.Value(j + 1, i + 1), 1e-9) << i << j;
    EXPECT_EQ(m[i * 4 + 3], 0);
    EXPECT_NEAR(m[12 + i], t.Value(i + 1, 4), 1e-9) << i;
  }
  EXPECT_EQ(m[15], 1);
}

TEST_F(Written, StepAssemblyKeepsStructurePlacementsSharingAndColours) {
  Sample sample;
  std::string path = kit.Path("sample.stp");
  sample.WriteStep(path, "MM");
  {
    std::string reason;
    xrchandle<KModel> top = otest::Translate(path, KFORMAT_STEP, &reason);
    ASSERT_TRUE(top) << reason;
    ASSERT_TRUE(KAssembly::cast(top.get()));
    EXPECT_EQ(top->GetUnits(), KUNITS_MILLIMETER);
    std::vector<xrchandle<KComponent>> c = otest::Components(top);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(otest::FileName(c[0]), "Pair");
    EXPECT_EQ(otest::FileName(c[1]), "Pair");
    EXPECT_EQ(otest::FileName(c[2]), "Rod");
    for (const auto& component : c) {
      xstring config;
      component->GetConfigName(config);
      EXPECT_TRUE(config.IsEmpty());
    }
    ExpectPlacement(c[0], sample.pair1);
    ExpectPlacement(c[1], sample.pair2);
    ExpectPlacement(c[2], sample.rod);

    // One model object per definition.
    xrchandle<KModel> pair = otest::Definition(c[0]);
    EXPECT_EQ(pair, otest::Definition(c[1]));
    ASSERT_TRUE(KAssembly::cast(pair.get()));
    std::vector<xrchandle<KComponent>> bolts = otest::Components(pair);
    ASSERT_EQ(bolts.size(), 2u);
    EXPECT_EQ(otest::FileName(bolts[0]), "Bolt");
    ExpectPlacement(bolts[0], sample.bolt1);
    ExpectPlacement(bolts[1], sample.bolt2);
    xrchandle<KModel> bolt = otest::Definition(bolts[0]);
    EXPECT_EQ(bolt, otest::Definition(bolts[1]));

    // The part colour comes first; the face colour stays on its face.
    KPartModel* boltPart = KPartModel::cast(bolt.get());
    ASSERT_TRUE(boltPart);
    EXPECT_TRUE(SameColour(otest::FirstColour(*boltPart), {1, 0, 0}));
    std::vector<xrchandle<KBody>> bodies = otest::Bodies(bolt);
    ASSERT_EQ(bodies.size(), 1u);
    std::vector<xrchandle<KFace>> faces = otest::Faces(bodies[0]);
    ASSERT_EQ(faces.size(), 6u);
    // The other faces carry the part's colour, so that the body is not drawn
    // whole in the colour of its one coloured face.
    int blue = 0, red = 0;
    for (const auto& f : faces) {
      std::vector<double> colour = otest::FirstColour(*f);
      if (SameColour(colour, {0, 0, 1})) ++blue;
      if (SameColour(colour, {1, 0, 0})) ++red;
    }
    EXPECT_EQ(blue, 1);
    EXPECT_EQ(red, 5);
    KPartModel* rod = KPartModel::cast(otest::Definition(c[2]).get());
    ASSERT_TRUE(rod);
    EXPECT_TRUE(otest::FirstColour(*rod).empty());

    // The model box is the exact box of the placed geometry.
    double e[6];
    sample.Box().Get(e[0], e[1], e[2], e[3], e[4], e[5]);
    xrchandle<KBox3D> box;
    top->GetModelBox(box);
    ASSERT_TRUE(box);
    const KVec3 lo = box->Min(), hi = box->Max();
    const double got[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], e[k], 1e-6) << k;
  }
}

// A component the file marks invisible keeps its name and placement but has
// nothing to draw, unless the host asks for hidden components.
TEST_F(Written, HiddenComponentHasNoDefinitionUnlessShown) {
  Sample sample;
  // Open CASCADE's writer writes invisibility only for a styled item.
  Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(sample.doc->Main());
  colours->SetColor(sample.rodComponent, Quantity_Color(0, 1, 0, Quantity_TOC_sRGB),
                    XCAFDoc_ColorSurf);
  colours->SetVisibility(sample.rodComponent, false);
  std::string path = kit.Path("hidden.stp");
  sample.WriteStep(path, "MM");
  for (bool show : {false, true}) {
    KTranslator::SetShowHidden(show);
    xrchandle<KModel> top = otest::Translate(path, KFORMAT_STEP);
    std::vector<xrchandle<KComponent>> c = otest::Components(top);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(otest::FileName(c[2]), "Rod");
    ExpectPlacement(c[2], sample.rod);
    EXPECT_EQ(bool(otest::Definition(c[2])), show);
    EXPECT_TRUE(otest::Definition(c[0]));
  }
  KTranslator::SetShowHidden(false);
}

TEST_F(Written, MeshesFaceOutwardsWithUnitNormalsAndAreKept) {
  Sample sample;
  std::string path = kit.Path("sample.stp");
  sample.WriteStep(path, "MM");
  {
    xrchandle<KModel> top = otest::Translate(path, KFORMAT_STEP);
    ASSERT_TRUE(top);
    std::vector<xrchandle<KComponent>> c = otest::Components(top);
    xrchandle<KModel> bolt = otest::Definition(otest::Components(otest::Definition(c[0]))[0]);
    xrchandle<KModel> rod = otest::Definition(c[2]);

    // A box's volume comes out exact and positive: every face, the reversed
    // ones included, winds counter-clockwise seen from outside.
    otest::Mesh box = otest::Triangulate(otest::Bodies(bolt)[0], 0.01, 0.3);
    EXPECT_EQ(box.triangles, 12);
    EXPECT_NEAR(box.signedVolume, 24, 1e-9);
    EXPECT_LT(box.worstNormal, 1e-9);
    EXPECT_EQ(box.normalsAgainst, 0);

    otest::Mesh cylinder = otest::Triangulate(otest::Bodies(rod)[0], 0.01, 0.1);
    double exact = kPi * 1.5 * 1.5 * 10;
    EXPECT_GT(cylinder.signedVolume, exact * 0.99);
    EXPECT_LE(cylinder.signedVolume, exact);
    EXPECT_LT(cylinder.worstNormal, 1e-9);
    EXPECT_EQ(cylinder.normalsAgainst, 0);

    // The same tolerances again, or coarser ones: the mesh already made is
    // handed out again.
    otest::Mesh again = otest::Triangulate(otest::Bodies(rod)[0], 0.01, 0.1);
    EXPECT_EQ(again.runs, cylinder.runs);
    otest::Mesh coarser = otest::Triangulate(otest::Bodies(rod)[0], 0.1, 0.5);
    EXPECT_EQ(coarser.runs, cylinder.runs);
    // Finer ones mesh again.
    otest::Mesh finer = otest::Triangulate(otest::Bodies(rod)[0], 0.002, 0.05);
    EXPECT_GT(finer.triangles, cylinder.triangles);
  }
}

TEST_F(Written, CoordinatesStayInTheFileUnit) {
  Sample sample;
  std::string path = kit.Path("inches.step");
  sample.WriteStep(path, "INCH");
  {
    xrchandle<KModel> top = otest::Translate(path, KFORMAT_STEP);
    ASSERT_TRUE(top);
    EXPECT_EQ(top->GetUnits(), KUNITS_INCH);
    std::vector<xrchandle<KComponent>> c = otest::Components(top);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_NEAR(otest::Placement(c[2])[12], 1 / 25.4, 1e-9);
    xrchandle<KModel> rod = otest::Definition(c[2]);
    EXPECT_EQ(rod->GetUnits(), KUNITS_INCH);
    xrchandle<KBox3D> box;
    rod->GetModelBox(box);
    ASSERT_TRUE(box);
    EXPECT_NEAR(box->Max().z - box->Min().z, 10 / 25.4, 1e-6);
    EXPECT_NEAR(box->Max().x - box->Min().x, 3 / 25.4, 1e-6);
  }
}

TEST_F(Written, IgesPartKeepsItsFaceColoursAndUnit) {
  Sample sample;
  std::string path = kit.Path("bolt.igs");
  {
    Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
    XCAFApp_Application::GetApplication()->InitDocument(doc);
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
    TDF_Label bolt = shapes->AddShape(sample.boltShape, Standard_False);
    int i = 0;
    for (TopExp_Explorer x(sample.boltShape, TopAbs_FACE); x.More(); x.Next(), ++i)
      colours->SetColor(shapes->AddSubShape(bolt, x.Current()),
                        Quantity_Color(i % 2, 0.5, 0, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
    IGESControl_Controller::Init();
    Interface_Static::SetCVal("write.iges.unit", "INCH");
    Interface_Static::SetIVal("write.iges.brep.mode", 1);
    IGESCAFControl_Writer writer;
    writer.SetColorMode(Standard_True);
    ASSERT_TRUE(writer.Transfer(doc));
    ASSERT_TRUE(writer.Write(path.c_str()));
    Interface_Static::SetIVal("write.iges.brep.mode", 0);
    Interface_Static::SetCVal("write.iges.unit", "MM");
  }
  {
    std::string reason;
    xrchandle<KModel> part = otest::Translate(path, KFORMAT_IGES, &reason);
    ASSERT_TRUE(part) << reason;
    ASSERT_TRUE(KPartModel::cast(part.get()));
    EXPECT_EQ(part->GetUnits(), KUNITS_INCH);
    std::vector<xrchandle<KBody>> bodies = otest::Bodies(part);
    ASSERT_EQ(bodies.size(), 1u);
    std::vector<xrchandle<KFace>> faces = otest::Faces(bodies[0]);
    ASSERT_EQ(faces.size(), 6u);
    int reds = 0, greens = 0;
    for (const auto& f : faces) {
      std::vector<double> colour = otest::FirstColour(*f);
      ASSERT_EQ(colour.size(), 3u);
      EXPECT_NEAR(colour[1], 0.5, 0.01);
      (colour[0] > 0.5 ? reds : greens)++;
    }
    EXPECT_EQ(reds, 3);
    EXPECT_EQ(greens, 3);
    xrchandle<KBox3D> box;
    part->GetModelBox(box);
    EXPECT_NEAR(box->Max().z - box->Min().z, 4 / 25.4, 1e-6);
    otest::Mesh mesh = otest::Triangulate(bodies[0], 0.001, 0.3);
    EXPECT_NEAR(mesh.signedVolume, 24 / (25.4 * 25.4 * 25.4), 1e-9);
  }
}

}  // namespace
