// Public sample files written by other systems through the kernel's interface:
// meshes against Open CASCADE's own, a file placed twice, product names.
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
#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "helpers.h"
#include "interface/CurrentParser.h"
#include "qorvelaex/C3DMScene.h"

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

// The triangles of every part's bodies, meshed through the kernel, and what they tell.
struct Mesh {
  long triangles = 0;
  double signedVolume = 0;  // of the closed surfaces the triangles make
  double worstNormal = 0;   // largest | |n| - 1 | over the vertex normals
  long normalsAgainst = 0;  // vertex normals pointing away from their triangle's side
};

void MeshAll(const xrchandle<KModel>& model, double chord, double angle, Mesh& mesh) {
  for (const auto& c : otest::Components(model))
    if (xrchandle<KModel> d = otest::Definition(c)) MeshAll(d, chord, angle, mesh);
  for (const auto& body : otest::Bodies(model)) {
    const gkit::Triangles t = gkit::Triangulate(body, chord, chord, angle);
    for (size_t k = 0; k + 2 < t.points.size(); k += 3) {
      const KVec3 a = t.points[k], b = t.points[k + 1], c = t.points[k + 2];
      ++mesh.triangles;
      mesh.signedVolume += Dot(a, Cross(b, c)) / 6;
      for (size_t j = 0; j < 3; ++j) {
        mesh.worstNormal = std::max(mesh.worstNormal, std::fabs(Length(t.normals[k + j]) - 1));
        if (Dot(t.normals[k + j], Cross(b - a, c - a)) < 0) ++mesh.normalsAgainst;
      }
    }
  }
}

// The tree, colours, units and boxes of every sample file are compared with
// Open CASCADE's in oracle_test.cpp (a colour given to a placement included);
// here what the kernel interface adds: meshes and names.
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
    Mesh total;
    MeshAll(model, c.chord, c.angle, total);
    EXPECT_GT(total.signedVolume, 0) << c.file;
    EXPECT_LT(total.worstNormal, 1e-9) << c.file;
    EXPECT_EQ(total.normalsAgainst, 0) << c.file;
    EXPECT_EQ(total.triangles, Reference(path).Triangles(c.chord, c.angle)) << c.file;
  }
}

// A native assembly loaded as a host loads it: every point and normal of
// the scene, in the order the world's walk visits them.
std::vector<float> LoadScene(const std::string& path) {
  C3DMWorld world;
  std::vector<float> out;
  {
    CGraniteParser parser;
    parser.SetFilename(CBasicString(path.c_str()));
    parser.SetWorld(&world);
    EXPECT_EQ(BuildElementList(&parser), GRANITE_LOAD_SUCCESS) << KGetLastError();
    EXPECT_EQ(LoadAllParts(&parser), GRANITE_LOAD_SUCCESS) << KGetLastError();
    world.Walk([&out](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4&) {
      for (const velaFloatPoint& p : mesh.points) out.insert(out.end(), {p.x, p.y, p.z});
      for (const velaVector& n : mesh.normals) out.insert(out.end(), {n.x, n.y, n.z});
    });
  }
  g_CurrentParser = nullptr;
  return out;
}

// A STEP file placed twice by a native assembly is translated once, the
// second occurrence handed the first one's model and meshes; the bodies meshed
// on worker threads come out as the calling thread alone meshes them.
TEST_F(Real, RepeatedFileIsTranslatedOnceAndThreadsMeshAsOneThreadDoes) {
  gkit::Kit kit;
  for (const char* name : {"red_cube_blue_cylinder.step", "as1_pe_203.stp", "dm1-id-214.stp"}) {
    SCOPED_TRACE(name);
    // A link keeps the file's identity (and age: a file written just now is
    // not kept, its times could hide a change).
    const std::string link = kit.Path("part.stp");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink((otest::RealData() + name).c_str(), link.c_str()), 0);
    const std::string assembly =
        kit.WriteFile("two.asm",
                      "granite-native 1 assembly component \"part.stp\" end "
                      "component \"part.stp\" end");
    std::vector<float> scenes[2];
    for (int threads : {1, 4}) {
      KFlushModelCache();
      KTranslator::SetMeshingThreads(threads);
      scenes[threads > 1] = LoadScene(assembly);
      EXPECT_EQ(kit.CacheStatistics().translated, 1);
    }
    KTranslator::SetMeshingThreads(0);
    // Both occurrences at the same place: the second half is the first again.
    const std::vector<float>& serial = scenes[0];
    ASSERT_TRUE(!serial.empty() && serial.size() % 2 == 0);
    EXPECT_TRUE(std::equal(serial.begin(), serial.begin() + serial.size() / 2,
                           serial.begin() + serial.size() / 2));
    EXPECT_TRUE(scenes[1] == serial);
  }
  kit.Release();
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
      {"\\X2\\041F0440\\X0\\", 1252, "\xD0\x9F\xD1\x80"},          // Пр
      {"\\X\\E9t\\X\\E9", 1251, "\xC3\xA9t\xC3\xA9"},              // été
      {"\\X4\\0001F600\\X0\\", 1252, "\xF0\x9F\x98\x80"},          // 😀
      {"Gr\xC3\xB6\xC3\x9F\x65", 1251, "Gr\xC3\xB6\xC3\x9F\x65"},  // UTF-8 as it is
      {"Gr\xF6\xDF\x65", 1252, "Gr\xC3\xB6\xC3\x9F\x65"},          // Größe in 1252
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
