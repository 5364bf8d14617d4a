// A heavy pass, all interior near the parabolic point -0.75, measured two
// ways: how long a stop request takes to end it, at moments spread over the
// pass; and how busy the cores are over a whole pass (CPU time over wall time).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

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

}  // namespace

int main(int argc, char** argv) {
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
