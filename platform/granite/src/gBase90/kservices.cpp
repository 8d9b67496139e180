#include "gBase90/kservices.h"

#include <algorithm>
#include <string>
#include <vector>

#include "gBase90/kcall.h"
#include "gBase90/kdiag.h"

namespace {
int g_stopCalls = 0;
int g_unloadCalls = 0;
thread_local std::string t_lastError;
thread_local std::vector<std::string> t_errors;

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
  t_errors.clear();
}
void KSetLastError(const char* reason) {
  t_lastError = reason ? reason : "";
  // Every distinct reason since the clear, up to a bound a host can show.
  constexpr size_t kMaxErrors = 64;
  if (!t_lastError.empty() && t_errors.size() < kMaxErrors &&
      std::find(t_errors.begin(), t_errors.end(), t_lastError) == t_errors.end())
    t_errors.push_back(t_lastError);
}
int KGetErrorCount() {
  return static_cast<int>(t_errors.size());
}
const char* KGetError(int index) {
  return index >= 0 && index < KGetErrorCount() ? t_errors[static_cast<size_t>(index)].c_str() : "";
}

int gkit::StopGPIClientsCalls() {
  return g_stopCalls;
}
int gkit::UnloadAuxModulesCalls() {
  return g_unloadCalls;
}
