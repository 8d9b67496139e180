// Wide text of the sibling: the strings of the interface as standard strings.
#pragma once

#include <string>

#include "granite/CBasicString.h"

namespace qgp {

using Text = std::basic_string<WCHAR>;

inline Text ToText(const CBasicString& s) {
  return Text(s.GetWideString(), size_t(s.GetLength()));
}
inline CBasicString ToString(const Text& t) {
  return CBasicString(t.c_str());
}

}  // namespace qgp
