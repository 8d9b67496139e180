// Sequences handed out by the kernel: GetCount, then GetAt from 0.
#pragma once

#include <cstddef>
#include <vector>

#include "gBase90/xobject.h"

// An index outside 0 .. GetCount() - 1 throws an xthrowable.
GRANITE_VISIBLE void KCheckIndex(int index, std::size_t count);
// Enters the kernel call of a GetAt on a sequence of kernel objects; true
// when the entry is to be given as null.
GRANITE_VISIBLE bool KEnterSequenceEntry();

class GRANITE_VISIBLE xintsequence : public xobject {
  XOBJECT_DECLARE(xintsequence)
 public:
  xintsequence() = default;
  int GetCount() const { return static_cast<int>(m_values.size()); }
  int GetAt(int index) const {
    KCheckIndex(index, m_values.size());
    return m_values[static_cast<size_t>(index)];
  }
  void Add(int value) { m_values.push_back(value); }

 private:
  std::vector<int> m_values;
};

class GRANITE_VISIBLE xdoublesequence : public xobject {
  XOBJECT_DECLARE(xdoublesequence)
 public:
  xdoublesequence() = default;
  explicit xdoublesequence(std::vector<double> values) : m_values(std::move(values)) {}
  int GetCount() const { return static_cast<int>(m_values.size()); }
  double GetAt(int index) const {
    KCheckIndex(index, m_values.size());
    return m_values[static_cast<size_t>(index)];
  }
  void Add(double value) { m_values.push_back(value); }
  const std::vector<double>& Values() const { return m_values; }

 private:
  std::vector<double> m_values;
};

// The run-time identity shared by every handle sequence.
GRANITE_VISIBLE const xrtti* KHandleSequenceRtti();

// A sequence of kernel objects. GetAt gives null for a missing entry.
template <class T>
class GRANITE_VISIBLE xhandlesequence : public xobject {
 public:
  static const xrtti* getClassRtti() { return KHandleSequenceRtti(); }
  const xrtti* getRtti() const override { return KHandleSequenceRtti(); }

  xhandlesequence() = default;
  int GetCount() const { return static_cast<int>(m_items.size()); }
  void GetAt(int index, xrchandle<T>& out) const {
    KCheckIndex(index, m_items.size());
    if (KEnterSequenceEntry()) {
      out.reset();
      return;
    }
    out = m_items[static_cast<size_t>(index)];
  }
  void Add(const xrchandle<T>& item) { m_items.push_back(item); }
  void Reserve(size_t count) { m_items.reserve(count); }
  // The entries themselves, without counting a kernel call.
  const std::vector<xrchandle<T>>& Items() const { return m_items; }
  void Clear() { m_items.clear(); }

 private:
  std::vector<xrchandle<T>> m_items;
};
