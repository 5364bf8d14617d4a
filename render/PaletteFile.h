// Palettes from files in the formats people have: Fractint's map of "R G B"
// lines, GIMP's palette (.gpl) and GIMP's gradient (.ggr), taken at 256
// points.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Types.h"

namespace wirolot {

// A palette that cannot be read; the message says where and why.
class EPaletteError : public Exception {
 public:
  using Exception::Exception;
};

// Colours of a map: at most this many lines.
constexpr std::size_t kMaxMapColours = 256;
// Bytes of a palette file at most.
constexpr std::size_t kMaxPaletteFileBytes = 1 << 20;

// The colours of a palette file's text: a GIMP palette if its first line is
// "GIMP Palette", a GIMP gradient if it is "GIMP Gradient", otherwise a map.
// Raises EPaletteError for text that is none of them, holds no colour or
// too many, or a number out of its range.
std::vector<TColor> ParsePalette(std::string_view text);

// A built-in palette by name ("counts" is empty), or else the palette in the
// file of that name; messages name the file.
std::vector<TColor> LoadPalette(const std::string& nameOrFile);

}  // namespace wirolot
