// Sequences handed out by the kernel.
#pragma once

#include <vector>

#include "gBase90/xobject.h"

class GRANITE_VISIBLE xintsequence : public xobject {
public:
  int GetCount() const { return static_cast<int>(m_values.size()); }
  int GetAt(int index) const { return m_values[index]; }
  std::vector<int> m_values;
};
