#include "PaletteFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include "Colouring.h"

namespace wirolot {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Reads the next blank-separated word of `line`, leaving the rest.
std::string_view Word(std::string_view& line) {
  line = Trimmed(line);
  std::size_t end = 0;
  while (end < line.size() && !IsBlank(line[end])) ++end;
  const std::string_view word = line.substr(0, end);
  line.remove_prefix(end);
  return word;
}

// "R G B" at the start of a line, each 0 to 255 in decimal digits; what
// follows after a blank is a name or comment.
TColor ColourOf(std::string_view line, std::size_t number) {
  const auto refuse = [number](const std::string& why) {
    return EPaletteError("line " + std::to_string(number) + ": " + why);
  };
  std::uint8_t rgb[3];
  for (std::uint8_t& channel : rgb) {
    const std::string_view word = Word(line);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (word.empty() || end != word.data() + word.size() || error == std::errc::invalid_argument)
      throw refuse("expected three numbers R G B, found '" + std::string(word.substr(0, 20)) + "'");
    if (error == std::errc::result_out_of_range || value > 255)
      throw refuse(std::string(word.substr(0, 20)) + " is not 0 to 255");
    channel = std::uint8_t(value);
  }
  return RGB(rgb[0], rgb[1], rgb[2]);
}

// GIMP gradient segments: [Left, Right] of 0 to 1 with a midpoint, colours
// at either end, how the colour moves across and in which colour model.
struct TSegment {
  double Left, Middle, Right;
  double From[3], To[3];
  int Blend, Model;  // Blend: linear, curved, sine, sphere up, sphere down, step; Model: RGB, HSV ccw, HSV cw
};

// Where a point `at` of 0 to 1 across a segment lies between its colours, 0 to 1.
double Blended(const TSegment& s, double at) {
  const double middle = s.Right > s.Left ? (s.Middle - s.Left) / (s.Right - s.Left) : 0.5;
  const double linear = at <= middle ? (middle > 0 ? 0.5 * at / middle : 0)
                                     : (middle < 1 ? 0.5 + 0.5 * (at - middle) / (1 - middle) : 1);
  switch (s.Blend) {
    case 1: return middle <= 0 ? 1 : middle >= 1 ? 0 : std::pow(at, std::log(0.5) / std::log(middle));
    case 2: return (std::sin(-std::numbers::pi / 2 + std::numbers::pi * linear) + 1) / 2;
    case 3: return std::sqrt(1 - (linear - 1) * (linear - 1));
    case 4: return 1 - std::sqrt(1 - linear * linear);
    case 5: return at >= middle ? 1 : 0;
    default: return linear;
  }
}

void ToHsv(const double rgb[3], double hsv[3]) {
  const double high = std::max({rgb[0], rgb[1], rgb[2]}), low = std::min({rgb[0], rgb[1], rgb[2]}), d = high - low;
  double h = 0;
  if (d > 0)
    h = high == rgb[0]   ? std::fmod((rgb[1] - rgb[2]) / d + 6, 6)
        : high == rgb[1] ? (rgb[2] - rgb[0]) / d + 2
                         : (rgb[0] - rgb[1]) / d + 4;
  hsv[0] = h / 6;
  hsv[1] = high > 0 ? d / high : 0;
  hsv[2] = high;
}

void ToRgb(const double hsv[3], double rgb[3]) {
  const double h = std::fmod(hsv[0], 1.0) * 6, v = hsv[2], c = v * hsv[1];
  const double x = c * (1 - std::abs(std::fmod(h, 2) - 1));
  const int sector = std::min(int(h), 5);
  const double parts[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  for (int k = 0; k < 3; ++k) rgb[k] = parts[sector][k] + (v - c);
}

// The gradient sampled at 256 points spread evenly over it, the first at 0.
std::vector<TColor> SampledGradient(const std::vector<TSegment>& segments) {
  std::vector<TColor> colours;
  for (int i = 0; i < 256; ++i) {
    const double t = i / 256.0;
    const TSegment& s =
        *std::find_if(segments.begin(), segments.end() - 1, [t](const TSegment& g) { return t <= g.Right; });
    const double f = Blended(s, s.Right > s.Left ? std::clamp((t - s.Left) / (s.Right - s.Left), 0.0, 1.0) : 0.5);
    double rgb[3];
    if (s.Model == 0) {
      for (int k = 0; k < 3; ++k) rgb[k] = s.From[k] + f * (s.To[k] - s.From[k]);
    } else {
      double a[3], b[3], hsv[3];
      ToHsv(s.From, a);
      ToHsv(s.To, b);
      // Counter-clockwise: hue up; clockwise: hue down.
      if (s.Model == 1 && b[0] < a[0]) b[0] += 1;
      if (s.Model == 2 && b[0] > a[0]) b[0] -= 1;
      for (int k = 0; k < 3; ++k) hsv[k] = a[k] + f * (b[k] - a[k]);
      hsv[0] = hsv[0] < 0 ? hsv[0] + 1 : hsv[0];
      ToRgb(hsv, rgb);
    }
    std::uint8_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = std::uint8_t(std::lround(std::clamp(rgb[k], 0.0, 1.0) * 255));
    colours.push_back(RGB(c[0], c[1], c[2]));
  }
  return colours;
}

// A GIMP gradient: "GIMP Gradient", an optional name, the number of
// segments, and a line per segment: left, middle, right, the colours at
// either end as R G B A of 0 to 1, the blending and the colour model, and
// optionally two more numbers GIMP keeps for itself.
std::vector<TColor> ParseGradient(const std::vector<std::string_view>& lines) {
  std::size_t i = 1;
  if (i < lines.size() && Trimmed(lines[i]).starts_with("Name:")) ++i;
  const auto refuse = [&i](const std::string& why) {
    return EPaletteError("line " + std::to_string(i + 1) + ": " + why);
  };
  unsigned count = 0;
  const std::string_view head = i < lines.size() ? Trimmed(lines[i]) : std::string_view();
  const auto [end, error] = std::from_chars(head.data(), head.data() + head.size(), count);
  if (head.empty() || error != std::errc() || end != head.data() + head.size() || count < 1 || count > 256)
    throw refuse("expected the number of segments, 1 to 256");
  std::vector<TSegment> segments;
  while (segments.size() < count) {
    if (++i >= lines.size()) throw refuse("expected a segment: the gradient ends early");
    std::string_view line = lines[i];
    double v[15];
    int n = 0;
    for (std::string_view word; !(word = Word(line)).empty(); ++n) {
      if (n == 15) throw refuse("more than 15 numbers");
      const auto [stop, bad] = std::from_chars(word.data(), word.data() + word.size(), v[n]);
      if (bad != std::errc() || stop != word.data() + word.size() || !std::isfinite(v[n]))
        throw refuse("'" + std::string(word.substr(0, 20)) + "' is not a number");
    }
    if (n != 13 && n != 15) throw refuse("expected 13 or 15 numbers, found " + std::to_string(n));
    const auto whole = [](double x, int most) { return x >= 0 && x <= most && x == std::floor(x); };
    if (!whole(v[11], 5) || !whole(v[12], 2)) throw refuse("unknown blending or colour model");
    TSegment s{v[0], v[1], v[2], {v[3], v[4], v[5]}, {v[7], v[8], v[9]}, int(v[11]), int(v[12])};
    const double previous = segments.empty() ? 0 : segments.back().Right;
    if (s.Left != previous || !(s.Left <= s.Middle && s.Middle <= s.Right && s.Right <= 1))
      throw refuse("the segment does not follow the one before within 0 to 1");
    if (std::any_of(v + 3, v + 11, [](double c) { return c < 0 || c > 1; }))
      throw refuse("a colour is not 0 to 1");
    segments.push_back(s);
  }
  if (segments.back().Right != 1) throw refuse("the last segment does not end at 1");
  for (++i; i < lines.size(); ++i)
    if (!Trimmed(lines[i]).empty()) throw refuse("more lines than segments");
  return SampledGradient(segments);
}

}  // namespace

std::vector<TColor> ParsePalette(std::string_view text) {
  if (text.size() > kMaxPaletteFileBytes)
    throw EPaletteError("longer than " + std::to_string(kMaxPaletteFileBytes) + " bytes");
  for (char c : text)
    if ((unsigned char)c < 0x20 && c != '\t' && c != '\n' && c != '\r') throw EPaletteError("not a text file");
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (!lines.empty() && Trimmed(lines[0]) == "GIMP Gradient") return ParseGradient(lines);
  const bool gimp = !lines.empty() && Trimmed(lines[0]) == "GIMP Palette";
  const std::size_t most = gimp ? kMaxPaletteColours : kMaxMapColours;
  std::vector<TColor> colours;
  for (std::size_t i = gimp ? 1 : 0; i < lines.size(); ++i) {
    const std::string_view line = Trimmed(lines[i]);
    // GIMP's header lines and comments.
    if (line.empty() || (gimp && (line[0] == '#' || line.starts_with("Name:") || line.starts_with("Columns:"))))
      continue;
    if (colours.size() == most)
      throw EPaletteError("more than " + std::to_string(most) + " colours" + (gimp ? "" : " in a map"));
    colours.push_back(ColourOf(line, i + 1));
  }
  if (colours.empty()) throw EPaletteError("holds no colours");
  return colours;
}

std::vector<TColor> LoadPalette(const std::string& nameOrFile) {
  if (const auto builtIn = BuiltInPalette(nameOrFile)) return *builtIn;
  std::ifstream in(nameOrFile, std::ios::binary);
  std::string names;
  for (const TBuiltInPalette& p : BuiltInPalettes()) names += std::string(names.empty() ? "" : ", ") + p.Name;
  if (!in)
    throw EPaletteError("no palette '" + nameOrFile + "': not one of " + names + ", and the file cannot be read (" +
                        std::strerror(errno) + ")");
  std::string text;
  text.resize(kMaxPaletteFileBytes + 1);
  in.read(text.data(), std::streamsize(text.size()));
  if (in.bad()) throw EPaletteError("cannot read palette '" + nameOrFile + "'");
  text.resize(std::size_t(in.gcount()));
  try {
    return ParsePalette(text);
  } catch (const EPaletteError& e) {
    throw EPaletteError("palette '" + nameOrFile + "': " + e.what());
  }
}

}  // namespace wirolot
