// The rasteriser: fitting, hidden surfaces, shading, PNG.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "export/Raster.h"
#include "scenes.h"

namespace {

const velaChroma kRed(0.9f, 0.1f, 0.1f, 1.0f);
const velaChroma kBlue(0.1f, 0.2f, 0.9f, 1.0f);
const velaChroma kWhite(1, 1, 1, 1);

gload::RasterOptions Small() {
  gload::RasterOptions options;
  options.width = 160;
  options.height = 120;
  options.supersample = 2;
  options.margin = 0.05;
  return options;
}

// The background is a grey that changes only from top to bottom.
bool IsBackground(const gload::Image& image, int x, int y) {
  const uint8_t* p = image.At(x, y);
  const uint8_t* q = image.At(x == 0 ? image.width - 1 : 0, y);
  return std::fabs(p[0] - (250 - 28.0 * y / std::max(1, image.height - 1))) <= 1.5 && p[0] == q[0] &&
         p[1] == q[1] && p[2] == q[2];
}

TEST(Raster, ModelIsFittedAndCentredAndRoundTripsThroughPng) {
  // A long flat bar far from the origin: its picture must still fill the
  // image less the margin, in one direction at least, and sit in the middle.
  C3DMWorld world;
  C3DMGroup* group = world.CreateGroup();
  world.AddGroup(group, 0);
  velaMatrix4x4 distant = velaMatrix4x4::Translation(5000, -3000, 700);
  group->ApplyMatrix(distant, 0);
  group->AddMesh(scenes::Box(velaFloatPoint(0, 0, 0), velaFloatPoint(400, 400, 20), kWhite));
  const gload::Image image = gload::Render(world, Small());
  ASSERT_EQ(image.width, 160);
  ASSERT_EQ(image.height, 120);

  int x0 = image.width, x1 = -1, y0 = image.height, y1 = -1;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      if (IsBackground(image, x, y)) continue;
      x0 = std::min(x0, x), x1 = std::max(x1, x);
      y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
  }
  ASSERT_GE(x1, 0) << "nothing drawn";
  // Margin 5 %: 8 pixels left and right, 6 above and below.
  EXPECT_NEAR(x0, 8, 1);
  EXPECT_NEAR(x1, 151, 1);
  EXPECT_NEAR((y0 + y1) / 2.0, 59.5, 1.5);
  EXPECT_GT(y0, 6);

  const std::string file = std::string(GRANITE_BINARY_DIR) + "/tests/granite_load/bar.png";
  std::string error;
  ASSERT_TRUE(gload::WritePng(image, file, &error)) << error;
  gload::Image back;
  ASSERT_TRUE(gload::ReadPng(file, &back, &error)) << error;
  EXPECT_EQ(back.width, image.width);
  EXPECT_EQ(back.height, image.height);
  EXPECT_EQ(back.rgb, image.rgb);
  EXPECT_FALSE(gload::WritePng(image, "/nonexistent/dir/x.png", &error));
  EXPECT_NE(error.find("/nonexistent/dir/x.png"), std::string::npos);
  EXPECT_FALSE(gload::ReadPng(file + ".missing", &back, &error));

  // An empty world is background alone.
  const gload::Image empty = gload::Render(C3DMWorld(), Small());
  for (int y = 0; y < empty.height; y += 7)
    for (int x = 0; x < empty.width; x += 5) ASSERT_TRUE(IsBackground(empty, x, y)) << x << "," << y;
}

TEST(Raster, NearerSurfacesHideFartherOnesWhateverTheOrder) {
  // A small red cube between the eye and a large blue one, along the view
  // direction (1, -1, 1); both orders of drawing.
  for (bool redFirst : {true, false}) {
    C3DMWorld world;
    C3DMGroup* group = world.CreateGroup();
    world.AddGroup(group, 0);
    const C3DMMesh blue = scenes::Box(velaFloatPoint(-10, -10, -10), velaFloatPoint(10, 10, 10), kBlue);
    const C3DMMesh red = scenes::Box(velaFloatPoint(38, -42, 38), velaFloatPoint(42, -38, 42), kRed);
    group->AddMesh(redFirst ? red : blue);
    group->AddMesh(redFirst ? blue : red);
    const gload::Image image = gload::Render(world, Small());
    const uint8_t* centre = image.At(image.width / 2, image.height / 2);
    EXPECT_GT(centre[0], 2 * centre[2]) << "red drawn first: " << redFirst;
    const uint8_t* side = image.At(image.width / 2, image.height / 2 + 35);
    EXPECT_GT(side[2], 2 * side[0]) << "red drawn first: " << redFirst;
  }
}

TEST(Raster, FacesFacingTheLightAreBrighter) {
  // A white cube: top, left (-y) and right (+x) faces at three brightnesses,
  // the top lit most; the inside of a box seen through its missing faces is
  // lit like the outside.
  C3DMWorld world;
  C3DMGroup* group = world.CreateGroup();
  world.AddGroup(group, 0);
  group->AddMesh(scenes::Box(velaFloatPoint(-1, -1, -1), velaFloatPoint(1, 1, 1), kWhite));
  gload::RasterOptions options = Small();
  options.width = options.height = 200;
  options.margin = 0.0;
  const gload::Image image = gload::Render(world, options);
  // Cube of half size 1: the picture spans 8 / sqrt(6) units upward, so the
  // scale is 200 / 3.266 pixels a unit; face centres project at
  // top (0, 2 / sqrt(6)), left (-1 / sqrt(2), -1 / sqrt(6)), right (1 / sqrt(2), -1 / sqrt(6)).
  const double scale = 200 / (8 / std::sqrt(6.0));
  auto at = [&](double sx, double sy) { return image.At(int(100 + sx * scale), int(100 - sy * scale))[0]; };
  const int top = at(0, 2 / std::sqrt(6.0));
  const int left = at(-1 / std::sqrt(2.0), -1 / std::sqrt(6.0));
  const int right = at(1 / std::sqrt(2.0), -1 / std::sqrt(6.0));
  EXPECT_GT(top, left + 30);
  EXPECT_GT(left, right + 30);
  EXPECT_GT(right, 60);  // shadowed faces still show

  // The same cube turned inside out (winding and normals) looks the same.
  C3DMWorld inverted;
  C3DMGroup* g = inverted.CreateGroup();
  inverted.AddGroup(g, 0);
  g->AddMesh(scenes::Box(velaFloatPoint(-1, -1, -1), velaFloatPoint(1, 1, 1), kWhite, true));
  const gload::Image again = gload::Render(inverted, options);
  EXPECT_EQ(again.rgb, image.rgb);
}

}  // namespace
