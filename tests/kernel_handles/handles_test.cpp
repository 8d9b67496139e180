#include <gtest/gtest.h>

#include "gBase90/kservices.h"
#include "gBase90/xobject.h"
#include "gBase90/xsequence.h"

TEST(KernelHandles, CopyAttachesAndLastReleaseDeletes) {
  const int before = gkit::LiveObjects();
  {
    xrchandle<xintsequence> a(new xintsequence);
    EXPECT_EQ(a->xrccount(), 1);
    {
      xrchandle<xintsequence> b(a);
      xrchandle<xintsequence> c;
      c = b;
      EXPECT_EQ(a->xrccount(), 3);
      c = c;  // self-assignment keeps the reference
      EXPECT_EQ(a->xrccount(), 3);
    }
    EXPECT_EQ(a->xrccount(), 1);
    a = xrchandle<xintsequence>();
    EXPECT_TRUE(a.isNull());
  }
  EXPECT_EQ(gkit::LiveObjects(), before);
}

TEST(KernelHandles, ShutdownCallsAreCountedAndReleaseTheirResult) {
  const int live = gkit::LiveObjects();
  const int stops = gkit::StopGPIClientsCalls();
  const int unloads = gkit::UnloadAuxModulesCalls();
  KStopGPIClients();
  KUnloadAuxModules();
  EXPECT_EQ(gkit::StopGPIClientsCalls(), stops + 1);
  EXPECT_EQ(gkit::UnloadAuxModulesCalls(), unloads + 1);
  EXPECT_EQ(gkit::LiveObjects(), live);
}
