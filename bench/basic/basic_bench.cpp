// Strings and lists: short strings stay off the heap, list walks and indexed
// access stay linear in the list's length.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

namespace {

// Every heap allocation of the program, counted so that a benchmark can tell
// how many its loop made.
long g_allocations = 0;

void* Allocate(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++g_allocations;
  return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

std::vector<WCHAR> Text(int length) {
  std::vector<WCHAR> text(static_cast<size_t>(length) + 1, 0);
  for (int i = 0; i < length; ++i) text[static_cast<size_t>(i)] = static_cast<WCHAR>(u'a' + i % 26);
  return text;
}

// A string made from wide text and copied, as a name passed by value is.
void BM_StringPassByValue(benchmark::State& state) {
  const std::vector<WCHAR> text = Text(static_cast<int>(state.range(0)));
  const long before = g_allocations;
  for (auto _ : state) {
    CBasicString made(text.data());
    CBasicString copy(made);
    benchmark::DoNotOptimize(copy.GetWideString());
  }
  state.counters["allocations_per_string"] = benchmark::Counter(
      static_cast<double>(g_allocations - before) / (2.0 * static_cast<double>(state.iterations())));
}
BENCHMARK(BM_StringPassByValue)->Arg(7)->Arg(8);

struct FilledList {
  explicit FilledList(long n) : items(static_cast<size_t>(n)) {
    for (long i = 0; i < n; ++i) list.AddTail(&items[static_cast<size_t>(i)]);
  }
  std::vector<int> items;
  CBasicList list;
};

// Head to tail with the list's iterator.
void BM_ListIteratorWalk(benchmark::State& state) {
  FilledList filled(state.range(0));
  for (auto _ : state) {
    long sum = 0;
    for (CBasicListIterator it(&filled.list); it.GetCurrent() != nullptr; ++it)
      sum += *static_cast<int*>(it.GetCurrent());
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListIteratorWalk)->Arg(1000)->Arg(1000000);

// One change (the head moved to the tail), then every item by index.
void BM_ListIndexedAfterChange(benchmark::State& state) {
  FilledList filled(state.range(0));
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    filled.list.AddTail(filled.list.RemoveHead());
    long sum = 0;
    for (int i = 0; i < n; ++i) sum += *static_cast<int*>(filled.list.GetAt(i));
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListIndexedAfterChange)->Arg(1000)->Arg(1000000);

}  // namespace

BENCHMARK_MAIN();
