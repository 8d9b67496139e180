// How many elements one call of the host may create (BuildElementList,
// ParseAssembly, LoadAllParts, LoadAllPartsForElement or ParsePart, with all
// they call). A call that would create more is cut there: no further element
// is made, the routines refused answer 3, and the kernel's last error says
// why (where the host already reads the reasons of a partial load).
#pragma once

namespace granite {

// Far above any real model, yet a bound on the work and memory a few small
// files can demand: assemblies that each name the next one twice, forty deep,
// would otherwise ask for 2^40 elements.
constexpr long kMaxElementsPerLoad = 10000000;

// Held by every export that may create elements: the outermost one starts
// the count, the ones it calls go on with it.
class ElementCountScope {
 public:
  ElementCountScope();
  ~ElementCountScope();
  ElementCountScope(const ElementCountScope&) = delete;
  ElementCountScope& operator=(const ElementCountScope&) = delete;
};

// Counts one element about to be created. False, with the reason recorded,
// once the call has created its limit.
bool TakeElement();

// For tests: another limit while alive.
class ElementLimitOverride {
 public:
  explicit ElementLimitOverride(long limit);
  ~ElementLimitOverride();
  ElementLimitOverride(const ElementLimitOverride&) = delete;
  ElementLimitOverride& operator=(const ElementLimitOverride&) = delete;

 private:
  long m_previous;
};

}  // namespace granite
