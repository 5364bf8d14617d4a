// Command-line renderer: draws one picture into a PNG file.
#include <QImage>
#include <QString>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "Fractals.h"

using namespace wirolot;

namespace {

constexpr const char* kUsage = R"(Usage: wirolot-render [OPTIONS] [T1 ... T9]

Draws the Mandelbrot set (or, with --julia, the cubic Julia set of
z -> z (z^2 + c), c = 2.04 - 0.2i) into an 8-bit RGB PNG file.

T1 ... T9 are the nine parameter texts, all nine or none, in this order:
  T1 T2 T3 T4  analysis region Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T5 T6 T7 T8  convergence box Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T9           Csample, the iteration limit                   (15)
Numbers use the decimal separator of the current locale (LC_NUMERIC).
Texts may start with '-'; only the options below are read as options.

Options:
  --julia         draw the Julia set instead of the Mandelbrot set
  --size WxH      picture size in pixels (default 487x409)
  --out FILE      output file (default wirolot.png)
  --reference     use the one-sample-at-a-time extended-precision engine
                  (same picture, much slower)
  --help          show this text
  --              end of options

Exit status: 0 on success, 2 for a text that is not a number or bad usage
(no file is written then), 1 if the file cannot be written.
A progress bar is shown on standard error when it is a terminal.
)";

// Surface that stores pixels straight into the image to be saved.
class TImageSurface final : public TPixelSurface {
 public:
  explicit TImageSurface(QImage& image) : TPixelSurface(image.width(), image.height()), image_(image) {}

 protected:
  void PlotSpan(int y, int left, std::span<const TColor> colors) override {
    for (uchar* p = image_.scanLine(y) + 3 * left; TColor c : colors) {
      *p++ = RedOf(c);
      *p++ = GreenOf(c);
      *p++ = BlueOf(c);
    }
  }

 private:
  QImage& image_;
};

class TTerminalProgress final : public IProgressSink {
 public:
  explicit TTerminalProgress(bool enabled) : enabled_(enabled) {}
  ~TTerminalProgress() override {
    if (enabled_ && shown_ >= 0) std::fputs("\n", stderr);
  }
  void SetPosition(int position) override {
    if (!enabled_ || position == shown_) return;
    shown_ = position < 0 ? 0 : position > 100 ? 100 : position;
    constexpr int kWidth = 40;
    const int filled = shown_ * kWidth / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 kWidth - filled, "", shown_);
    std::fflush(stderr);
  }

 private:
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

  QImage image(width, height, QImage::Format_RGB888);
  if (image.isNull()) return UsageError("cannot allocate a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
  TImageSurface surface(image);
  const TEngine engine = reference ? TEngine::Reference : TEngine::Fast;
  try {
    TTerminalProgress progress(isatty(STDERR_FILENO));
    (julia ? DrawJulia : DrawMandelbrot)(surface, params, progress, engine);
  } catch (const Exception& e) {
    std::fprintf(stderr, "wirolot-render: %s\n", e.what());
    return 2;
  }
  if (!image.save(QString::fromStdString(out), "PNG")) {
    std::fprintf(stderr, "wirolot-render: cannot write '%s'\n", out.c_str());
    return 1;
  }
  return 0;
}
