#include "PngView.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace wirolot {

namespace {

// Every key of a stored view, by position: the nine texts' in their order,
// then these; documented in wirolot-render(1). The colouring's keys are left
// out where they hold the default.
enum : std::size_t {
  kCommandKey = 9, kSeparatorKey, kSizeKey,
  kPaletteKey, kPeriodKey, kOffsetKey, kInsideKey, kSupersampleKey, kKeys
};
constexpr const char* kKeyNames[kKeys] = {
    "Wirolot Region Cremin", "Wirolot Region Cremax", "Wirolot Region Cimmin", "Wirolot Region Cimmax",
    "Wirolot Box Cremin",    "Wirolot Box Cremax",    "Wirolot Box Cimmin",    "Wirolot Box Cimmax",
    "Wirolot Csample",       "Wirolot Command",       "Wirolot Decimal Separator", "Wirolot Size",
    "Wirolot Palette",       "Wirolot Period",        "Wirolot Offset",        "Wirolot Inside",
    "Wirolot Supersample"};

// Limits that a stored view never comes near.
constexpr std::size_t kMaxTextBytes = 4096;
constexpr std::size_t kMaxSeparatorBytes = 16;
// What a file may hold before its image data, in all and per chunk, and how
// many text chunks.
constexpr std::size_t kMaxHeadBytes = 16 << 20;
constexpr std::size_t kMaxChunkBytes = 1 << 20;
constexpr int kMaxTextChunks = 100;

// UTF-8 without control characters other than tab.
bool IsPlainUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = text[i];
    if (lead < 0x80) {
      if ((lead < 0x20 && lead != '\t') || lead == 0x7F) return false;
      ++i;
      continue;
    }
    // Lengths 2 to 4 with their least code point, excluding surrogates.
    const int length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                         : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t code = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      const unsigned char next = text[i + k];
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF) || (code >= 0x80 && code < 0xA0))
      return false;
    i += length;
  }
  return true;
}

std::string SizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

using TValues = std::array<const std::string*, kKeys>;  // null where a key is absent

// Reads the values of the colouring's chunks into `c`; false for a value not
// written as ViewChunks writes it.
bool ParseColouring(const TValues& values, TColouring& c) {
  if (const std::string* palette = values[kPaletteKey]) {
    for (std::size_t at = 0; at <= palette->size(); at += 7) {
      const auto colour = ParseRgbHex(std::string_view(*palette).substr(at, 6));
      if (c.Palette.size() == kMaxPaletteColours || !colour || (at + 6 < palette->size() && (*palette)[at + 6] != ' '))
        return false;
      c.Palette.push_back(*colour);
    }
  }
  const auto period = values[kPeriodKey] ? ParseWhole(*values[kPeriodKey], 1, kMaxSteps) : 0;
  const auto offset = values[kOffsetKey] ? ParseWhole(*values[kOffsetKey], 0, kMaxSteps) : 0;
  const auto inside = values[kInsideKey] ? ParseRgbHex(*values[kInsideKey]) : 0;
  const auto k = values[kSupersampleKey] ? ParseWhole(*values[kSupersampleKey], 1, kMaxSupersample) : 1;
  if (!period || !offset || !inside || !k) return false;
  c.Period = *period;
  c.Offset = *offset;
  c.Inside = *inside;
  c.Supersample = *k;
  return true;
}

