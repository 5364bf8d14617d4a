// The whole command-line path beside the engine alone: a render pass into an
// in-memory picture, and wirolot-render writing its PNG file, side by side at
// poster sizes, both with OMP_WAIT_POLICY unset. Reports wall time and peak
// memory (each the median of three runs) and their ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Fractals.h"

extern char** environ;

namespace wirolot {
namespace {

struct TRun {
  double Seconds;
  long PeakKiB;  // of the render command's process; 0 for the in-process pass
};

struct TNullSink final : IProgressSink {
  void SetPosition(int) override {}
};

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

TRun EnginePass(bool julia, int width, int height) {
  TBitmapSurface surface(width, height);
  TNullSink sink;
  const double start = Now();
  (julia ? DrawJulia : DrawMandelbrot)(surface, kDefaultTexts, sink, TEngine::Fast, {});
  return {Now() - start, 0};
}

TRun WholePath(const std::string& program, bool julia, int width, int height, const std::string& out) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  std::vector<std::string> args = {program, "--size", size, "--out", out};
  if (julia) args.push_back("--julia");
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const double start = Now();
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    std::perror(program.c_str());
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double seconds = Now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", program.c_str());
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

TRun Median(std::vector<TRun> runs) {
  auto middle = [&](auto key) {
    std::sort(runs.begin(), runs.end(), [&](const TRun& a, const TRun& b) { return key(a) < key(b); });
    return key(runs[runs.size() / 2]);
  };
  const double seconds = middle([](const TRun& r) { return r.Seconds; });
  return {seconds, long(middle([](const TRun& r) { return double(r.PeakKiB); }))};
}

// A child's peak memory counts its parent's at the time it was started, so
// the render command is started by a helper forked while this process was small.
class TSpawner {
 public:
  TSpawner(const std::string& program, const std::string& out) {
    int requests[2], replies[2];
    if (pipe(requests) != 0 || pipe(replies) != 0) std::exit(1);
    pid_ = fork();
    if (pid_ == 0) {
      close(requests[1]);
      close(replies[0]);
      for (TRequest r; read(requests[0], &r, sizeof r) == sizeof r;) {
        const TRun run = WholePath(program, r.Julia, r.Width, r.Height, out);
        if (write(replies[1], &run, sizeof run) != sizeof run) break;
      }
      _exit(0);
    }
    close(requests[0]);
    close(replies[1]);
    requests_ = requests[1];
    replies_ = replies[0];
  }
  ~TSpawner() {
    close(requests_);
    close(replies_);
    waitpid(pid_, nullptr, 0);
  }
  TRun Run(bool julia, int width, int height) {
    const TRequest request{julia, width, height};
    TRun run{};
    if (write(requests_, &request, sizeof request) != sizeof request || read(replies_, &run, sizeof run) != sizeof run)
      std::exit(1);
    return run;
  }

 private:
  struct TRequest {
    bool Julia;
    int Width, Height;
  };
  pid_t pid_;
  int requests_, replies_;
};

}  // namespace
}  // namespace wirolot

int main(int argc, char** argv) {
  using namespace wirolot;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PATH-TO-wirolot-render\n", argv[0]);
    return 2;
  }
  // The OpenMP runtime reads its settings as it loads, before main: both
  // sides must run with the defaults a user gets.
  if (std::getenv("OMP_WAIT_POLICY")) {
    std::fprintf(stderr, "%s: run with OMP_WAIT_POLICY unset\n", argv[0]);
    return 2;
  }
  const std::string program = argv[1];
  const std::string out =
      (std::filesystem::temp_directory_path() / ("wirolot-bench-" + std::to_string(getpid()) + ".png")).string();
  TSpawner spawner(program, out);
  const struct {
    int Width, Height;
  } sizes[] = {{4000, 3000}, {8000, 6000}, {16000, 12000}};

  std::printf("OMP_WAIT_POLICY unset, for the pass here and for wirolot-render\n");
  std::printf("%-11s %-12s %10s %10s %10s %12s\n", "command", "size", "engine s", "whole s", "whole/eng",
              "whole peak");
  for (const bool julia : {false, true})
    for (const auto& size : sizes) {
      std::vector<TRun> engine, whole;
      for (int i = 0; i < 3; ++i) {  // alternating, so both meet the same load
        engine.push_back(EnginePass(julia, size.Width, size.Height));
        whole.push_back(spawner.Run(julia, size.Width, size.Height));
      }
      const TRun e = Median(engine), w = Median(whole);
      std::printf("%-11s %5dx%-6d %10.3f %10.3f %9.2fx %9.1f MB\n", julia ? "Julia" : "Mandelbrot", size.Width,
                  size.Height, e.Seconds, w.Seconds, w.Seconds / e.Seconds, w.PeakKiB / 1024.0);
    }
  std::remove(out.c_str());  // the last run's picture
  return 0;
}
