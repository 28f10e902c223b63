// Locale-independent number conversion with the C locale's atof/atoi rules,
// whatever locale the process (or the host application) has set.
#pragma once

#include <cstdint>

namespace bxml {

// atof in the C locale: leading white space skipped, optional sign, decimal or
// hexadecimal floating-point text, "inf"/"infinity"/"nan" (any case);
// the decimal value correctly rounded to double; trailing characters ignored;
// text that does not start with a number gives 0. Null gives 0.
double parseDouble(const char* text);

// The double of parseDouble narrowed to float (the document stores floats).
float parseFloat(const char* text);

// atoi in the C locale, but clamped to the 32-bit range instead of wrapping:
// leading white space, optional sign, decimal digits up to the first other
// character; no digits gives 0. Null gives 0.
int32_t parseInt(const char* text);

// The same conversions on a token [begin, end) that needs no terminator
// (number lists hand out tokens inside the element text).
double parseDouble(const char* begin, const char* end);
float parseFloat(const char* begin, const char* end);
int32_t parseInt(const char* begin, const char* end);

} // namespace bxml
