// Every shared sample file, and the files written_test.cpp writes, through
// ParsePart, against Open CASCADE's own XCAF read of the same file: the tree
// with its names, the faces of each colour, the model box, the units and the
// result.
#include <sys/stat.h>

#include <BRepBndLib.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <IGESData_IGESModel.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Quantity_Color.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XSControl_WorkSession.hxx>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

#include "../tessellation/load_fixture.h"
#include "granite/GraniteLoader.h"
#include "helpers.h"

namespace {

using namespace loadtest;

// A colour as the scene holds it: the file's value to six decimals, in float.
std::string ColourKey(double r, double g, double b) {
  auto f = [](double v) {
    return static_cast<double>(static_cast<float>(std::round(v * 1e6) / 1e6));
  };
  char key[40];
  std::snprintf(key, sizeof key, "%.3f %.3f %.3f", f(r), f(g), f(b));
  return key;
}

// Open CASCADE's reading of the file: the tree as text, the faces drawn per
// colour ("" for none), the exact box and the units.
struct Oracle {
  std::string tree;
  bool assembly = false;
  std::map<std::string, long> faces;
  Bnd_Box box;
  ImageUnitsTypes units = IMAGE_UNITS_MILLIMETER;

  explicit Oracle(const std::string& path) {
    const bool iges = path.find(".ig") != std::string::npos;
    Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
    XCAFApp_Application::GetApplication()->InitDocument(doc);
    double millimetres = 1;
    if (iges) {
      IGESCAFControl_Reader reader;
      reader.ReadFile(path.c_str());
      const int flag =
          Handle(IGESData_IGESModel)::DownCast(reader.Model())->GlobalSection().UnitFlag();
      if (flag == 1) units = IMAGE_UNITS_INCH, millimetres = 25.4;
      XCAFDoc_DocumentTool::SetLengthUnit(doc, millimetres, UnitsMethods_LengthUnit_Millimeter);
      reader.Transfer(doc);
    } else {
      STEPCAFControl_Reader reader;
      reader.ReadFile(path.c_str());
      TColStd_SequenceOfAsciiString lengths, angles, solid;
      reader.ChangeReader().FileUnits(lengths, angles, solid);
      std::string unit;
      for (char c : std::string(lengths.IsEmpty() ? "" : lengths.First().ToCString()))
        if (std::isalpha(static_cast<unsigned char>(c)))
          unit += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (unit == "inch") units = IMAGE_UNITS_INCH, millimetres = 25.4;
      if (unit == "metre") units = IMAGE_UNITS_METER, millimetres = 1000;
      if (unit == "centimetre") units = IMAGE_UNITS_CENTIMETER, millimetres = 10;
      XCAFDoc_DocumentTool::SetLengthUnit(doc, millimetres, UnitsMethods_LengthUnit_Millimeter);
      reader.Transfer(doc);
    }
    m_shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    m_colours = XCAFDoc_DocumentTool::ColorTool(doc->Main());
    TDF_LabelSequence free;
    m_shapes->GetFreeShapes(free);
    TopoDS_Compound all;
    BRep_Builder builder;
    builder.MakeCompound(all);
    for (int i = 1; i <= free.Length(); ++i) builder.Add(all, m_shapes->GetShape(free.Value(i)));
    BRepBndLib::AddOptimal(all, box, false, false);
    // One free shape is the model; several are placed side by side.
    assembly = free.Length() > 1 || m_shapes->IsAssembly(free.Value(1));
    if (free.Length() == 1 && assembly) {
      tree = Children(free.Value(1), "");
    } else if (free.Length() == 1) {
      Part(free.Value(1), "");
    } else {
      for (int i = 1; i <= free.Length(); ++i) tree += Component(free.Value(i), free.Value(i), "");
    }
    doc->Main().Root().ForgetAllAttributes(Standard_True);
  }

