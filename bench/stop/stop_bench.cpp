// Stops granite-load with a real SIGINT at random moments of its loads and
// measures, in process time, how long it takes from the request to the end of
// the program's run; and how long the progress bar stands still in a full load.
//
//   stop_bench [--runs N] [--seed S] FILE...   one JSON object per file on stdout
//   stop_bench --native-model                 writes the big native model, prints its path
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gBase90/kdiag.h"
#include "gBase90/kprogress.h"
#include "gBase90/kservices.h"
#include "main.h"

namespace {

double CpuNow() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Set by the timer's handler, which then sends the SIGINT a user's Ctrl-C would.
volatile double g_requestedAt = 0;
void OnTimer(int) {
  g_requestedAt = CpuNow();  // clock_gettime is async-signal-safe
  raise(SIGINT);
}

// Moments at which the bar was told something, for the stand-still measure.
struct Report {
  double at;
  int phase;  // -1: the loader's percentage
  double done, total;
};
std::vector<Report> g_reports;
KPhase g_phase = KPhase::Reading;
void OnPhase(KPhase phase, double done, double total) {
  g_reports.push_back({CpuNow(), int(phase), done, total});
  g_phase = phase;
}
void OnPercent(int percent) { g_reports.push_back({CpuNow(), -1, double(percent), 100}); }

const char* ReportName(int phase) { return phase < 0 ? "parts" : KPhaseName(KPhase(phase)); }

int RunProgram(const std::string& file) {
  std::ostringstream out, err;
  return gload::Run({"--quiet", file}, out, err);
}

// A native assembly of 160 parts, each a triangle mesh and analytic faces:
// some 700,000 triangles.
std::string WriteNativeModel() {
  const std::string folder = "/tmp/granite-stop-bench";
  std::system(("mkdir -p " + folder).c_str());
  std::ofstream assembly(folder + "/big.asm");
  assembly << "granite-native 1\nassembly\n";
  for (int p = 0; p < 160; ++p) {
    std::ofstream part(folder + "/part" + std::to_string(p) + ".prt");
    part << "granite-native 1\npart\nprimary\n  triangles";
    for (int i = 0; i < 80; ++i)
      for (int j = 0; j < 50; ++j)
        part << "\n    " << i << ' ' << j << " 0  " << i + 1 << ' ' << j << " 0  " << i << ' '
             << j + 1 << " 0";
    part << "\n  end\n";
    for (int k = 0; k < 10; ++k)
      part << "  cylinder radius " << 2 + k % 3 << " height 0 " << 10 + k << " translate "
           << 6 * k << " 50 0 end\n";
    part << "end\n";
    assembly << "component \"part" << p << ".prt\" translate " << (p % 16) * 100 << ' '
             << (p / 16) * 100 << " 0 end\n";
  }
  return folder + "/big.asm";
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 50;
  unsigned seed = 20;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (a == "--seed" && i + 1 < argc) seed = unsigned(std::atoi(argv[++i]));
    else if (a == "--native-model") files.push_back(WriteNativeModel());
    else files.push_back(a);
  }
  struct sigaction action {};
  action.sa_handler = &OnTimer;
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, nullptr);
  // A SIGINT that comes after the program has put its handler back is let go.
  struct sigaction ignore {};
  ignore.sa_handler = [](int) {};
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGINT, &ignore, nullptr);
  sigevent event {};
  event.sigev_notify = SIGEV_SIGNAL;
  event.sigev_signo = SIGUSR1;
  timer_t timer;
  if (timer_create(CLOCK_PROCESS_CPUTIME_ID, &event, &timer) != 0) return 1;
  std::mt19937 random(seed);

  for (const std::string& file : files) {
    // Full loads: their time, and the longest stand-still of the bar.
    std::vector<double> full;
    double stillMax = 0, tail = 0;
    for (int k = 0; k < 3; ++k) {
      g_reports.clear();
      gload::SetPhaseHook(&OnPhase);
      gload::SetProgressHook(&OnPercent);
      const double t0 = CpuNow();
      RunProgram(file);
      const double t1 = CpuNow();
      gload::SetPhaseHook(nullptr);
      gload::SetProgressHook(nullptr);
      full.push_back(t1 - t0);
      double last = t0;
      size_t longest = 0;
      for (size_t i = 0; i < g_reports.size(); ++i) {
        const double t = g_reports[i].at;
        if (t - last > stillMax) {
          stillMax = t - last;
          longest = i;
        }
        last = t;
      }
      if (std::getenv("STOP_BENCH_TRACE") && !g_reports.empty()) {
        const Report& b = g_reports[longest];
        const Report* a = longest ? &g_reports[longest - 1] : nullptr;
        std::fprintf(stderr, "longest stand-still %.3f s: from %s %.0f/%.0f to %s %.0f/%.0f\n",
                     b.at - (a ? a->at : t0), a ? ReportName(a->phase) : "the start",
                     a ? a->done : 0.0, a ? a->total : 0.0, ReportName(b.phase), b.done, b.total);
      }
      tail = t1 - last;  // from the last report to the end of the run
    }
    const double loadTime = *std::min_element(full.begin(), full.end());

    // Stopped loads.
    std::vector<double> latencies;
    int late = 0, alive = 0, statusOther = 0;
    std::uniform_real_distribution<double> moment(0, loadTime);
    // A moment that comes after the load has ended is drawn again.
    for (int attempt = 0; int(latencies.size()) < runs && attempt < 3 * runs; ++attempt) {
      const double at = moment(random);
      g_requestedAt = 0;
      itimerspec when {};
      when.it_value.tv_sec = time_t(at);
      when.it_value.tv_nsec = long((at - double(time_t(at))) * 1e9) + 1;
      const double start = CpuNow();
      gload::SetPhaseHook(&OnPhase);
      timer_settime(timer, 0, &when, nullptr);
      const int status = RunProgram(file);
      const double end = CpuNow();
      itimerspec off {};
      timer_settime(timer, 0, &off, nullptr);
      if (gkit::LiveObjects() != 0) ++alive;
      if (g_requestedAt == 0) {
        if (std::getenv("STOP_BENCH_TRACE"))
          std::fprintf(stderr, "at %.4f: late, the run took %.4f\n", at, end - start);
        ++late;  // the load ended before the moment came
        continue;
      }
      if (status != 1 && status != 3) ++statusOther;
      latencies.push_back(end - g_requestedAt);
      if (std::getenv("STOP_BENCH_TRACE"))
        std::fprintf(stderr, "at %.4f: status %d, %s, %.2f ms\n", at, status, KPhaseName(g_phase),
                     (end - g_requestedAt) * 1e3);
    }
    const double median = Median(latencies);
    const double max = latencies.empty() ? 0 : *std::max_element(latencies.begin(), latencies.end());
    std::printf(
        "{\"file\": \"%s\", \"load_s\": %.4f, \"bar_still_max_s\": %.4f, "
        "\"after_last_report_ms\": %.2f, \"stops\": %zu, \"late\": %d, \"median_ms\": %.2f, "
        "\"max_ms\": %.2f, \"live_after\": %d, \"other_status\": %d, \"latencies_ms\": [",
        file.c_str(), loadTime, stillMax, tail * 1e3, latencies.size(), late, median * 1e3,
        max * 1e3, alive, statusOther);
    for (size_t i = 0; i < latencies.size(); ++i)
      std::printf("%s%.3f", i ? ", " : "", latencies[i] * 1e3);
    std::printf("]}\n");
    std::fflush(stdout);
  }
  return 0;
}
