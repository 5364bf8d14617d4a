// Basic types shared by the renderer and its callers.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace wirolot {

// Colour value laid out 0x00BBGGRR (red in the lowest byte).
using TColor = std::uint32_t;

constexpr std::uint8_t RedOf(TColor c) { return c & 0xFF; }
constexpr std::uint8_t GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr std::uint8_t BlueOf(TColor c) { return (c >> 16) & 0xFF; }
constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return TColor(r) | TColor(g) << 8 | TColor(b) << 16;
}

// A rectangle of the complex plane, bounds in single precision.
struct TComplexRect {
  float Cremin;
  float Cremax;
  float Cimmin;
  float Cimmax;
};

// The nine numbers a render pass works from.
struct TRenderParams {
  TComplexRect Region;  // sampled area
  TComplexRect Box;     // an orbit goes on only while strictly inside
  float Csample;        // iteration limit, not necessarily whole
};

// The nine parameter texts in parameter order, addressed by TextAt.
using TParamTexts = std::array<std::string, 9>;
namespace TextAt {
enum : std::size_t { Cremin, Cremax, Cimmin, Cimmax, BoxCremin, BoxCremax, BoxCimmin, BoxCimmax, Csample };
}

// How a pass ended: every row painted, or stopped on request with the rows
// painted so far, a prefix of the picture.
enum class TPassEnd { Complete, Stopped };

inline const TParamTexts kDefaultTexts = {"-3", "3", "-2", "2", "-3", "3", "-2", "2", "15"};

// Root of the program's exception family.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A text that does not convert to a number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace wirolot
