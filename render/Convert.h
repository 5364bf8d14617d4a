// Conversion of the parameter texts to numbers.
#pragma once

#include <string>
#include <string_view>

#include "Types.h"

namespace wirolot {

// The decimal separator of the current C locale (LC_NUMERIC).
std::string LocaleDecimalSeparator();

// Reads a decimal number: optional blanks, optional sign, digits with an
// optional decimal separator, an optional exponent (e or E, optional sign,
// digits), optional blanks. The value is rounded to extended precision (64-bit
// significand, nearest even), then to single, as an x87 reads and stores it.
// Raises EConvertError for anything else and for values beyond the single range.
float StrToSingle(std::string_view text, std::string_view decimalSeparator);

// Converts the nine texts in parameter order; the first bad text is the one reported.
TRenderParams ConvertTexts(const TParamTexts& texts, std::string_view decimalSeparator);
TRenderParams ConvertTexts(const TParamTexts& texts);

// Frees the multiple-precision caches of the calling thread (texts converted,
// movie paths computed); a thread that did either calls it before it ends.
void FreeThreadCaches();

// The shortest decimal text that StrToSingle with `separator` turns back into
// `value`.
std::string ShortestText(float value, std::string_view separator);

}  // namespace wirolot
