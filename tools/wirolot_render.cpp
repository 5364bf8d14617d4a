// Command-line renderer: draws one picture into a PNG file.
#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "Convert.h"
#include "Interrupts.h"
#include "Messages.h"
#include "Movie.h"
#include "PaletteFile.h"
#include "PngView.h"
#include "WritePicture.h"

using namespace wirolot;

namespace {

constexpr const char* kUsage = R"(Usage: wirolot-render [OPTIONS] [T1 ... T9]
  or:  wirolot-render --from FILE.png [OPTIONS]
  or:  wirolot-render --movie KEY.png KEY.png... --frames N [OPTIONS]
                      [--out FOLDER] [--frame-range A-B] [--video FILE] [--fps R]

Draws the Mandelbrot set (or, with --julia, the cubic Julia set of
z -> z (z^2 + c), c = 2.04 - 0.2i) into a PNG file. The file is written
while the picture is computed, a few rows at a time, so memory does not grow
with the picture's height. In the counts' own colours, one sample a pixel, it
is an 8-bit indexed PNG when the iteration limit allows at most 256 colours,
an 8-bit RGB PNG otherwise; with a palette or supersampling it is 8-bit RGB.
The PNG carries its view in text chunks: the command, the nine texts as
given, their decimal separator, the size and the colouring; --from draws it
again.

T1 ... T9 are the nine parameter texts, all nine or none, in this order:
  T1 T2 T3 T4  analysis region Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T5 T6 T7 T8  convergence box Cremin Cremax Cimmin Cimmax   (-3 3 -2 2)
  T9           Csample, the iteration limit                   (15)
Numbers use the decimal separator of the current locale (LC_NUMERIC).
Texts may start with '-'; only the options below are read as options.

Options:
  --julia         draw the Julia set instead of the Mandelbrot set
  --from FILE     draw the view stored in FILE, a PNG this program wrote: its
                  command and texts, converted with its decimal separator
                  whatever the locale, at its size unless --size is given;
                  takes no texts and no --julia
  --size WxH      picture size in pixels, each 1 to 65535 in plain digits
                  (default 487x409)
  --out FILE      output file (default wirolot.png); '-' writes the PNG to
                  standard output. A regular file is written under a
                  temporary name in the same folder and renamed to FILE only
                  once complete, so an existing FILE stays as it was unless
                  the new picture is written in full. A symbolic link is
                  written through to the file it names, as cp does.
  --reference     use the one-sample-at-a-time extended-precision engine
                  (same picture, much slower)
  --help          show this text
  --              end of options

Colouring options (also with --from, replacing what the file holds):
  --palette NAME|FILE
                  counts (the default: colour n x 4112 of a count n, inside
                  samples included), fire, ice, grey, spectrum, or a palette
                  file: a map of up to 256 lines 'R G B' (0 to 255, anything
                  after the third number ignored), a GIMP palette (.gpl,
                  up to 4096 colours) or a GIMP gradient (.ggr, taken at
                  256 points); resets --period, --offset, --inside
  --period N      counts per cycle of the palette, 1 to 2147483647
                  (default: the palette's length)
  --offset N      counts the cycle is turned on by, 0 to 2147483647
                  (default 0)
  --inside RRGGBB
                  colour of inside samples in hexadecimal (default 000000)
  --supersample K
                  each pixel the mean of K x K samples, K from 1 to 8
                  (default 1)

A sample whose count n is the step limit is inside: its orbit was still in
the box at the last count it could take (Mandelbrot: the first whole count
above Csample; Julia: Csample, if a whole number from 1 to 2147483646, else
2147483647). Any other takes the palette at ((n - 1 + offset) mod period) /
period of the way round its cycle, whose last colour leads back to the first,
interpolated linearly in linear light (sRGB, IEC 61966-2-1). With
--supersample K, pixel (x, y) is the mean, in linear light, of the pixels
Kx ... Kx+K-1 by Ky ... Ky+K-1 of the picture the view gives at K times the
size (its black first row and column included), encoded to 8-bit sRGB,
rounded to nearest.

Movies:
  --movie         draw a zoom movie through the keyframes KEY.png..., PNGs
                  this program wrote, all of one command: frame 1 is the first
                  keyframe's view and the last frame the last one's; between
                  two keyframes the region's width and height change
                  geometrically, the point both show at the same place stays
                  there, and Csample changes geometrically in whole numbers
                  where the two differ. The box, the decimal separator and the
                  size (unless --size is given) are the first keyframe's.
  --frames N      frames in all, one per keyframe at least and at most 1000000;
                  the steps are shared among the spans between keyframes in
                  proportion to the logarithm of each span's zoom
  --out FOLDER    where the frames go (default: the current folder), made if
                  need be: FOLDER/frame-00001.png onwards, each written as any
                  picture is and holding its view. A frame already there with
                  its view, complete, is kept; any other is drawn, so the same
                  command again after a stop draws only what is missing.
  --frame-range A-B
                  draw frames A to B only, the same as in a whole run: for
                  sharing a movie among machines
  --video FILE    also make FILE, .mp4 or .mkv (H.264) or .webm (VP9), yuv420p
                  at a quality that looks lossless, by piping the frames to
                  ffmpeg, which must be on PATH; not with --frame-range
  --fps R         the video's frames a second, 1 to 1000 (default 30)
A path that would give two neighbouring samples of a frame the same
single-precision coordinate is refused before any frame is drawn. On a
terminal, standard error shows the frame under way and the time left.

Exit status:
  0  the picture was written in full (a movie: every frame, and the video)
  1  the file could not be written (no space, no permission, a write error
     on standard output, ffmpeg failing, ...) or the program was interrupted
     by SIGINT or SIGTERM before the file was complete; the message names the
     file and the reason, and no partial file is left behind (a movie keeps
     the frames that are complete)
  2  a text that is not a number, a --from file or keyframe that is not a
     PNG, holds no view or a damaged one, keyframes of two commands, a movie
     path too deep for single precision, a frames folder that cannot be
     written, no ffmpeg for --video, a palette file that cannot be read, is
     empty, too long, not text, malformed or has a number out of range, or
     bad usage; no file is written
A progress bar is shown on standard error when it is a terminal; it reaches
100% only once the file is complete.

Environment:
  OMP_NUM_THREADS   threads that compute the picture (default: one per core)
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

}  // namespace

int main(int argc, char** argv) {
  TInterrupts interrupts;  // first: every later thread inherits its blocked signals
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error like any other
  std::setlocale(LC_ALL, "");

  for (int i = 1; i < argc && std::string_view(argv[i]) != "--" && std::string_view(argv[i]) != "--help"; ++i)
    if (std::string_view(argv[i]) == "--movie") return RunMovie(argc, argv, interrupts);

  bool julia = false, reference = false, optionsEnded = false;
  int width = 0, height = 0;  // 0: the view's
  std::string out = "wirolot.png";
  std::optional<std::string> from, palette;
  std::optional<std::int32_t> period, offset, supersample;
  std::optional<TColor> inside;
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
    } else if (!optionsEnded && (arg == "--size" || arg == "--out" || arg == "--from")) {
      if (i + 1 == argc) return UsageError(std::string(arg) + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--out")
        out = value;
      else if (arg == "--from")
        from = value;
      else if (!ParseSize(value, width, height))
        return UsageError("bad size '" + value + "' (expected WxH, each 1 to 65535, e.g. 487x409)");
    } else if (!optionsEnded && (arg == "--palette" || arg == "--period" || arg == "--offset" ||
                                 arg == "--inside" || arg == "--supersample")) {
      if (i + 1 == argc) return UsageError(std::string(arg) + " needs a value");
      const std::string value = argv[++i];
      const auto bad = [&](const char* expected) {
        return UsageError("bad " + std::string(arg.substr(2)) + " '" + value + "' (expected " + expected + ")");
      };
      if (arg == "--palette") {
        palette = value;
      } else if (arg == "--period") {
        if (!(period = ParseWhole(value, 1, kMaxSteps))) return bad("1 to 2147483647");
      } else if (arg == "--offset") {
        if (!(offset = ParseWhole(value, 0, kMaxSteps))) return bad("0 to 2147483647");
      } else if (arg == "--inside") {
        if (!(inside = ParseRgbHex(value))) return bad("RRGGBB in hexadecimal");
      } else if (!(supersample = ParseWhole(value, 1, kMaxSupersample))) {
        return bad("1 to 8");
      }
    } else if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.starts_with("--")) {
      return UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      texts.emplace_back(arg);
    }
  }
  if (from && (julia || !texts.empty()))
    return UsageError("--from takes the command and the texts from the file; give neither with it");
  if (!texts.empty() && texts.size() != kDefaultTexts.size())
    return UsageError("give all nine parameter texts or none (got " + std::to_string(texts.size()) + ")");

  TView view;
  try {
    if (from) {
      view = ReadView(*from);
    } else {
      view.Command = julia ? TOrbitKind::Julia : TOrbitKind::Mandelbrot;
      std::copy(texts.begin(), texts.end(), view.Texts.begin());
      view.DecimalSeparator = LocaleDecimalSeparator();
    }
  } catch (const EPngViewError& e) {
    return Failure(2, e.what());
  }
  if (width) {
    view.Width = width;
    view.Height = height;
  }
  TColouring& colouring = view.Colouring;
  if (palette) {
    try {
      colouring = {LoadPalette(*palette), 0, 0, 0, colouring.Supersample};
    } catch (const EPaletteError& e) {
      return Failure(2, e.what());
    }
  }
  if (colouring.Palette.empty() && (period || offset || inside))
    return UsageError("--period, --offset and --inside need a palette other than counts");
  colouring.Period = period.value_or(colouring.Period);
  colouring.Offset = offset.value_or(colouring.Offset);
  colouring.Inside = inside.value_or(colouring.Inside);
  colouring.Supersample = supersample.value_or(colouring.Supersample);
  TRenderParams params;
  try {
    params = ConvertTexts(view.Texts, view.DecimalSeparator);
  } catch (const EConvertError& e) {
    return Failure(2, e.what());
  }
  if (const std::string problem = ViewProblem(view); !problem.empty())
    return Failure(2, "cannot store the view: " + problem);

  const TEngine engine = reference ? TEngine::Reference : TEngine::Fast;
  TTerminalProgress progress(isatty(STDERR_FILENO));
  bool written = false;
  try {
    written = WritePicture(view, params, out, engine, interrupts, progress);
  } catch (const std::exception& e) {
    if (!interrupts.Token().stop_requested()) {
      progress.End();
      return Failure(1, e.what());
    }
  }
  if (!written) {
    progress.End();
    return Failure(1, "interrupted; '" + (out == "-" ? std::string("standard output") : out) + "' not written");
  }
  progress.Complete();
  return 0;
}
