// Whole loads of native assemblies: repeated parts, and wide and deep trees.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "Models.h"
#include "gGeometry90/ksession_extras.h"

namespace {

constexpr int kDistinctParts = 10;

// Times BuildElementList and LoadAllParts (only LoadAllParts when
// partsOnly); making the parser and world and tearing them down stay outside
// the time, and so does waiting for the files just written to be trusted.
// fresh: every load starts without the kernel's kept models.
void TimeLoads(benchmark::State& state, const std::string& path, int expectedParts,
               bool partsOnly = false, bool errorOnMiss = true, bool fresh = false) {
  bench::AwaitTrustedTimes();
  int parts = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (fresh) KFlushModelCache();
    auto load = std::make_unique<bench::HostLoad>(path);
    if (partsOnly) load->BuildElements();
    state.ResumeTiming();
    benchmark::DoNotOptimize(partsOnly ? load->LoadParts() : load->Run());
    state.PauseTiming();
    parts = load->Parts();
    load.reset();
    state.ResumeTiming();
  }
  state.counters["parts"] = parts;
  state.counters["parts_expected"] = expectedParts;
  if (parts != expectedParts && errorOnMiss)
    state.SkipWithError(("loaded " + std::to_string(parts) + " parts of " +
                         std::to_string(expectedParts)).c_str());
}

// Each of the distinct parts once: the cost of tessellating them.
void BM_PartsOnce(benchmark::State& state) {
  TimeLoads(state, bench::RepeatedParts(kDistinctParts, kDistinctParts), kDistinctParts);
}
BENCHMARK(BM_PartsOnce)->Unit(benchmark::kMillisecond);

// The same two sizes with LoadAllParts alone timed: the part walk and the
// reuse, without the element list and the extent pass.
void BM_PartsOnceLoadOnly(benchmark::State& state) {
  TimeLoads(state, bench::RepeatedParts(kDistinctParts, kDistinctParts), kDistinctParts, true);
}
BENCHMARK(BM_PartsOnceLoadOnly)->Unit(benchmark::kMillisecond);

void BM_RepeatedPartsLoadOnly(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TimeLoads(state, bench::RepeatedParts(n, kDistinctParts), n, true);
}
BENCHMARK(BM_RepeatedPartsLoadOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

// N occurrences of the same distinct parts: all but the first of each reused.
void BM_RepeatedParts(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TimeLoads(state, bench::RepeatedParts(n, kDistinctParts), n);
}
BENCHMARK(BM_RepeatedParts)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// N occurrences of one STEP part placed by a native assembly, every load
// translating it afresh: an added occurrence against the first.
void BM_ExchangeOccurrences(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::string file = std::string(GRANITE_DATA_DIR) + "/real/M6-1x12-countersunk-screw.step";
  struct stat st;
  if (stat(file.c_str(), &st) != 0) {
    state.SkipWithError(("no " + file).c_str());
    return;
  }
    // Each occurrence is an element with the file's root below it.
TimeLoads(state, bench::RepeatedExchangePart(n, file), 2 * n + 2, false, true, true);
}
BENCHMARK(BM_ExchangeOccurrences)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

void BM_WideTree(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TimeLoads(state, bench::WideTree(n), n);
}
BENCHMARK(BM_WideTree)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The deepest the stack went while f ran on a thread of its own, in bytes:
// the thread's stack is filled with a pattern first, and the untouched part
// found afterwards.
size_t PeakStack(const std::function<void()>& f) {
  constexpr size_t kSize = size_t(64) << 20;
  constexpr unsigned char kPattern = 0xA5;
  void* memory = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return 0;
  std::memset(memory, kPattern, kSize);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstack(&attributes, memory, kSize);
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  size_t used = 0;
  if (pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&f)) == 0) {
    pthread_join(thread, nullptr);
    const unsigned char* bytes = static_cast<const unsigned char*>(memory);
    size_t untouched = 0;
    while (untouched < kSize && bytes[untouched] == kPattern) ++untouched;
    used = kSize - untouched;
  }
  pthread_attr_destroy(&attributes);
  munmap(memory, kSize);
  return used;
}

void BM_DeepTree(benchmark::State& state) {
  const int levels = static_cast<int>(state.range(0));
  const std::string path = bench::DeepTree(levels);
  // A load that stops short still tells its time and stack; the table says
  // how many parts it reached.
  TimeLoads(state, path, 1, false, false);
  // The stack of a whole load, teardown included, on a thread of its own.
  state.counters["stack_bytes"] = static_cast<double>(PeakStack([&] {
    bench::HostLoad load(path);
    load.Run();
  }));
}
BENCHMARK(BM_DeepTree)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
