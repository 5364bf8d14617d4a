#include "Options.h"

#include <algorithm>

#include "MoviePath.h"
#include "PaletteFile.h"
#include "PngView.h"

namespace wirolot {

const char* const kUsage = R"(Usage: wirolot-render [OPTIONS] [T1 ... T9]
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

namespace {

// The arguments in turn, with the values options take.
class TArguments {
 public:
  explicit TArguments(std::span<const std::string_view> args) : args_(args) {}
  bool Done() const { return next_ == args_.size(); }
  std::string_view Next() { return args_[next_++]; }
  // The value that follows `option`.
  std::string Value(std::string_view option) {
    if (Done()) throw EUsageError(std::string(option) + " needs a value");
    return std::string(Next());
  }

 private:
  std::span<const std::string_view> args_;
  std::size_t next_ = 0;
};

// Each Read... takes an option its road knows, with its value, into `o`, and
// returns false for any other.

bool ReadShared(std::string_view option, TArguments& args, TOptions& o) {
  if (option == "--reference") {
    o.Engine = TEngine::Reference;
  } else if (option == "--out") {
    o.Out = args.Value(option);
  } else if (option == "--size") {
    const std::string value = args.Value(option);
    if (!ParseSize(value, o.Width, o.Height))
      throw EUsageError("bad size '" + value + "' (expected WxH, each 1 to 65535, e.g. 487x409)");
  } else {
    return false;
  }
  return true;
}

bool ReadColouring(std::string_view option, TArguments& args, TOptions& o) {
  if (option != "--palette" && option != "--period" && option != "--offset" && option != "--inside" &&
      option != "--supersample")
    return false;
  const std::string value = args.Value(option);
  const auto bad = [&](const char* expected) {
    return EUsageError("bad " + std::string(option.substr(2)) + " '" + value + "' (expected " + expected + ")");
  };
  if (option == "--palette") {
    o.Palette = value;
  } else if (option == "--period") {
    if (!(o.Period = ParseWhole(value, 1, kMaxSteps))) throw bad("1 to 2147483647");
  } else if (option == "--offset") {
    if (!(o.Offset = ParseWhole(value, 0, kMaxSteps))) throw bad("0 to 2147483647");
  } else if (option == "--inside") {
    if (!(o.Inside = ParseRgbHex(value))) throw bad("RRGGBB in hexadecimal");
  } else if (!(o.Supersample = ParseWhole(value, 1, kMaxSupersample))) {
    throw bad("1 to 8");
  }
  return true;
}

bool ReadPicture(std::string_view option, TArguments& args, TOptions& o) {
  if (option == "--help")
    o.Help = true;
  else if (option == "--julia")
    o.Command = TOrbitKind::Julia;
  else if (option == "--from")
    o.From = args.Value(option);
  else
    return ReadColouring(option, args, o);
  return true;
}

bool ReadMovie(std::string_view option, TArguments& args, TOptions& o) {
  if (option == "--julia" || option == "--from")
    throw EUsageError("--movie takes the command and the views from its keyframes; give no " + std::string(option));
  if (option == "--movie") return true;
  if (option == "--video") {
    o.Video = args.Value(option);
    return true;
  }
  if (option != "--frames" && option != "--fps" && option != "--frame-range") return false;
  const std::string value = args.Value(option);
  if (option == "--frames") {
    const auto frames = ParseWhole(value, 1, kMaxFrames);
    if (!frames)
      throw EUsageError("bad frame count '" + value + "' (expected a whole number up to " +
                        std::to_string(kMaxFrames) + ")");
    o.Frames = *frames;
  } else if (option == "--fps") {
    const auto fps = ParseWhole(value, 1, 1000);
    if (!fps) throw EUsageError("bad frame rate '" + value + "' (expected 1 to 1000)");
    o.Fps = *fps;
  } else {
    const std::size_t dash = value.find('-');
    const auto first = dash == std::string::npos ? std::nullopt : ParseWhole(value.substr(0, dash), 1, kMaxFrames);
    const auto last = first ? ParseWhole(value.substr(dash + 1), *first, kMaxFrames) : std::nullopt;
    if (!last) throw EUsageError("bad frame range '" + value + "' (expected A-B, 1 <= A <= B, e.g. 1-100)");
    o.First = *first;
    o.Last = *last;
  }
  return true;
}

// What cannot be seen one argument at a time; `loose` are the arguments that
// are no options: a picture's texts or a movie's keyframes.
void Complete(TOptions& o, std::vector<std::string>&& loose) {
  const std::string got = " (got " + std::to_string(loose.size()) + ")";
  if (o.Movie) {
    if (loose.size() < 2) throw EUsageError("--movie needs two keyframes or more" + got);
    if (o.Frames == 0) throw EUsageError("--movie needs --frames N");
    if (o.Video && o.Last > 0) throw EUsageError("--video makes the whole movie; give it without --frame-range");
    o.Keys = std::move(loose);
    return;
  }
  if (o.From && (o.Command == TOrbitKind::Julia || !loose.empty()))
    throw EUsageError("--from takes the command and the texts from the file; give neither with it");
  if (!loose.empty() && loose.size() != o.Texts.size())
    throw EUsageError("give all nine parameter texts or none" + got);
  std::ranges::move(loose, o.Texts.begin());
}

}  // namespace

TOptions ParseArguments(std::span<const std::string_view> args) {
  TOptions o;
  // A movie if --movie comes before any "--" or --help.
  const auto optionsEnd = std::ranges::find_if(args, [](std::string_view a) { return a == "--" || a == "--help"; });
  o.Movie = std::find(args.begin(), optionsEnd, "--movie") != optionsEnd;
  if (o.Movie) o.Out = ".";
  std::vector<std::string> loose;
  bool optionsEnded = false;
  for (TArguments a(args); !a.Done();) {
    const std::string_view arg = a.Next();
    if (optionsEnded || !arg.starts_with("--"))
      loose.emplace_back(arg);
    else if (arg == "--")
      optionsEnded = true;
    else if (!ReadShared(arg, a, o) && !(o.Movie ? ReadMovie(arg, a, o) : ReadPicture(arg, a, o)))
      throw EUsageError("unknown option '" + std::string(arg) + "'");
    if (o.Help) return {.Help = true};
  }
  Complete(o, std::move(loose));
  return o;
}

TColouring ApplyColouring(const TOptions& options, TColouring c) {
  if (options.Palette) c = {LoadPalette(*options.Palette), 0, 0, 0, c.Supersample};
  if (c.Palette.empty() && (options.Period || options.Offset || options.Inside))
    throw EUsageError("--period, --offset and --inside need a palette other than counts");
  c.Period = options.Period.value_or(c.Period);
  c.Offset = options.Offset.value_or(c.Offset);
  c.Inside = options.Inside.value_or(c.Inside);
  c.Supersample = options.Supersample.value_or(c.Supersample);
  return c;
}

}  // namespace wirolot
