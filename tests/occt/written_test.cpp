// Files written by Open CASCADE's own writers, so that every mapping rule of
// the translator meets a known model: oracle_test.cpp loads them and compares
// with Open CASCADE's reading; here what that comparison cannot see, shared
// definitions and hidden components.
#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
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
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <gp_Ax1.hxx>
#include <gp_Trsf.hxx>

#include "helpers.h"

namespace otest {
namespace {

constexpr double kPi = 3.14159265358979323846;

gp_Trsf Placed(double x, double y, double z, gp_Dir axis = gp_Dir(0, 0, 1), double angle = 0) {
  gp_Trsf t;
  t.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), axis), angle);
  t.SetTranslationPart(gp_Vec(x, y, z));
  return t;
}

}  // namespace

std::string WriteSample(gkit::Kit& kit, const std::string& name) {
  Message::DefaultMessenger()->ChangePrinters().Clear();
  const std::string path = kit.Path(name);
  Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
  XCAFApp_Application::GetApplication()->InitDocument(doc);
  Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
  Handle(XCAFDoc_ColorTool) colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
  const TopoDS_Shape box = BRepPrimAPI_MakeBox(gp_Pnt(0, 0, 0), 2, 3, 4).Shape();
  TDF_Label bolt = shapes->AddShape(box, Standard_False);
  if (name == "bolt.igs") {
    // The bolt alone in inches, its faces in two colours by turns.
    int i = 0;
    for (TopExp_Explorer x(box, TopAbs_FACE); x.More(); x.Next(), ++i)
      colours->SetColor(shapes->AddSubShape(bolt, x.Current()),
                        Quantity_Color(i % 2, 0.5, 0, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
    IGESControl_Controller::Init();
    Interface_Static::SetCVal("write.iges.unit", "INCH");
    Interface_Static::SetIVal("write.iges.brep.mode", 1);
    IGESCAFControl_Writer writer;
    writer.SetColorMode(Standard_True);
    EXPECT_TRUE(writer.Transfer(doc));
    EXPECT_TRUE(writer.Write(path.c_str()));
    Interface_Static::SetIVal("write.iges.brep.mode", 0);
    Interface_Static::SetCVal("write.iges.unit", "MM");
    return path;
  }
  // Top: Pair at two placements (the second turned about x) and Rod. Pair:
  // Bolt twice (the second turned about z). Bolt: a 2 x 3 x 4 box, red, with
  // its second face blue. Rod: a cylinder of radius 1.5 and height 10, no
  // colour; in hidden.stp hidden (with a colour of its own: the writer writes
  // invisibility only for a styled item).
  TDataStd_Name::Set(bolt, "Bolt");
  colours->SetColor(bolt, Quantity_Color(1, 0, 0, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
  // Not the first face: the loader never compares a body's first coloured face.
  TopExp_Explorer blue(box, TopAbs_FACE);
  blue.Next();
  colours->SetColor(shapes->AddSubShape(bolt, blue.Current()),
                    Quantity_Color(0, 0, 1, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
  TDF_Label rod = shapes->AddShape(BRepPrimAPI_MakeCylinder(1.5, 10).Shape(), Standard_False);
  TDataStd_Name::Set(rod, "Rod");
  TDF_Label pair = shapes->NewShape();
  TDataStd_Name::Set(pair, "Pair");
  shapes->AddComponent(pair, bolt, TopLoc_Location(Placed(10, 0, 0)));
  shapes->AddComponent(pair, bolt, TopLoc_Location(Placed(0, 20, 0, gp_Dir(0, 0, 1), kPi / 2)));
  TDF_Label top = shapes->NewShape();
  TDataStd_Name::Set(top, "Top");
  shapes->AddComponent(top, pair, TopLoc_Location(Placed(0, 0, 5)));
  shapes->AddComponent(top, pair, TopLoc_Location(Placed(-30, 1, 2, gp_Dir(1, 0, 0), kPi / 3)));
  TDF_Label rodComponent = shapes->AddComponent(top, rod, TopLoc_Location(Placed(1, 2, 3)));
  if (name == "hidden.stp") {
    colours->SetColor(rodComponent, Quantity_Color(0, 1, 0, Quantity_TOC_sRGB), XCAFDoc_ColorSurf);
    colours->SetVisibility(rodComponent, false);
  }
  shapes->UpdateAssemblies();
  STEPCAFControl_Controller::Init();
  Interface_Static::SetCVal("write.step.unit", name == "inch.stp" ? "INCH" : "MM");
  STEPCAFControl_Writer writer;
  writer.SetColorMode(Standard_True);
  writer.SetNameMode(Standard_True);
  EXPECT_TRUE(writer.Transfer(doc, STEPControl_AsIs));
  EXPECT_EQ(writer.Write(path.c_str()), IFSelect_RetDone);
  Interface_Static::SetCVal("write.step.unit", "MM");
  return path;
}

namespace {

// One model object per definition; a hidden component has nothing to draw,
// unless the host asks for hidden components.
TEST(Written, SharedDefinitionsAreOneModelAndHiddenComponentsHaveNone) {
  gkit::Kit kit;
  const std::string path = WriteSample(kit, "hidden.stp");
  for (bool show : {false, true}) {
    KTranslator::SetShowHidden(show);
    xrchandle<KModel> top = Translate(path, KFORMAT_STEP);
    const std::vector<xrchandle<KComponent>> c = Components(top);
    ASSERT_EQ(c.size(), 3u) << KGetLastError();
    EXPECT_EQ(bool(Definition(c[2])), show);
    const xrchandle<KModel> pair = Definition(c[0]);
    EXPECT_EQ(pair, Definition(c[1]));
    const std::vector<xrchandle<KComponent>> bolts = Components(pair);
    ASSERT_EQ(bolts.size(), 2u);
    EXPECT_TRUE(Definition(bolts[0]));
    EXPECT_EQ(Definition(bolts[0]), Definition(bolts[1]));
  }
  KTranslator::SetShowHidden(false);
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
}  // namespace otest