 private:
  std::string Name(const TDF_Label& label) const {
    Handle(TDataStd_Name) name;
    return label.FindAttribute(TDataStd_Name::GetID(), name)
               ? TCollection_AsciiString(name->Get()).ToCString()
               : "";
  }
  std::string Own(const TDF_Label& label) const {
    Quantity_Color c;
    if (!m_colours->GetColor(label, XCAFDoc_ColorSurf, c) &&
        !m_colours->GetColor(label, XCAFDoc_ColorGen, c))
      return "";
    double r, g, b;
    c.Values(r, g, b, Quantity_TOC_sRGB);
    return ColourKey(r, g, b);
  }
  std::string OwnShape(const TopoDS_Shape& shape) const {
    TDF_Label label;
    return m_shapes->Search(shape, label, false, false, true) ? Own(label) : "";
  }
  std::string Children(const TDF_Label& assembly, const std::string& inherited) {
    TDF_LabelSequence components;
    XCAFDoc_ShapeTool::GetComponents(assembly, components, false);
    std::string text;
    for (int i = 1; i <= components.Length(); ++i) {
      TDF_Label referred;
      if (!XCAFDoc_ShapeTool::GetReferredShape(components.Value(i), referred)) continue;
      std::string colour = Own(components.Value(i));
      text += Component(components.Value(i), referred, colour.empty() ? inherited : colour);
    }
    return text;
  }
  // A component: its name, and below it what it places unless it is hidden.
  std::string Component(const TDF_Label& component, const TDF_Label& referred,
                        const std::string& inherited) {
    std::string name = Name(referred);
    if (name.empty()) name = Name(component);
    if (!m_colours->IsVisible(component) || !m_colours->IsVisible(referred)) return name + "~;";
    if (!m_shapes->IsAssembly(referred)) return name + (Part(referred, inherited) > 0 ? ";" : "~;");
    const std::string children = Children(referred, inherited);
    return name + (children.empty() ? "~;" : "{" + children + "}");
  }
  // The faces of a part by the colour each is drawn in: its own, its solid's
  // or shell's, the part's, or the one a placement passes down.
  long Part(const TDF_Label& part, const std::string& inherited) {
    long count = 0;
    std::string colour = Own(part);
    if (colour.empty()) colour = inherited;
    const TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(part);
    std::vector<TopoDS_Shape> bodies;
    for (TopExp_Explorer x(shape, TopAbs_SOLID); x.More(); x.Next()) bodies.push_back(x.Current());
    for (TopExp_Explorer x(shape, TopAbs_SHELL, TopAbs_SOLID); x.More(); x.Next())
      bodies.push_back(x.Current());
    for (const TopoDS_Shape& body : bodies) {
      const std::string own = OwnShape(body);
      for (TopExp_Explorer x(body, TopAbs_FACE); x.More(); x.Next()) {
        std::string face = OwnShape(x.Current());
        ++faces[!face.empty() ? face : !own.empty() ? own : colour];
        ++count;
      }
    }
    for (TopExp_Explorer x(shape, TopAbs_FACE, TopAbs_SHELL); x.More(); x.Next()) {
      std::string face = OwnShape(x.Current());
      ++faces[!face.empty() ? face : colour];
      ++count;
    }
    return count;
  }

  Handle(XCAFDoc_ShapeTool) m_shapes;
  Handle(XCAFDoc_ColorTool) m_colours;
};

class RealFile : public LoadTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    LoadTest::SetUp();  // first: TearDown runs after a skip too
    Message::DefaultMessenger()->ChangePrinters().Clear();
    const std::string name = GetParam();
    if (name.compare(0, 8, "written/") == 0) {
      path = otest::WriteSample(kit, name.substr(8));
      return;
    }
    if (!otest::HaveRealData()) GTEST_SKIP() << "no sample files in " << otest::RealData();
    // A path relative to the working folder, as a host may give it.
    home = std::filesystem::current_path();
    std::filesystem::current_path(otest::RealData());
    path = name;
  }
  void TearDown() override {
    if (!home.empty()) std::filesystem::current_path(home);
    LoadTest::TearDown();
  }

  static std::string Tree(CGraniteElement* e) {
    std::string text;
    for (int i = 0; i < e->GetNumberChildren(); ++i) {
      CGraniteElement* child = static_cast<CGraniteElement*>(e->GetChildList()->GetAt(i));
      CBasicString name = child->GetDisplayName();
      const char* narrow = name.GetMultiByte();
      text += narrow ? narrow : "";
      if (child->GetFileType() == GRANITE_FILE_ASSEMBLY && child->GetNumberChildren() > 0)
        text += "{" + Tree(child) + "}";
      else
        text += child->GetGroup()->GetNumberMeshes() > 0 ? ";" : "~;";
    }
    return text;
  }

  // The faces of the scene by colour, the file's own colour counted as none.
  void Faces(const C3DMGroup* g, const velaChroma& file, std::map<std::string, long>& out) {
    for (int i = 0; i < g->GetNumberMeshes(); ++i) {
      const C3DMMesh& mesh = g->GetMesh(i);
      const std::string key =
          SameColor(mesh.color, file) ? "" : ColourKey(mesh.color.r, mesh.color.g, mesh.color.b);
      out[key] += static_cast<long>(mesh.counts.size());
    }
    for (int i = 0; i < g->GetNumberChildren(); ++i) Faces(g->GetChild(i), file, out);
  }

  std::string path;
  std::filesystem::path home;
};

