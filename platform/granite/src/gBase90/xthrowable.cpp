#include "gBase90/xthrowable.h"

#include "gBase90/kservices.h"

XOBJECT_DEFINE(xthrowable, xobject)

xthrowable::xthrowable(const xstring& message) : m_message(message) {}

xthrowable::~xthrowable() = default;

void KThrow(const char* message) {
  KSetLastError(message);
  xthrowable* error = new xthrowable(xstring::FromNarrow(message));
  error->xrcattach();  // the catcher's reference
  throw error;
}
