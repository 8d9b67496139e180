// Exchange files through the whole part load: ParsePart on files Open
// CASCADE reads, into the host scene. Damaged files: malformed_test.cpp.
#include <unistd.h>

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <algorithm>

#include "../tessellation/load_fixture.h"
#include "gTranslator90/ktranslator.h"
#include "granite/GraniteLoader.h"
#include "helpers.h"

namespace {

using namespace loadtest;

class TranslatedLoad : public LoadTest {
 protected:
  void SetUp() override {
    LoadTest::SetUp();
    Message::DefaultMessenger()->ChangePrinters().Clear();
    parser->SetChordalTolerance(0.2);
    parser->SetAngularTolerance(0.5);
  }
  int Parse(const std::string& path) {
    parser->SetFilename(Wide(path));
    return ParsePart(parser.get(), Wide(path), nullptr);
  }
};

TEST_F(TranslatedLoad, PartWithFaceColoursBecomesFaceMeshes) {
  if (!otest::HaveRealData()) GTEST_SKIP() << "no sample files";
  ASSERT_EQ(Parse(otest::RealData() + "io1-cm-214.stp"), GRANITE_LOAD_SUCCESS) << KGetLastError();
  EXPECT_EQ(parser->GetModelUnits(), 3);  // millimetres
  // Two faces override the part's yellow, so every face is a mesh of its own.
  ASSERT_EQ(Meshes(group), 29);
  const velaChroma yellow(1.0f, 1.0f, 0.0f, 1.0f);
  int yellowMeshes = 0;
  for (int i = 0; i < Meshes(group); ++i) {
    const C3DMMesh& mesh = group->GetMesh(i);
    EXPECT_EQ(mesh.counts.size(), 1u);
    EXPECT_EQ(mesh.points.size(), mesh.normals.size());
    if (SameColor(mesh.color, yellow)) ++yellowMeshes;
  }
  EXPECT_EQ(yellowMeshes, 27);
}

// A native assembly loaded as a host loads it: every point and normal of
// the scene, in the order the world's walk visits them.
std::vector<float> LoadScene(const std::string& path) {
  C3DMWorld world;
  std::vector<float> out;
  {
    CGraniteParser parser;
    parser.SetFilename(Wide(path));
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
TEST_F(TranslatedLoad, RepeatedFileIsTranslatedOnceAndThreadsMeshAsOneThreadDoes) {
  if (!otest::HaveRealData()) GTEST_SKIP() << "no sample files";
  for (const char* name : {"red_cube_blue_cylinder.step", "as1_pe_203.stp", "dm1-id-214.stp"}) {
    SCOPED_TRACE(name);
    // A link keeps the file's identity (and age: a file written just now is
    // not kept, its times could hide a change).
    const std::string link = kit.Path("part.stp");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink((otest::RealData() + name).c_str(), link.c_str()), 0);
    const std::string assembly = kit.WriteFile(
        "two.asm", "granite-native 1 assembly component \"part.stp\" end "
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
}

}  // namespace
