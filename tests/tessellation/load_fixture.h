// A load in progress for the tessellation and part tests: a kernel test kit,
// a scene world, a current parser with a current group and a grey colour.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "gkit/testkit.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "qorvelaex/C3DMScene.h"
#include "qorvelaex/velaMatrixEx.h"

namespace loadtest {

inline const velaChroma kGrey(0.5f, 0.5f, 0.5f, 1.0f);
inline const velaChroma kRed(1.0f, 0.0f, 0.0f, 1.0f);
inline const velaChroma kBlue(0.0f, 0.0f, 1.0f, 1.0f);

inline CBasicString Wide(const std::string& utf8) {
  return CBasicString(utf8.c_str());
}

class LoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parser = std::make_unique<CGraniteParser>();
    parser->SetWorld(&world);
    group = world.CreateGroup();
    parser->SetCurrentGroup(group);
    parser->SetCurrentColor(kGrey);
    g_CurrentParser = parser.get();
  }

  void TearDown() override {
    EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
    elements.clear();
    parser.reset();
    g_CurrentParser = nullptr;
    CGraniteParser::RequestStop(false);
    kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0) << "a kernel object was not released";
  }

  // An element with a group of its own, owned by the test.
  CGraniteElement* Element(const std::string& file = "", const std::string& config = "") {
    elements.emplace_back(parser->CreateElement(Wide(file), Wide(file)));
    CGraniteElement* e = elements.back().get();
    e->SetConfigurationName(Wide(config));
    return e;
  }

  // The primary body of a part written in the native text.
  xrchandle<KBody> Body(const std::string& text) {
    xrchandle<KPartModel> part = kit.Part(text);
    return part->PrimaryBody();
  }

  int Meshes(C3DMGroup* g) const { return g->GetNumberMeshes(); }

  gkit::Kit kit;
  C3DMWorld world;
  std::unique_ptr<CGraniteParser> parser;
  C3DMGroup* group = nullptr;
  std::vector<std::unique_ptr<CGraniteElement>> elements;
};

inline bool Near(float a, float b, float tolerance = 1e-4f) {
  return std::fabs(a - b) <= tolerance;
}

inline bool SameColor(const velaChroma& a, const velaChroma& b) {
  return !(a != b);
}

inline int Sum(const std::vector<int>& counts) {
  int s = 0;
  for (int c : counts) s += c;
  return s;
}

}  // namespace loadtest