// The view in a file's text chunks, checked as a stored view must be.
TView ViewOf(const std::vector<TPngText>& chunks, const std::string& name) {
  const auto refuse = [&](const std::string& why) { return EPngViewError("'" + name + "': " + why); };
  TValues values{};
  for (const TPngText& chunk : chunks)
    for (std::size_t k = 0; k < kKeys; ++k)
      if (chunk.Key == kKeyNames[k]) {
        if (values[k]) throw refuse("'" + chunk.Key + "' appears twice");
        values[k] = &chunk.Value;
      }
  if (std::ranges::count(values, nullptr) == std::ptrdiff_t(kKeys)) throw refuse("holds no Wirolot view");
  for (std::size_t k = 0; k < kPaletteKey; ++k)
    if (!values[k]) throw refuse("the view lacks '" + std::string(kKeyNames[k]) + "'");

  TView view;
  for (std::size_t t = 0; t < view.Texts.size(); ++t) view.Texts[t] = *values[t];
  if (*values[kCommandKey] == CommandName(TOrbitKind::Julia))
    view.Command = TOrbitKind::Julia;
  else if (*values[kCommandKey] != CommandName(TOrbitKind::Mandelbrot))
    throw refuse("'" + std::string(kKeyNames[kCommandKey]) + "' is neither Mandelbrot nor Julia");
  view.DecimalSeparator = *values[kSeparatorKey];
  if (!ParseSize(*values[kSizeKey], view.Width, view.Height))
    throw refuse("'" + std::string(kKeyNames[kSizeKey]) + "' is not WxH with sides 1 to " + std::to_string(kMaxSide));
  if (!ParseColouring(values, view.Colouring)) throw refuse("the colouring chunks are damaged");
  if (const std::string problem = ViewProblem(view); !problem.empty()) throw refuse(problem);
  return view;
}

// Where the bytes come from: a file or memory.
struct TSource {
  std::FILE* File = nullptr;
  std::span<const std::uint8_t> Memory;
  std::size_t Consumed = 0;
  int Error = 0;  // errno of a failed read
  char Message[256] = "";
};

// Up to `size` bytes; fewer at the end or on a read error.
std::size_t Take(TSource& source, std::uint8_t* out, std::size_t size) {
  std::size_t got = 0;
  if (source.File) {
    got = std::fread(out, 1, size, source.File);
    if (got < size && std::ferror(source.File)) source.Error = errno ? errno : EIO;
  } else if (source.Consumed < source.Memory.size()) {
    got = std::min(size, source.Memory.size() - source.Consumed);
    std::memcpy(out, source.Memory.data() + source.Consumed, got);
  }
  source.Consumed += got;
  return got;
}

void OnReadError(png_structp png, png_const_charp message) {
  TSource* source = static_cast<TSource*>(png_get_error_ptr(png));
  std::snprintf(source->Message, sizeof source->Message, "%s", message);
  png_longjmp(png, 1);
}

void OnReadWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, std::size_t size) {
  TSource& source = *static_cast<TSource*>(png_get_io_ptr(png));
  if (size > kMaxHeadBytes - source.Consumed) png_error(png, "too much data before the image");
  if (Take(source, out, size) < size) png_error(png, source.Error ? "read error" : "the file ends early");
}

// Only trivially destructible locals between setjmp and the last libpng call
// that may fail: libpng leaves through longjmp.
TView ReadViewFrom(TSource& source, const std::string& name) {
  png_byte signature[8];
  const bool isPng = Take(source, signature, 8) == 8 && png_sig_cmp(signature, 0, 8) == 0;
  if (source.Error) throw EPngViewError("cannot read '" + name + "': " + std::strerror(source.Error));
  if (!isPng) throw EPngViewError("'" + name + "' is not a PNG file");

  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnReadError, OnReadWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    throw std::bad_alloc();
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (source.Error) throw EPngViewError("cannot read '" + name + "': " + std::strerror(source.Error));
    throw EPngViewError("'" + name + "': damaged PNG (" + source.Message + ")");
  }
  png_set_read_fn(png, &source, ReadBytes);
  png_set_sig_bytes(png, 8);
  // Only the text chunks matter: the others, but for the critical ones, are
  // skipped, their checksums still checked.
  static constexpr png_byte kTextChunkNames[] = "tEXt\0zTXt\0iTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTextChunkNames, 3);
  png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
  png_set_benign_errors(png, 0);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxTextChunks + 2);  // libpng refuses the chunk that brings it down to 1
  png_read_info(png, info);

  png_textp texts = nullptr;
  const int count = png_get_text(png, info, &texts, nullptr);
  std::vector<TPngText> chunks;
  for (int i = 0; i < count; ++i) {
    const bool utf8 = texts[i].compression >= PNG_ITXT_COMPRESSION_NONE;
    chunks.push_back({texts[i].key, std::string(texts[i].text, utf8 ? texts[i].itxt_length : texts[i].text_length),
                      utf8});
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return ViewOf(chunks, name);
}

}  // namespace

