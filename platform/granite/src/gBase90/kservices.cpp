#include "gBase90/kservices.h"

namespace {
int g_stopCalls = 0;
int g_unloadCalls = 0;
}  // namespace

xrchandle<xintsequence> KStopGPIClients() {
  ++g_stopCalls;
  return xrchandle<xintsequence>(new xintsequence);
}

int KUnloadAuxModules() {
  ++g_unloadCalls;
  return 0;
}

int gkit::StopGPIClientsCalls() { return g_stopCalls; }
int gkit::UnloadAuxModulesCalls() { return g_unloadCalls; }
