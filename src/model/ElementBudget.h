// How many elements one load may create. A load is BuildElementList and the
// part loading after it, or a ParsePart the host calls on its own. A load
// that would create more is cut there: no further element is made, the
// routines refused answer 3, and the kernel's last error says why (where the
// host already reads the reasons of a partial load).
#pragma once

namespace granite {

// Far above any real model, yet a bound on the work and memory a few small
// files can demand: assemblies that each name the next one twice, forty deep,
// would otherwise ask for 2^40 elements.
constexpr long kMaxElementsPerLoad = 10000000;

// Starts the count of a new load.
void StartElementCount();
// Counts one element about to be created. False, with the reason recorded,
// once the load has created its limit.
bool TakeElement();

// While alive, a ParsePart belongs to the load under way (its part loading)
// and keeps counting; outside one, ParsePart starts a load of its own.
class PartLoadingScope {
 public:
  PartLoadingScope();
  ~PartLoadingScope();
  PartLoadingScope(const PartLoadingScope&) = delete;
  PartLoadingScope& operator=(const PartLoadingScope&) = delete;
  static bool Active();
};

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
