// Any text either converts to a finite float or raises a short conversion
// error; where long double is the x87's, the float has the bits of strtold of
// the same number in C syntax, rounded to single.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Convert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the decimal separator.
  const char* sep = data[0] & 1 ? "," : ".";
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  try {
    const float value = wirolot::StrToSingle(text, sep);
    if (!std::isfinite(value)) std::abort();
#if LDBL_MANT_DIG == 64
    std::string c = text;
    if (*sep == ',') std::replace(c.begin(), c.end(), ',', '.');
    const float x87 = float(std::strtold(c.c_str(), nullptr));
    if (std::memcmp(&x87, &value, sizeof value) != 0) std::abort();
#endif
  } catch (const wirolot::EConvertError& e) {
    if (std::string(e.what()).size() > 120) std::abort();
  }
  return 0;
}
