// The test kit's load fixture, and a sum the tessellation and translator tests share.
#pragma once

#include <vector>

#include "gkit/load_fixture.h"

namespace loadtest {

using namespace gkit;

inline int Sum(const std::vector<int>& counts) {
  int s = 0;
  for (int c : counts) s += c;
  return s;
}

}  // namespace loadtest