bool ParseSize(std::string_view text, int& width, int& height) {
  const auto side = [](std::string_view digits, int& value) {
    unsigned n = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, n);
    if (digits.empty() || error != std::errc() || stop != end || n < 1 || n > unsigned(kMaxSide)) return false;
    value = int(n);
    return true;
  };
  const std::size_t x = text.find('x');
  int w, h;
  if (x == std::string_view::npos || !side(text.substr(0, x), w) || !side(text.substr(x + 1), h)) return false;
  width = w;
  height = h;
  return true;
}

std::string ViewProblem(const TView& view) {
  for (std::size_t t = 0; t < view.Texts.size(); ++t)
    if (view.Texts[t].size() > kMaxTextBytes || !IsPlainUtf8(view.Texts[t]))
      return "text " + std::to_string(t + 1) + " is not UTF-8 text of at most " + std::to_string(kMaxTextBytes) +
             " bytes without control characters";
  if (view.DecimalSeparator.empty() || view.DecimalSeparator.size() > kMaxSeparatorBytes ||
      !IsPlainUtf8(view.DecimalSeparator))
    return "the decimal separator is not UTF-8 text of 1 to " + std::to_string(kMaxSeparatorBytes) + " bytes";
  if (view.Width < 1 || view.Width > kMaxSide || view.Height < 1 || view.Height > kMaxSide)
    return "the size " + SizeText(view.Width, view.Height) + " is not 1 to " + std::to_string(kMaxSide) +
           " pixels each way";
  return ColouringProblem(view.Colouring);
}

std::vector<TPngText> ViewChunks(const TView& view) {
  std::vector<TPngText> chunks = {
      {"Software", "Wirolot " WIROLOT_VERSION, false},
      {kKeyNames[kCommandKey], CommandName(view.Command), false},
  };
  for (std::size_t t = 0; t < view.Texts.size(); ++t) chunks.push_back({kKeyNames[t], view.Texts[t], true});
  chunks.push_back({kKeyNames[kSeparatorKey], view.DecimalSeparator, true});
  chunks.push_back({kKeyNames[kSizeKey], SizeText(view.Width, view.Height), false});
  const TColouring& c = view.Colouring;
  std::string palette;
  for (TColor colour : c.Palette) palette += (palette.empty() ? "" : " ") + RgbHex(colour);
  const std::pair<bool, std::string> colouring[kKeys - kPaletteKey] = {
      {!c.Palette.empty(), palette},           {c.Period != 0, std::to_string(c.Period)},
      {c.Offset != 0, std::to_string(c.Offset)}, {c.Inside != 0, RgbHex(c.Inside)},
      {c.Supersample != 1, std::to_string(c.Supersample)}};
  for (std::size_t k = 0; k < std::size(colouring); ++k)
    if (colouring[k].first) chunks.push_back({kKeyNames[kPaletteKey + k], colouring[k].second, false});
  return chunks;
}

TView ReadView(const std::string& file) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> opened(std::fopen(file.c_str(), "rb"), std::fclose);
  if (!opened) throw EPngViewError("cannot read '" + file + "': " + std::strerror(errno));
  TSource source;
  source.File = opened.get();
  return ReadViewFrom(source, file);
}

TView ReadView(std::span<const std::uint8_t> png, const std::string& name) {
  TSource source;
  source.Memory = png;
  return ReadViewFrom(source, name);
}

}  // namespace wirolot
