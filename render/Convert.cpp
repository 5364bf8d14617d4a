#include "Convert.h"

#include <mpfr.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>

namespace wirolot {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text as it appears in a message: at most 40 characters, control
// characters shown as '?'.
std::string Quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string shown;
  for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
    const unsigned char c = text[i];
    shown += (c < 0x20 || c == 0x7F) ? '?' : char(c);
  }
  if (text.size() > kMax) shown += "...";
  return "'" + shown + "'";
}

[[noreturn]] void NotANumber(std::string_view text) {
  throw EConvertError(Quote(text) + " is not a valid floating point value");
}

[[noreturn]] void OutOfRange(std::string_view text) {
  throw EConvertError(Quote(text) + " is out of the floating point range");
}

}  // namespace

std::string LocaleDecimalSeparator() {
  const lconv* conv = std::localeconv();
  const char* sep = conv ? conv->decimal_point : nullptr;
  return sep && *sep ? sep : ".";
}

float StrToSingle(std::string_view text, std::string_view sep) {
  std::size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;

  // Sign, digits, and the decimal exponent of the last digit.
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  digits.reserve(end - i);
  std::int64_t exponent = 0;
  while (i < end && IsDigit(text[i])) digits += text[i++];
  if (!sep.empty() && text.substr(i, sep.size()) == sep) {
    i += sep.size();
    while (i < end && IsDigit(text[i])) digits += text[i++], --exponent;
  }
  if (digits.empty()) NotANumber(text);
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool below = i < end && text[i] == '-';
    if (i < end && (text[i] == '+' || text[i] == '-')) ++i;
    // Held at 10^15: beyond 10^40 every nonzero value overflows, below
    // 10^-60 every one rounds to zero, whatever its digits.
    std::int64_t written = 0;
    const std::size_t first = i;
    while (i < end && IsDigit(text[i])) written = std::min<std::int64_t>(written * 10 + (text[i++] - '0'), 1'000'000'000'000'000);
    if (i == first) NotANumber(text);
    exponent += below ? -written : written;
  }
  if (i != end) NotANumber(text);

  const std::size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) return negative ? -0.0f : 0.0f;
  const std::size_t last = digits.find_last_not_of('0');
  exponent += std::int64_t(digits.size() - 1 - last);
  digits.resize(last + 1);
  digits.erase(0, lead);
  const std::int64_t magnitude = exponent + std::int64_t(digits.size()) - 1;  // of the leading digit
  if (magnitude > 39) OutOfRange(text);
  if (magnitude < -60) return negative ? -0.0f : 0.0f;

  // Rounded to extended, then to single, as the x87 does. MPFR reads the
  // locale's decimal point, so the text it reads has none.
  digits += 'e' + std::to_string(exponent);
  mpfr_t value;
  mpfr_init2(value, 64);
  mpfr_strtofr(value, digits.c_str(), nullptr, 10, MPFR_RNDN);
  const float single = mpfr_get_flt(value, MPFR_RNDN);
  mpfr_clear(value);
  if (std::isinf(single)) OutOfRange(text);
  return negative ? -single : single;
}

TRenderParams ConvertTexts(const TParamTexts& t, std::string_view sep) {
  // Sequenced in parameter order, so the first bad text is the one reported.
  TRenderParams p;
  p.Region.Cremin = StrToSingle(t[TextAt::Cremin], sep);
  p.Region.Cremax = StrToSingle(t[TextAt::Cremax], sep);
  p.Region.Cimmin = StrToSingle(t[TextAt::Cimmin], sep);
  p.Region.Cimmax = StrToSingle(t[TextAt::Cimmax], sep);
  p.Box.Cremin = StrToSingle(t[TextAt::BoxCremin], sep);
  p.Box.Cremax = StrToSingle(t[TextAt::BoxCremax], sep);
  p.Box.Cimmin = StrToSingle(t[TextAt::BoxCimmin], sep);
  p.Box.Cimmax = StrToSingle(t[TextAt::BoxCimmax], sep);
  p.Csample = StrToSingle(t[TextAt::Csample], sep);
  return p;
}

TRenderParams ConvertTexts(const TParamTexts& texts) { return ConvertTexts(texts, LocaleDecimalSeparator()); }

void FreeThreadCaches() { mpfr_free_cache(); }

std::string ShortestText(float value, std::string_view separator) {
  const auto typed = [separator](std::string text) {
    const std::size_t point = text.find('.');
    if (point != std::string::npos) text.replace(point, 1, separator);
    return text;
  };
  const auto convertsBack = [&](const std::string& text) {
    try {
      return StrToSingle(text, separator) == value;
    } catch (const EConvertError&) {
      return false;
    }
  };
  std::array<char, 64> buffer;
  // The shortest text that reads back exactly; the conversion rounds
  // twice (to extended, then to single), so check it, and add digits where
  // that makes a difference. Nine significant digits always suffice.
  const auto shortest = std::to_chars(buffer.begin(), buffer.end(), value);
  std::string text = typed(std::string(buffer.begin(), shortest.ptr));
  for (int digits = 1; !convertsBack(text) && digits <= 9; ++digits) {
    const auto general = std::to_chars(buffer.begin(), buffer.end(), value, std::chars_format::general, digits);
    text = typed(std::string(buffer.begin(), general.ptr));
  }
  return text;
}

}  // namespace wirolot
