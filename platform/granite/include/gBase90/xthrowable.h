// The kernel's exception: thrown as a pointer, carrying a message.
#pragma once

#include "gBase90/xobject.h"
#include "gBase90/xstring.h"

// Thrown as xthrowable*. The thrown object carries one reference for its
// catcher, who gives it back with xrcunirelease.
class GRANITE_KBASE_API xthrowable : public xobject {
  XOBJECT_DECLARE(xthrowable)
 public:
  explicit xthrowable(const xstring& message);
  const xstring& GetMessage() const { return m_message; }

 protected:
  ~xthrowable() override;

 private:
  xstring m_message;
};

// Throws a new xthrowable with the UTF-8 message and keeps the message as the
// kernel's last error.
[[noreturn]] GRANITE_KBASE_API void KThrow(const char* message);
