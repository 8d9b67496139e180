#include "model/ElementBudget.h"

#include <string>

#include "gBase90/kservices.h"

namespace granite {
namespace {

// One load at a time per process (the current parser is module-wide too).
long g_limit = kMaxElementsPerLoad;
long g_created = 0;
int g_scopes = 0;

}  // namespace

ElementCountScope::ElementCountScope() {
  if (g_scopes++ == 0) g_created = 0;
}
ElementCountScope::~ElementCountScope() {
  --g_scopes;
}

bool TakeElement() {
  if (g_created >= g_limit) {
    const std::string reason = "more than " + std::to_string(g_limit) +
                               " elements in one load: the model is cut there";
    KSetLastError(reason.c_str());
    return false;
  }
  ++g_created;
  return true;
}

ElementLimitOverride::ElementLimitOverride(long limit) : m_previous(g_limit) {
  g_limit = limit;
}
ElementLimitOverride::~ElementLimitOverride() {
  g_limit = m_previous;
}

}  // namespace granite
