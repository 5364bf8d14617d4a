#include "Convert.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

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

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return c;
}

}  // namespace

std::string LocaleDecimalSeparator() {
  const lconv* conv = std::localeconv();
  const char* sep = conv ? conv->decimal_point : nullptr;
  return sep && *sep ? sep : ".";
}

long double StrToFloat(std::string_view text, std::string_view sep) {
  std::size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;

  // Rebuild the number in the C locale's syntax, validating as we go.
  std::string number;
  number.reserve(end - i + 1);
  if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
  std::size_t digits = 0;
  while (i < end && IsDigit(text[i])) number += text[i++], ++digits;
  if (!sep.empty() && text.substr(i, sep.size()) == sep) {
    i += sep.size();
    number += '.';
    while (i < end && IsDigit(text[i])) number += text[i++], ++digits;
  }
  if (digits == 0) NotANumber(text);
  if (i < end && (text[i] == 'e' || text[i] == 'E')) {
    number += text[i++];
    if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
    std::size_t expDigits = 0;
    while (i < end && IsDigit(text[i])) number += text[i++], ++expDigits;
    if (expDigits == 0) NotANumber(text);
  }
  if (i != end) NotANumber(text);

  const long double value = strtold_l(number.c_str(), nullptr, CLocale());
  if (std::isinf(value)) OutOfRange(text);
  return value;  // underflow gives a subnormal or zero, as rounding does
}

long double StrToFloat(std::string_view text) { return StrToFloat(text, LocaleDecimalSeparator()); }

float StrToSingle(std::string_view text, std::string_view sep) {
  const float value = float(StrToFloat(text, sep));
  if (std::isinf(value)) OutOfRange(text);
  return value;
}

TRenderParams ConvertTexts(const TParamTexts& t, std::string_view sep) {
  // Sequenced in parameter order, so the first bad text is the one reported.
  TRenderParams p;
  p.Region.Cremin = StrToSingle(t[0], sep);
  p.Region.Cremax = StrToSingle(t[1], sep);
  p.Region.Cimmin = StrToSingle(t[2], sep);
  p.Region.Cimmax = StrToSingle(t[3], sep);
  p.Box.Cremin = StrToSingle(t[4], sep);
  p.Box.Cremax = StrToSingle(t[5], sep);
  p.Box.Cimmin = StrToSingle(t[6], sep);
  p.Box.Cimmax = StrToSingle(t[7], sep);
  p.Csample = StrToSingle(t[8], sep);
  return p;
}

TRenderParams ConvertTexts(const TParamTexts& texts) { return ConvertTexts(texts, LocaleDecimalSeparator()); }

}  // namespace wirolot
