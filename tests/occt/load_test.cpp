// Exchange files through the whole part load: ParsePart on files Open
// CASCADE reads, into the host scene.
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <fstream>
#include <sstream>

#include "../tessellation/load_fixture.h"
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

}  // namespace
