// The mesh arrays: one exact-size allocation, no capacity member.
//
// Growing allocates exactly the new count; lowering the count to a smaller
// non-zero value keeps the storage and its values; the storage is released only
// while the count is above 0. A byte size over 32 bits raises std::bad_alloc.
// New storage is allocated before anything changes, so a failed allocation leaves
// the array as it was.
#pragma once

#include <cstdint>
#include <new>

#include "qorvela/velaTypes.h"

template <class T>
class velaArray1D {
public:
  velaArray1D() : data(nullptr), count(0) {}
  velaArray1D(const velaArray1D& other) : data(nullptr), count(0) { CopyFrom(other); }
  virtual ~velaArray1D() { Release(); }

  velaArray1D& operator=(const velaArray1D& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }

  void SetSize(uint32_t newCount, int preserve) {
    if (newCount < count) {
      if (newCount == 0) Release();
      count = newCount;
      return;
    }
    if (newCount == count) return;
    T* storage = Allocate(newCount);
    if (preserve) {
      for (uint32_t i = 0; i < count; ++i) storage[i] = data[i];
    }
    Release();
    data = storage;
    count = newCount;
  }

  T& operator[](uint32_t index) { return data[index]; }
  const T& operator[](uint32_t index) const { return data[index]; }
  uint32_t GetSize() const { return count; }

  T* data;
  uint32_t count;

private:
  static T* Allocate(uint32_t n) {
    if (static_cast<uint64_t>(n) * sizeof(T) > UINT32_MAX) throw std::bad_alloc();
    return new T[n];  // int elements stay uninitialised; points and vectors default-construct
  }

  void Release() {
    if (count > 0) {
      delete[] data;
      data = nullptr;
      count = 0;
    }
  }

  void CopyFrom(const velaArray1D& other) {
    T* storage = other.count > 0 ? Allocate(other.count) : nullptr;
    for (uint32_t i = 0; i < other.count; ++i) storage[i] = other.data[i];
    Release();
    data = storage;
    count = other.count;
  }
};

class velaIntArray : public velaArray1D<int> {};
class velaFloatPointArray : public velaArray1D<velaFloatPoint> {};
class velaVectorArray : public velaArray1D<velaVector> {};
