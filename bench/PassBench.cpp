// A heavy pass, all interior near the parabolic point -0.75, measured three
// ways: how long a stop request takes to end it, at moments spread over the
// pass; how busy the cores are over a whole pass (CPU time over wall time);
// and, with `steps`, the orbit steps of it and other views and the CPU time
// each step costs under 1, 2, 4 and 8 threads, the thread counts in turn.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <omp.h>

#include "FastEngineFigures.h"
#include "Fractals.h"

namespace {

using namespace wirolot;
using Clock = std::chrono::steady_clock;

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TParamTexts HeavyView(const std::string& csample) {
  return {"-0.76", "-0.74", "-0.01", "0.01", "-3", "3", "-2", "2", csample};
}

std::uint64_t StepsSoFar() {
  const TOrbitTally tally = FastEngineOrbitTally();
  return tally.Steps + tally.EscapedSteps;
}

// Min, median and max.
std::string Spread(std::vector<double> v, const char* format) {
  std::sort(v.begin(), v.end());
  char text[96];
  std::snprintf(text, sizeof text, format, v.front(), v[v.size() / 2], v.back());
  return text;
}

// Each view's steps and CPU nanoseconds per step under each thread count,
// `runs` times; the pictures must not depend on the thread count.
int StepCosts(int runs) {
  const struct {
    const char* Name;
    bool Julia;
    TParamTexts Texts;
    int W, H;
  } views[] = {
      {"heavy", false, HeavyView("2147483647"), 487, 409},
      {"heavy", false, HeavyView("2147483647"), 974, 818},
      {"interior", false, {"-2", "1", "-1.2", "1.2", "-3", "3", "-2", "2", "1000"}, 4000, 3000},
      {"default", false, kDefaultTexts, 4000, 3000},
      {"default julia", true, kDefaultTexts, 4000, 3000},
  };
  const int threads[] = {1, 2, 4, 8};
  std::printf("view                      threads  Gsteps  CPU ns/step min/median/max    wall s min/median/max\n");
  for (const auto& v : views) {
    std::vector<double> cost[4], wall[4];
    std::uint64_t steps[4] = {};
    std::vector<TColor> first;
    for (int r = 0; r < runs; ++r)
      for (int t = 0; t < 4; ++t) {
        omp_set_num_threads(threads[t]);
        TBitmapSurface surface(v.W, v.H);
        TNullSink sink;
        const std::uint64_t before = StepsSoFar();
        const double cpu = CpuSeconds();
        const Clock::time_point start = Clock::now();
        (v.Julia ? DrawJulia : DrawMandelbrot)(surface, v.Texts, sink, TEngine::Fast, {});
        wall[t].push_back(std::chrono::duration<double>(Clock::now() - start).count());
        steps[t] = StepsSoFar() - before;
        cost[t].push_back((CpuSeconds() - cpu) * 1e9 / double(steps[t]));
        if (first.empty()) first = surface.Pixels();
        if (surface.Pixels() != first) {
          std::printf("%s %dx%d: the picture differs under %d threads\n", v.Name, v.W, v.H, threads[t]);
          return 1;
        }
      }
    for (int t = 0; t < 4; ++t)
      std::printf("%-14s %5d x %-5d %3d  %7.3f  %-30s %s\n", v.Name, v.W, v.H, threads[t], double(steps[t]) * 1e-9,
                  Spread(cost[t], "%.3f / %.3f / %.3f").c_str(), Spread(wall[t], "%.3f / %.3f / %.3f").c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "steps") return StepCosts(argc > 2 ? std::atoi(argv[2]) : 5);
  const std::string csample = argc > 1 ? argv[1] : "2147483647";
  const bool whole = argc > 2 && std::string(argv[2]) == "whole";
  std::printf("heavy view -0.76 -0.74 -0.01 0.01, Csample %s\n", csample.c_str());

  // Stops at moments spread over the first seconds of a 974 x 818 pass.
  std::vector<double> latencies;
  for (int k = 1; k <= 10; ++k) {
    TBitmapSurface surface(974, 818);
    TNullSink sink;
    std::stop_source stop;
    auto pass = std::async(std::launch::async, [&] {
      return DrawMandelbrot(surface, HeavyView(csample), sink, TEngine::Fast, stop.get_token());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150 * k));
    const Clock::time_point asked = Clock::now();
    stop.request_stop();
    const TPassEnd end = pass.get();
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
    if (end != TPassEnd::Stopped) std::printf("pass %d ended before its stop\n", k);
  }
  std::sort(latencies.begin(), latencies.end());
  std::printf("stop latency over %zu stops: min %.2f ms, median %.2f ms, max %.2f ms\n", latencies.size(),
              latencies.front(), latencies[latencies.size() / 2], latencies.back());

  // Whole passes: CPU time over wall time, out of the cores there are.
  if (!whole) return 0;
  for (const auto& [w, h] : {std::pair{487, 409}, {974, 818}}) {
    TBitmapSurface surface(w, h);
    TNullSink sink;
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    DrawMandelbrot(surface, HeavyView(csample), sink);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%4d x %-4d whole pass %.2f s, CPU/wall %.2f of %u cores\n", w, h, wall, (CpuSeconds() - cpu) / wall,
                std::thread::hardware_concurrency());
  }
}
