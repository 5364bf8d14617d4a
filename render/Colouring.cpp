#include "Colouring.h"

#include <mpfr.h>

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstdio>

namespace wirolot {

namespace {

constexpr TColor Hex(std::uint32_t rrggbb) { return RGB(rrggbb >> 16, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF); }

// A cycle this short has all its colours made once.
constexpr std::int64_t kMaxTabulated = 1 << 16;

// ((c / 255 + 0.055) / 1.055)^2.4, or c / 255 / 12.92 at the dark end, for a
// code c that need not be whole; the constants exact, in MPFR at 128 bits,
// so that every machine makes the same doubles.
double DecodedExactly(double code) {
  mpfr_t x, a, b;
  mpfr_inits2(128, x, a, b, static_cast<mpfr_ptr>(nullptr));
  const auto set = [](mpfr_t to, const char* decimal) { mpfr_set_str(to, decimal, 10, MPFR_RNDN); };
  mpfr_set_d(x, code, MPFR_RNDN);
  mpfr_div_ui(x, x, 255, MPFR_RNDN);
  set(a, "0.04045");
  if (mpfr_cmp(x, a) <= 0) {
    set(a, "12.92");
    mpfr_div(x, x, a, MPFR_RNDN);
  } else {
    set(a, "0.055");
    set(b, "1.055");
    mpfr_add(x, x, a, MPFR_RNDN);
    mpfr_div(x, x, b, MPFR_RNDN);
    set(a, "2.4");
    mpfr_pow(x, x, a, MPFR_RNDN);
  }
  const double value = mpfr_get_d(x, MPFR_RNDN);
  mpfr_clears(x, a, b, static_cast<mpfr_ptr>(nullptr));
  return value;
}

}  // namespace

const TLinearLight::TTables& TLinearLight::Tables() {
  static const TTables tables = [] {
    TTables t;
    for (int c = 0; c < 256; ++c) t.Linear[c] = DecodedExactly(c);
    for (int c = 0; c < 255; ++c) t.Midpoints[c] = DecodedExactly(c + 0.5);
    return t;
  }();
  return tables;
}

std::uint8_t TLinearLight::Encode(double linear) {
  const auto& m = Tables().Midpoints;
  return std::uint8_t(std::upper_bound(m.begin(), m.end(), linear) - m.begin());
}

std::string RgbHex(TColor c) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x%02x%02x", RedOf(c), GreenOf(c), BlueOf(c));
  return text;
}

std::optional<TColor> ParseRgbHex(std::string_view text) {
  std::uint32_t v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
  if (text.size() != 6 || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return Hex(v);
}

std::optional<std::int32_t> ParseWhole(std::string_view text, std::int32_t least, std::int32_t most) {
  std::int32_t v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || text[0] == '-' || error != std::errc() || end != text.data() + text.size() || v < least ||
      v > most)
    return std::nullopt;
  return v;
}

const std::vector<TBuiltInPalette>& BuiltInPalettes() {
  static const std::vector<TBuiltInPalette> palettes = {
      {"counts", {}},
      {"fire", {Hex(0x000000), Hex(0x3c0500), Hex(0x8c1400), Hex(0xd23c00), Hex(0xff8200), Hex(0xffc828),
                Hex(0xfff5b4), Hex(0xffc828), Hex(0xd23c00), Hex(0x5a0a00)}},
      {"ice", {Hex(0x000814), Hex(0x002850), Hex(0x00589a), Hex(0x2896d2), Hex(0x8cd2f0), Hex(0xf0fcff),
               Hex(0x8cd2f0), Hex(0x1e6eaa), Hex(0x00204a)}},
      {"grey", {Hex(0x000000), Hex(0xffffff)}},
      {"spectrum", {Hex(0xff0000), Hex(0xffff00), Hex(0x00ff00), Hex(0x00ffff), Hex(0x0000ff), Hex(0xff00ff)}},
  };
  return palettes;
}

std::optional<std::vector<TColor>> BuiltInPalette(std::string_view name) {
  for (const TBuiltInPalette& p : BuiltInPalettes())
    if (name == p.Name) return p.Colours;
  return std::nullopt;
}

std::string ColouringProblem(const TColouring& c) {
  if (c.Palette.size() > kMaxPaletteColours)
    return "the palette has more than " + std::to_string(kMaxPaletteColours) + " colours";
  if (std::ranges::any_of(c.Palette, [](TColor colour) { return colour > 0xFFFFFF; }) || c.Inside > 0xFFFFFF)
    return "a colour is not 24-bit RGB";
  if (c.Period < 0 || c.Offset < 0) return "the period or the offset is negative";
  if (c.Palette.empty() && (c.Period || c.Offset || c.Inside))
    return "the counts' own colours take no period, offset or inside colour";
  if (c.Supersample < 1 || c.Supersample > kMaxSupersample)
    return "supersampling is not 1 to " + std::to_string(kMaxSupersample);
  return "";
}

std::vector<TColor> PaintedColours(const TColouring& colouring, std::int32_t limit) {
  std::vector<TColor> colours;
  for (std::int32_t n = 0; colouring.IsDefault() && limit < 256 && n <= limit; ++n) colours.push_back(ColorOf(n));
  return colours;
}

TColourMap::TColourMap(const TColouring& colouring, std::int32_t limit)
    : palette_(colouring.Palette),
      period_(colouring.Period ? colouring.Period : std::int64_t(palette_.size())),
      offset_(colouring.Offset),
      limit_(limit),
      inside_(colouring.Inside) {
  assert(ColouringProblem(colouring).empty());
  for (TColor c : palette_)
    linear_.push_back({TLinearLight::Decode(RedOf(c)), TLinearLight::Decode(GreenOf(c)), TLinearLight::Decode(BlueOf(c))});
  if (!palette_.empty() && period_ <= kMaxTabulated) {
    cycle_.resize(std::size_t(period_));
    for (std::int64_t k = 0; k < period_; ++k) cycle_[std::size_t(k)] = Round(k);
  }
}

TColor TColourMap::Round(std::int64_t k) const {
  // Position k / period of the way round m colours: between colour i and the
  // next (the last one's next is the first), a fraction f of the way.
  const std::int64_t m = std::int64_t(palette_.size()), scaled = k * m;
  const std::size_t i = std::size_t(scaled / period_), next = (i + 1) % palette_.size();
  const double f = double(scaled % period_) / double(period_);
  if (f == 0) return palette_[i];
  std::uint8_t channels[3];
  for (int c = 0; c < 3; ++c) channels[c] = TLinearLight::Encode(linear_[i][c] + f * (linear_[next][c] - linear_[i][c]));
  return RGB(channels[0], channels[1], channels[2]);
}

TColor TColourMap::operator()(std::int32_t count) const {
  if (palette_.empty()) return ColorOf(count) & 0xFFFFFF;
  if (count == limit_) return inside_;
  const std::int64_t k = ((std::int64_t(count) - 1 + offset_) % period_ + period_) % period_;
  return cycle_.empty() ? Round(k) : cycle_[std::size_t(k)];
}

}  // namespace wirolot
