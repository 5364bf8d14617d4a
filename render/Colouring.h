// Colours from step counts: the palettes, the mapping from a count to a
// colour, and the sRGB transfer curve that interpolation and supersampling
// work in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Orbits.h"
#include "Types.h"

namespace wirolot {

// Colours of one palette at most, and the supersampling factors.
constexpr std::size_t kMaxPaletteColours = 4096;
constexpr int kMaxSupersample = 8;

// How a picture turns its counts into colours, and how many samples each way
// make one pixel.
struct TColouring {
  // Empty: each count's own colour, ColorOf(n), inside samples included.
  std::vector<TColor> Palette;
  std::int32_t Period = 0;  // counts per cycle; 0: the palette's length
  std::int32_t Offset = 0;
  TColor Inside = 0;        // samples whose count is the step limit
  int Supersample = 1;      // K: each pixel the mean of K x K samples

  bool operator==(const TColouring&) const = default;
  // The picture as the commands paint it: counts' colours, one sample a pixel.
  bool IsDefault() const { return *this == TColouring{}; }
};

// Empty if the colouring can be used; otherwise what is wrong with it.
std::string ColouringProblem(const TColouring& colouring);

// A colour written RRGGBB in hexadecimal, and read back (either case).
std::string RgbHex(TColor colour);
std::optional<TColor> ParseRgbHex(std::string_view text);
// Plain decimal digits for a number from `least` to `most`.
std::optional<std::int32_t> ParseWhole(std::string_view text, std::int32_t least, std::int32_t most);

// The built-in palettes by name; "counts" is the counts' own colour (empty).
struct TBuiltInPalette {
  const char* Name;
  std::vector<TColor> Colours;
};
const std::vector<TBuiltInPalette>& BuiltInPalettes();
std::optional<std::vector<TColor>> BuiltInPalette(std::string_view name);

// Every colour a pass with this colouring and step limit paints, black
// included, where it paints in its counts' own colours and they are at most
// 256 (counts 0 to `limit`, entry n ColorOf(n)); otherwise empty.
std::vector<TColor> PaintedColours(const TColouring& colouring, std::int32_t limit);

// The sRGB transfer curve (IEC 61966-2-1) of 8-bit channels.
class TLinearLight {
 public:
  // A channel's linear value, 0 to 1.
  static double Decode(std::uint8_t channel) { return Tables().Linear[channel]; }
  // The 8-bit channel nearest in encoded value to a linear value (a midpoint
  // rounds up).
  static std::uint8_t Encode(double linear);

 private:
  struct TTables {
    std::array<double, 256> Linear;
    std::array<double, 255> Midpoints;  // linear value of the encoded (k + 1/2) / 255
  };
  static const TTables& Tables();
};

// The colouring of one pass: counts from 1 to `limit` to colours.
class TColourMap {
 public:
  TColourMap(const TColouring& colouring, std::int32_t limit);
  // A count's colour, 0x00BBGGRR. A count equal to the limit is inside;
  // an escaping count n takes the palette at ((n - 1 + offset) mod period) /
  // period of the way round its cycle, interpolated in linear light.
  TColor operator()(std::int32_t count) const;

 private:
  TColor Round(std::int64_t k) const;  // the colour at k / period of the cycle

  std::vector<TColor> palette_;
  std::vector<std::array<double, 3>> linear_;
  std::int64_t period_, offset_;
  std::int32_t limit_;
  TColor inside_;
  std::vector<TColor> cycle_;  // every colour of a short cycle, by k
};

}  // namespace wirolot
