#include "gBase90/xsequence.h"

#include <string>

#include "gBase90/kcall.h"
#include "gBase90/xthrowable.h"

XOBJECT_DEFINE(xintsequence, xobject)
XOBJECT_DEFINE(xdoublesequence, xobject)

const xrtti* KHandleSequenceRtti() {
  static const xrtti rtti = {"xhandlesequence", xobject::getClassRtti()};
  return &rtti;
}

void KCheckIndex(int index, std::size_t count) {
  if (index < 0 || static_cast<size_t>(index) >= count) {
    std::string message = "sequence index " + std::to_string(index) + " outside 0.." +
                          std::to_string(static_cast<long long>(count) - 1);
    KThrow(message.c_str());
  }
}

bool KEnterSequenceEntry() {
  return KEnter(KCall::SequenceEntry);
}
