// Command-line renderer: draws one picture into a PNG file.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "Convert.h"
#include "Fractals.h"
#include "Orbits.h"
#include "OutputFile.h"
#include "PngStreamSurface.h"

using namespace wirolot;

namespace {

constexpr const char* kUsage = R"(Usage: wirolot-render [OPTIONS] [T1 ... T9]

Draws the Mandelbrot set (or, with --julia, the cubic Julia set of
z -> z (z^2 + c), c = 2.04 - 0.2i) into a PNG file. The file is written
while the picture is computed, a few rows at a time, so memory does not grow
with the picture's height. It is an 8-bit indexed PNG when the iteration limit
allows at most 256 colours, an 8-bit RGB PNG otherwise.

T1 ... T9 are the nine parameter texts, all nine or none, in this order:
  T1 T2 T3 T4  analysis region Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T5 T6 T7 T8  convergence box Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T9           Csample, the iteration limit                   (15)
Numbers use the decimal separator of the current locale (LC_NUMERIC).
Texts may start with '-'; only the options below are read as options.

Options:
  --julia         draw the Julia set instead of the Mandelbrot set
  --size WxH      picture size in pixels, each 1 to 65535 (default 487x409)
  --out FILE      output file (default wirolot.png); '-' writes the PNG to
                  standard output. A regular file is written under a
                  temporary name in the same folder and renamed to FILE only
                  once complete, so an existing FILE stays as it was unless
                  the new picture is written in full.
  --reference     use the one-sample-at-a-time extended-precision engine
                  (same picture, much slower)
  --help          show this text
  --              end of options

Exit status:
  0  the picture was written in full
  1  the file could not be written (no space, no permission, a write error
     on standard output, ...) or the program was interrupted by SIGINT or
     SIGTERM; the message names the file and the reason, and no partial
     file is left behind
  2  a text that is not a number, or bad usage; no file is written
A progress bar is shown on standard error when it is a terminal; it reaches
100% only once the file is complete.

Environment:
  OMP_NUM_THREADS   threads that compute the picture (default: one per core)
  OMP_WAIT_POLICY   how idle computing threads wait; wirolot-render sets
                    'passive' when it is unset, so that they leave the cores
                    to the PNG encoder
)";

// Holds at 99% until Complete: the file is done only after the pass.
class TTerminalProgress final : public IProgressSink {
 public:
  explicit TTerminalProgress(bool enabled) : enabled_(enabled) {}
  ~TTerminalProgress() override { End(); }
  void SetPosition(int position) override { Show(std::clamp(position, 0, 99)); }
  void Complete() {
    Show(100);
    End();
  }
  // Ends the bar's line, if one is shown.
  void End() {
    if (enabled_ && shown_ >= 0) std::fputs("\n", stderr);
    shown_ = -1;
  }

 private:
  void Show(int position) {
    if (!enabled_ || position == shown_) return;
    shown_ = position;
    constexpr int kWidth = 40;
    const int filled = shown_ * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", shown_);
    std::fflush(stderr);
  }

  bool enabled_;
  int shown_ = -1;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "wirolot-render: %s\nTry 'wirolot-render --help'.\n", message.c_str());
  return 2;
}

bool ParseSize(std::string_view text, int& width, int& height) {
  int consumed = 0;
  const std::string s(text);
  return std::sscanf(s.c_str(), "%dx%d%n", &width, &height, &consumed) == 2 && consumed == int(s.size()) &&
         width > 0 && height > 0 && width <= 65535 && height <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  // The encoder thread shares the cores with the engine's OpenMP threads,
  // which by default spin between parallel regions and so take its time. The
  // runtime reads its settings only as it loads: start again with them set,
  // unless the user chose a policy.
  if (!std::getenv("OMP_WAIT_POLICY")) {
    setenv("OMP_WAIT_POLICY", "passive", 1);
    execv("/proc/self/exe", argv);  // without /proc, go on as we are
  }
  std::setlocale(LC_ALL, "");

  bool julia = false, reference = false, optionsEnded = false;
  int width = 487, height = 409;
  std::string out = "wirolot.png";
  std::vector<std::string> texts;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsEnded && arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!optionsEnded && arg == "--julia") {
      julia = true;
    } else if (!optionsEnded && arg == "--reference") {
      reference = true;
    } else if (!optionsEnded && (arg == "--size" || arg == "--out")) {
      if (i + 1 == argc) return UsageError(std::string(arg) + " needs a value");
      const std::string_view value = argv[++i];
      if (arg == "--out")
        out = value;
      else if (!ParseSize(value, width, height))
        return UsageError("bad size '" + std::string(value) + "' (expected WxH, e.g. 487x409)");
    } else if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.starts_with("--")) {
      return UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      texts.emplace_back(arg);
    }
  }
  if (!texts.empty() && texts.size() != kDefaultTexts.size())
    return UsageError("give all nine parameter texts or none (got " + std::to_string(texts.size()) + ")");

  TParamTexts params = kDefaultTexts;
  std::copy(texts.begin(), texts.end(), params.begin());
  float csample;
  try {
    csample = ConvertTexts(params).Csample;
  } catch (const Exception& e) {
    std::fprintf(stderr, "wirolot-render: %s\n", e.what());
    return 2;
  }

  // Counts run from 1 to the step limit; with at most 255 of them every
  // colour the pass can paint, and the black of the clearing, fits a palette.
  const std::int32_t limit = julia ? TJuliaOrbit::StepLimit(csample) : TMandelbrotOrbit::StepLimit(csample);
  std::vector<TColor> palette;
  for (std::int32_t n = 0; limit < 256 && n <= limit; ++n) palette.push_back(ColorOf(n));

  const TEngine engine = reference ? TEngine::Reference : TEngine::Fast;
  TTerminalProgress progress(isatty(STDERR_FILENO));
  try {
    TOutputFile file(out);
    TPngStreamSurface surface(width, height, palette,
                              [&file](const std::uint8_t* data, std::size_t size) { file.Write(data, size); });
    (julia ? DrawJulia : DrawMandelbrot)(surface, params, progress, engine, {});
    surface.Finish();
    file.Commit();
  } catch (const std::exception& e) {
    progress.End();
    std::fprintf(stderr, "wirolot-render: %s\n", e.what());
    return 1;
  }
  progress.Complete();
  return 0;
}