TEST_P(RealFile, LoadsAsOpenCascadeReadsIt) {
#if defined(__SANITIZE_ADDRESS__)
  // Under the sanitizer the files over a megabyte take minutes each; the
  // smaller ones pass through the same code.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && st.st_size > 1000000) GTEST_SKIP() << "large file";
#endif
  parser->SetFilename(Wide(path));
  EXPECT_EQ(ParsePart(parser.get(), Wide(path), nullptr), GRANITE_LOAD_SUCCESS) << KGetLastError();
  ASSERT_EQ(parser->GetNumberElements(), 1);
  CGraniteElement* root = static_cast<CGraniteElement*>(parser->GetElementList()->GetAt(0));
  const Oracle oracle(std::filesystem::absolute(path).string());

  EXPECT_EQ(root->GetFileType(), oracle.assembly ? GRANITE_FILE_ASSEMBLY : GRANITE_FILE_PART);
  // Hidden components, parts without faces and assemblies without components
  // stay in the tree with nothing drawn ("~").
  EXPECT_EQ(Tree(root), oracle.tree);
  std::map<std::string, long> faces;
  const velaChroma& file =
      *static_cast<const velaChroma*>(parser->GetGeneratedColorList()->GetAt(0));
  Faces(group, file, faces);
  Faces(root->GetGroup(), file, faces);
  EXPECT_EQ(faces, oracle.faces);
  EXPECT_EQ(parser->GetModelUnits(), oracle.units);

  double x0, y0, z0, x1, y1, z1;
  oracle.box.Get(x0, y0, z0, x1, y1, z1);
  const velaBBox& box = parser->GetModelBoundingBox();
  const double slack = 0.02 * std::sqrt(oracle.box.SquareExtent());
  const double expected[6] = {x0, y0, z0, x1, y1, z1};
  const double got[6] = {box.min.x, box.min.y, box.min.z, box.max.x, box.max.y, box.max.z};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], expected[k], slack) << "box coordinate " << k;
}

std::string ParamName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  name = name.substr(name.find('/') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(
    Shared, RealFile,
    ::testing::Values("BIGES.igs", "occ22470.igs", "bearing.iges", "sunglasses_lens.igs",
                      "red_cube_blue_cylinder.step", "io1-cm-214.stp",
                      "nist_ctc_01_asme1_ap242-e1.stp", "nist_ftc_09_asme1_ap242-e1.stp",
                      "trj8_k1-hc-214.stp", "M6-1x12-countersunk-screw.step", "as1-oc-214.stp",
                      "as1_motor.step", "as1_pe_203.stp", "trj7_as1-id-214.stp", "dm1-id-214.stp",
                      "trj5_s1-ac-214.stp", "s1-c5-214/s1-c5-214.stp", "OCC23123-test.step",
                      "trj4_pm2-ec-214.stp", "nist_ctc_02_asme1_ap203.stp"),
    ParamName);
INSTANTIATE_TEST_SUITE_P(Written, RealFile,
                         ::testing::Values("written/sample.stp", "written/inch.stp",
                                           "written/hidden.stp", "written/bolt.igs"),
                         ParamName);

}  // namespace
