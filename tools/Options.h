// wirolot-render's command line: what it asks for, read without opening any
// file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Colouring.h"
#include "Engine.h"
#include "Orbits.h"
#include "Types.h"

namespace wirolot {

// What --help shows.
extern const char* const kUsage;

// Bad usage: the program says what is wrong and where to find help, and ends
// with status 2.
class EUsageError : public Exception {
 public:
  using Exception::Exception;
};

// What the command line asks for. Every field has an initializer, so that a
// designated initializer may leave any out without a warning.
struct TOptions {
  bool Help = false;   // nothing else is read after --help
  bool Movie = false;
  TEngine Engine = TEngine::Fast;
  int Width = 0, Height = 0;        // 0: the view's (a movie: the first keyframe's)
  std::string Out = "wirolot.png";  // a movie: the frames' folder, "." by default

  // A picture.
  TOrbitKind Command = TOrbitKind::Mandelbrot;
  TParamTexts Texts = kDefaultTexts;
  std::optional<std::string> From = {}, Palette = {};
  std::optional<std::int32_t> Period = {}, Offset = {}, Supersample = {};
  std::optional<TColor> Inside = {};

  // A movie.
  std::vector<std::string> Keys = {};
  int Frames = 0;
  int First = 1, Last = 0;  // Last 0: the last frame
  std::optional<std::string> Video = {};
  int Fps = 30;

  bool operator==(const TOptions&) const = default;
};

// The options in `args`, the arguments after the program's name. Raises
// EUsageError for the first thing in them that is wrong.
TOptions ParseArguments(std::span<const std::string_view> args);

// The colouring `c` (a stored view's) with the colouring options applied. Raises
// EPaletteError for a palette that cannot be loaded, and EUsageError for a
// period, an offset or an inside colour without a palette.
TColouring ApplyColouring(const TOptions& options, TColouring c);

}  // namespace wirolot
