// Kernel objects with counted references, and the handle that holds them.
#pragma once

#include "win32/wintypes.h"

class GRANITE_VISIBLE xobject {
public:
  xobject();
  xobject(const xobject&) = delete;
  xobject& operator=(const xobject&) = delete;
  virtual ~xobject();

  void xrcattach();
  // Deletes the object when the last reference goes.
  void xrcrelease();
  int xrccount() const { return m_references; }

private:
  int m_references;
};

// A counted reference: copying attaches, destruction and reassignment release.
template <class T>
class xrchandle {
public:
  xrchandle() : m_object(nullptr) {}
  // Takes a new reference to object (null allowed).
  xrchandle(T* object) : m_object(object) {
    if (m_object) m_object->xrcattach();
  }
  xrchandle(const xrchandle& other) : xrchandle(other.m_object) {}
  ~xrchandle() { Release(); }
  xrchandle& operator=(const xrchandle& other) {
    T* object = other.m_object;  // read first: other may be *this
    if (object) object->xrcattach();
    Release();
    m_object = object;
    return *this;
  }
  T* operator->() const { return m_object; }
  T& operator*() const { return *m_object; }
  T* get() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }
  bool isNull() const { return m_object == nullptr; }

private:
  void Release() {
    if (m_object) m_object->xrcrelease();
    m_object = nullptr;
  }
  T* m_object;
};
