// Parser state: copies, progress, tolerances, file kinds.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "qorvelaex/C3DMScene.h"

namespace {

void Progress(int) {}

TEST(ParserState, CopiesShareHostObjectsAndOwnTheirState) {
  C3DMWorld world;
  C3DMGroup* group = world.CreateGroup();
  CGraniteParser source;
  source.SetWorld(&world);
  source.SetCurrentGroup(group);
  source.SetLoaderPtr(&Progress);
  source.SetFilename(CBasicString("a.asm"));
  source.GenerateColorForPart();
  source.SetCurrentColor(velaChroma(0.1f, 0.2f, 0.3f, 1.0f));
  velaMatrix4x4 move = velaMatrix4x4::Translation(1, 2, 3);
  source.PushMatrix(move);
  source.GetResolvedFilename(CBasicString(GRANITE_SOURCE_DIR "/CMakeLists.txt"));
  CGraniteElement* root = source.CreateElement(CBasicString("a.asm"), CBasicString("a.asm"));
  source.AddElementToList(root);

  {
    CGraniteParser copy(source);
    EXPECT_EQ(copy.GetCurrentGroup(), group);
    EXPECT_EQ(copy.GetNumberGeneratedColors() + copy.GetNumberResolvedFiles(), 2);
    // Own strings, colour and matrices: changing or popping them leaves the source alone.
    copy.SetFilename(CBasicString("b.asm"));
    copy.GetCurrentColor().r = 0.9f;
    copy.PopMatrix();
    EXPECT_TRUE(source.GetFilename() == "a.asm");
    EXPECT_EQ(source.GetCurrentColor().r, 0.1f);
    EXPECT_TRUE(source.GetCurrentMatrix() == move);

    CGraniteParser assigned;
    assigned.AddElementToList(
        new CGraniteElement());  // its own root, released with it after the assignment
    assigned = source;
    EXPECT_EQ(assigned.GetNumberElements(), 1);
    EXPECT_EQ(assigned.GetNumberMatricesOnStack(), 1);
  }
  // The copies released neither the source's root nor its matrices.
  EXPECT_EQ(source.GetNumberElements(), 1);
  EXPECT_EQ(static_cast<CGraniteElement*>(source.GetElementList()->GetHead())->GetGroup(),
            root->GetGroup());
  EXPECT_EQ(source.GetNumberMatricesOnStack(), 1);
}

std::vector<int> g_reported;
void Record(int percent) {
  g_reported.push_back(percent);
}

TEST(Progress, ReportsEachWholePercentOnce) {
  CGraniteParser parser;
  g_reported.clear();
  parser.SetLoaderPtr(&Record);
  parser.SetTotalParts(300);
  parser.SetCurrentPart(0);
  for (int i = 0; i < 310; ++i) parser.IncrementCurrentPart();
  ASSERT_EQ(g_reported.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(g_reported[i], i + 1);
  EXPECT_EQ(parser.GetLastPercentage(), 100.0);

  // Never counted: no division by zero, never over 100.
  g_reported.clear();
  parser.SetTotalParts(0);
  parser.SetLastPercentage(0.0);
  parser.IncrementCurrentPart();
  parser.IncrementCurrentPart();
  EXPECT_EQ(parser.GetLastPercentage(), 100.0);
  EXPECT_EQ(g_reported, std::vector<int>{100});
}

TEST(Tolerances, FollowTheBoxAndResolutionAndNeverPoisonTheTriangulator) {
  CGraniteParser parser;
  EXPECT_FALSE(parser.ComputeEvaluationTolerances());
  EXPECT_EQ(parser.GetChordalTolerance(), 0.0);  // empty box: left to the first body
  EXPECT_GT(parser.GetAngularTolerance(), 0.0);

  velaBBox box;
  box.SetMinMax(velaFloatPoint(30, 40, 0), velaFloatPoint(0, 0, 0));  // diagonal 50
  parser.SetModelBoundingBox(box);
  parser.SetLoadResolution(GRANITE_RESOLUTION_MEDIUM);
  EXPECT_TRUE(parser.ComputeEvaluationTolerances());
  const double medium = parser.GetChordalTolerance();
  EXPECT_NEAR(medium, 50.0 / 500.0, 1e-9);
  parser.SetLoadResolution(GRANITE_RESOLUTION_HIGH);
  parser.ComputeEvaluationTolerances();
  EXPECT_LT(parser.GetChordalTolerance(), medium);
  EXPECT_GT(parser.GetChordalTolerance(), 0.0);

  box.SetMinMax(velaFloatPoint(-INFINITY, 0, 0), velaFloatPoint(1, 1, 1));
  parser.SetModelBoundingBox(box);
  parser.ComputeEvaluationTolerances();
  EXPECT_EQ(parser.GetChordalTolerance(), 0.0);
}

TEST(FileKinds, AssemblyOnlyByTheFinalExtension) {
  CGraniteParser parser;
  EXPECT_FALSE(parser.GetFileIsPart(CBasicString("/m/Top.ASM")));
  EXPECT_FALSE(parser.GetFileIsPart(CBasicString("frame.xas")));
  EXPECT_FALSE(parser.GetFileIsPart(CBasicString("frame.asm.12")));
  EXPECT_TRUE(parser.GetFileIsPart(CBasicString("gear.prt.3")));
  EXPECT_TRUE(parser.GetFileIsPart(CBasicString("gear.XPR")));
  EXPECT_TRUE(parser.GetFileIsPart(CBasicString("sub.asm/gear.prt")));
  EXPECT_TRUE(parser.GetFileIsPart(CBasicString("C:\\old.asm\\bracket.step")));
  EXPECT_TRUE(parser.GetFileIsPart(CBasicString("shell.igs")));
}

}  // namespace
