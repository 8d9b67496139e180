// Kernel objects with counted references and run-time class identity, and the
// handles that hold them.
#pragma once

#include "win32/wintypes.h"

// The run-time identity of a kernel class: its name and its base class.
struct GRANITE_KBASE_API xrtti {
  const char* name;
  const xrtti* base;
};

class GRANITE_KBASE_API xobject {
 public:
  xobject(const xobject&) = delete;
  xobject& operator=(const xobject&) = delete;

  static const xrtti* getClassRtti();
  virtual const xrtti* getRtti() const;
  // True when the object is of the class rtti stands for, or of a class derived from it.
  bool isKindOf(const xrtti* rtti) const;

  void xrcattach();
  // Deletes the object when the last reference goes.
  void xrcrelease();
  int xrccount() const { return m_references; }

  // For holders that cannot know whether the object is counted (caught
  // exceptions): a statically allocated object answers false, and the two
  // calls below then leave it alone.
  virtual bool isRefCountable() const;
  void xrcuniattach();
  void xrcunirelease();

 protected:
  xobject();
  virtual ~xobject();

 private:
  int m_references;
};

// Declares the run-time identity of a class derived from xobject (without a
// virtual base on the way) and its checked downcast, which gives null for an
// object of another class.
#define XOBJECT_DECLARE(cls)                                                                       \
 public:                                                                                           \
  static const xrtti* getClassRtti();                                                              \
  const xrtti* getRtti() const override;                                                           \
  static cls* cast(xobject* object) {                                                              \
    return object && object->isKindOf(getClassRtti()) ? static_cast<cls*>(object) : nullptr;       \
  }                                                                                                \
  static const cls* cast(const xobject* object) {                                                  \
    return object && object->isKindOf(getClassRtti()) ? static_cast<const cls*>(object) : nullptr; \
  }

// Defines what XOBJECT_DECLARE declared; base is the direct base class.
#define XOBJECT_DEFINE(cls, base)                           \
  const xrtti* cls::getClassRtti() {                        \
    static const xrtti rtti = {#cls, base::getClassRtti()}; \
    return &rtti;                                           \
  }                                                         \
  const xrtti* cls::getRtti() const {                       \
    return getClassRtti();                                  \
  }

// A counted reference: copying attaches, destruction and reassignment release.
// Null is allowed.
template <class T>
class xrchandle {
 public:
  xrchandle() : m_object(nullptr) {}
  // Takes a new reference to object (null allowed).
  xrchandle(T* object) : m_object(object) {
    if (m_object) m_object->xrcattach();
  }
  xrchandle(const xrchandle& other) : xrchandle(other.m_object) {}
  template <class U>
  xrchandle(const xrchandle<U>& other) : xrchandle(other.get()) {}
  xrchandle(xrchandle&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
  ~xrchandle() { Release(); }

  xrchandle& operator=(const xrchandle& other) { return Assign(other.m_object); }
  xrchandle& operator=(xrchandle&& other) noexcept {
    if (this != &other) {
      Release();
      m_object = other.m_object;
      other.m_object = nullptr;
    }
    return *this;
  }
  xrchandle& operator=(T* object) { return Assign(object); }

  T* operator->() const { return m_object; }
  T& operator*() const { return *m_object; }
  T* get() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }
  bool isNull() const { return m_object == nullptr; }
  // Lets go of the reference; the handle becomes null.
  void reset() { Release(); }

 private:
  xrchandle& Assign(T* object) {
    if (object) object->xrcattach();
    Release();
    m_object = object;
    return *this;
  }
  void Release() {
    T* object = m_object;
    m_object = nullptr;
    if (object) object->xrcrelease();
  }
  T* m_object;
};

template <class T, class U>
bool operator==(const xrchandle<T>& a, const xrchandle<U>& b) {
  return a.get() == b.get();
}
template <class T, class U>
bool operator!=(const xrchandle<T>& a, const xrchandle<U>& b) {
  return a.get() != b.get();
}

// The holder of a caught exception: attaches with xrcuniattach and releases
// with xrcunirelease, the latter only when the object is counted.
template <class T>
class xrcunihandle {
 public:
  explicit xrcunihandle(T* object) : m_object(object), m_counted(false) {
    if (m_object) {
      m_object->xrcuniattach();
      m_counted = m_object->isRefCountable();
    }
  }
  xrcunihandle(const xrcunihandle&) = delete;
  xrcunihandle& operator=(const xrcunihandle&) = delete;
  ~xrcunihandle() {
    if (m_object && m_counted) m_object->xrcunirelease();
  }
  T* operator->() const { return m_object; }
  T* get() const { return m_object; }

 private:
  T* m_object;
  bool m_counted;
};
