#include "gBase90/kservices.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {
int g_stopCalls = 0;
int g_unloadCalls = 0;
thread_local std::string t_lastError;

std::vector<void (*)()>& UnloadHooks() {
  static std::vector<void (*)()>* hooks = new std::vector<void (*)()>;  // lives until the end
  return *hooks;
}
}  // namespace

void KAddUnloadHook(void (*hook)()) {
  auto& hooks = UnloadHooks();
  if (hook && std::find(hooks.begin(), hooks.end(), hook) == hooks.end()) hooks.push_back(hook);
}

xrchandle<xintsequence> KStopGPIClients() {
  ++g_stopCalls;
  if (KEnter(KCall::StopClients)) return xrchandle<xintsequence>();
  return xrchandle<xintsequence>(new xintsequence);
}

int KUnloadAuxModules() {
  ++g_unloadCalls;
  if (KEnter(KCall::UnloadModules)) return 0;
  for (void (*hook)() : UnloadHooks()) hook();
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
