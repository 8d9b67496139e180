// The exports' handling of the current parser, and the kernel shut-down.
#include <gtest/gtest.h>

#include "gBase90/kservices.h"
#include "gkit/testkit.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"

namespace {

CGraniteElement* AnyElement() {
  static char storage;  // never dereferenced without a current parser
  return reinterpret_cast<CGraniteElement*>(&storage);
}

TEST(Exports, NullParserLeavesNoCurrentParserAndLaterCallsFail) {
  EXPECT_EQ(ParseAssembly(AnyElement(), nullptr), GRANITE_LOAD_FAILURE);  // before any parser
  EXPECT_EQ(BuildElementList(nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(LoadAllPartsForElement(AnyElement()), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(LoadAllParts(nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(ParsePart(nullptr, CBasicString(WSTR("gear.prt")), nullptr), GRANITE_LOAD_FAILURE);
  EXPECT_EQ(g_CurrentParser, nullptr);
}

TEST(Exports, ShutdownMakesBothKernelCallsEveryTimeAndReleasesTheirResult) {
  const int live = gkit::LiveObjects();
  const int stops = gkit::StopGPIClientsCalls();
  const int unloads = gkit::UnloadAuxModulesCalls();
  ShutdownGranite();
  ShutdownGranite();
  EXPECT_EQ(gkit::StopGPIClientsCalls(), stops + 2);
  EXPECT_EQ(gkit::UnloadAuxModulesCalls(), unloads + 2);
  EXPECT_EQ(gkit::LiveObjects(), live);
  EXPECT_EQ(g_CurrentParser, nullptr);
}

}  // namespace
