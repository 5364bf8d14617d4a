#include "PaletteFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>

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
