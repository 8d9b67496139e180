#include "gBase90/kservices.h"

#include <string>

namespace {
int g_stopCalls = 0;
int g_unloadCalls = 0;
thread_local std::string t_lastError;
}  // namespace

xrchandle<xintsequence> KStopGPIClients() {
  ++g_stopCalls;
  if (KEnter(KCall::StopClients)) return xrchandle<xintsequence>();
  return xrchandle<xintsequence>(new xintsequence);
}

int KUnloadAuxModules() {
  ++g_unloadCalls;
  KEnter(KCall::UnloadModules);
  return 0;
}

const char* KGetLastError() {
  return t_lastError.c_str();
}
void KClearLastError() {
  t_lastError.clear();
}
void KSetLastError(const char* reason) {
  t_lastError = reason ? reason : "";
}

int gkit::StopGPIClientsCalls() {
  return g_stopCalls;
}
int gkit::UnloadAuxModulesCalls() {
  return g_unloadCalls;
}
