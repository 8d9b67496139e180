// Counts heap allocations to show that short texts live inside the object.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "granite/CBasicString.h"

namespace {

int g_allocations = 0;

void* Allocate(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

// The other forms of new and delete (arrays, no-throw, alignment) end in
// these or pair among themselves.
void* operator new(std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Heap allocations made by f.
template <typename F>
int Allocations(F f) {
  const int before = g_allocations;
  f();
  return g_allocations - before;
}

// Builds, copies, passes by value, compares, edits and joins texts of the
// given length, as the loading code does with its temporary names.
void UseTexts(const WCHAR* wide, const char* narrow) {
  CBasicString a(wide);
  CBasicString b(narrow);
  CBasicString c(a);
  auto byValue = [](CBasicString s) { return s.GetLength(); };
  byValue(b);
  c = b;
  c = wide;
  c = narrow;
  CBasicString d = a.Mid(0, -1);
  d.MakeUpper();
  d.MakeLower();
  CBasicString e;
  e.Format(WSTR("%s"), d.GetWideString());
  EXPECT_TRUE(a == b && b == c && d == e);
  EXPECT_EQ(a.GetHashValue(), b.GetHashValue());
}

TEST(BasicStringAllocation, ShortTextsStayInsideTheObject) {
  EXPECT_EQ(Allocations([] { UseTexts(WSTR("Bolt.pr"), "Bolt.pr"); }), 0);
  EXPECT_EQ(Allocations([] { UseTexts(WSTR("Größe.p"), "Größe.p"); }), 0);
  EXPECT_EQ(Allocations([] {
              CBasicString s(WSTR("abc"));
              s += WSTR("defg");  // seven
              CBasicString joined = CBasicString(WSTR("abc")) + "defg";
              EXPECT_TRUE(s == joined);
            }),
            0);

  EXPECT_GT(Allocations([] { CBasicString s(WSTR("Bolt.prt")); }), 0);
  EXPECT_GT(Allocations([] { CBasicString s("Bolt.prt"); }), 0);
  EXPECT_GT(Allocations([] {
              CBasicString s(WSTR("abc"));
              s += WSTR("defgh");  // eight
            }),
            0);
  // The narrow copy is the one allocation GetMultiByte makes.
  CBasicString s(WSTR("abc"));
  EXPECT_EQ(Allocations([&] { s.GetMultiByte(); }), 1);
}

}  // namespace
