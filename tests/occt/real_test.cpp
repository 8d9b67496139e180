// Public sample files written by other systems: structure, sharing, colours,
// units, boxes and meshes against what Open CASCADE itself makes of them.
// Only the small files are read here; the large ones belong to benchmarks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "helpers.h"

namespace {

class Real : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!otest::HaveRealData()) GTEST_SKIP() << "no sample files in " << otest::RealData();
    Message::DefaultMessenger()->ChangePrinters().Clear();
  }
  void TearDown() override {
    KFlushModelCache();  // translated models are kept
    EXPECT_EQ(gkit::LiveObjects(), 0);
  }
};

// What Open CASCADE makes of a STEP file in millimetres on its own.
struct Reference {
  TopoDS_Compound all;
  explicit Reference(const std::string& path) {
    Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
    XCAFApp_Application::GetApplication()->InitDocument(doc);
    XCAFDoc_DocumentTool::SetLengthUnit(doc, 1, UnitsMethods_LengthUnit_Millimeter);
    STEPCAFControl_Reader reader;
    reader.ReadFile(path.c_str());
    reader.Transfer(doc);
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    TDF_LabelSequence free;
    shapes->GetFreeShapes(free);
    BRep_Builder builder;
    builder.MakeCompound(all);
    for (int i = 1; i <= free.Length(); ++i) builder.Add(all, shapes->GetShape(free.Value(i)));
    doc->Main().Root().ForgetAllAttributes(Standard_True);
  }
  long Triangles(double chord, double angle) const {
    BRepMesh_IncrementalMesh mesh(all, chord, false, angle, false);
    long count = 0;
    for (TopExp_Explorer x(all, TopAbs_FACE); x.More(); x.Next()) {
      TopLoc_Location location;
      Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(TopoDS::Face(x.Current()), location);
      if (!t.IsNull()) count += t->NbTriangles();
    }
    return count;
  }
};

// Every face of every placed part, meshed through the kernel.
void MeshAll(const xrchandle<KModel>& model, double chord, double angle, otest::Mesh& total) {
  if (KAssembly::cast(model.get())) {
    for (const auto& c : otest::Components(model)) {
      xrchandle<KModel> d = otest::Definition(c);
      if (d) MeshAll(d, chord, angle, total);
    }
    return;
  }
  for (const auto& body : otest::Bodies(model)) {
    otest::Mesh m = otest::Triangulate(body, chord, angle);
    total.triangles += m.triangles;
    total.normalsAgainst += m.normalsAgainst;
    total.signedVolume += m.signedVolume;
    total.worstNormal = std::max(total.worstNormal, m.worstNormal);
  }
}

// The tree, colours, units and boxes of every sample file are compared with
// Open CASCADE's in oracle_test.cpp (a colour given to a placement included);
// here what the kernel interface adds: meshes, referenced files and names.
// Shared definitions: written_test.cpp.
TEST_F(Real, MeshesMatchOpenCascade) {
  const struct {
    const char* file;
    double chord, angle;
  } cases[] = {{"io1-cm-214.stp", 0.1, 0.3}, {"as1-oc-214.stp", 0.25, 0.5}};
  for (const auto& c : cases) {
    const std::string path = otest::RealData() + c.file;
    xrchandle<KModel> model = otest::Translate(path, KFORMAT_STEP);
    ASSERT_TRUE(model) << c.file << ": " << KGetLastError();
    // Closed solids: positive volume, normals of unit length on the side the
    // triangles face, as many triangles as Open CASCADE makes.
    otest::Mesh total;
    MeshAll(model, c.chord, c.angle, total);
    EXPECT_GT(total.signedVolume, 0) << c.file;
    EXPECT_LT(total.worstNormal, 1e-9) << c.file;
    EXPECT_EQ(total.normalsAgainst, 0) << c.file;
    EXPECT_EQ(total.triangles, Reference(path).Triangles(c.chord, c.angle)) << c.file;
  }
}

TEST_F(Real, MultiFileAssemblyReadsItsReferencedFiles) {
  // Given by a path relative to the working folder, as a host may give it.
  char* cwd = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(otest::RealData().c_str()), 0);
  xrchandle<KModel> top = otest::Translate("s1-c5-214/s1-c5-214.stp", KFORMAT_STEP);
  EXPECT_EQ(::chdir(cwd), 0);
  std::free(cwd);
  ASSERT_TRUE(KAssembly::cast(top.get())) << KGetLastError();
  const std::set<const KModel*> parts = otest::Parts(top);
  EXPECT_EQ(parts.size(), 8u);
  for (const KModel* part : parts) {
    xrchandle<KBox3D> box;
    part->GetModelBox(box);
    EXPECT_TRUE(box);  // every part file was found and has geometry
  }
}

// Product names as files write them: the escapes of the format, UTF-8, and
// 8-bit bytes of a Windows code page, which the host chooses.
TEST_F(Real, StepNamesAreDecodedAsWritten) {
  std::ifstream in(otest::RealData() + "red_cube_blue_cylinder.step", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string original = text.str();
  const struct {
    const char* written;
    int codePage;
    const char* utf8;
  } cases[] = {
      {"\\X2\\041F0440\\X0\\", 1252, "\xD0\x9F\xD1\x80"},  // Пр
      {"\\X\\E9t\\X\\E9", 1251, "\xC3\xA9t\xC3\xA9"},      // été
      {"\\X4\\0001F600\\X0\\", 1252, "\xF0\x9F\x98\x80"},  // 😀
      {"Gr\xC3\xB6\xC3\x9F"
       "e",
       1251,
       "Gr\xC3\xB6\xC3\x9F"
       "e"},  // UTF-8 as it is
      {"Gr\xF6\xDF"
       "e",
       1252,
       "Gr\xC3\xB6\xC3\x9F"
       "e"},  // Größe in 1252
      {"\xCF\xF0\xE8\xE2\xEE\xE4", 1251, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xBE\xD0\xB4"},
  };
  gkit::Kit kit;
  for (const auto& c : cases) {
    std::string file = original;
    const std::string from = "PRODUCT( 'blue_cylinder', 'blue_cylinder'";
    const size_t at = file.find(from);
    ASSERT_NE(at, std::string::npos);
    file.replace(at, from.size(), "PRODUCT( '" + std::string(c.written) + "', '" + c.written + "'");
    ASSERT_TRUE(KTranslator::SetNameCodePage(c.codePage));
    xrchandle<KModel> top = otest::Translate(kit.WriteFile("names.step", file), KFORMAT_STEP);
    ASSERT_TRUE(KAssembly::cast(top.get())) << c.written << ": " << KGetLastError();
    EXPECT_EQ(otest::FileName(otest::Components(top)[0]), c.utf8) << c.written;
  }
  EXPECT_FALSE(KTranslator::SetNameCodePage(1));
  EXPECT_EQ(KTranslator::GetNameCodePage(), 1251);
  KTranslator::SetNameCodePage(1252);
  kit.Release();
}

}  // namespace
