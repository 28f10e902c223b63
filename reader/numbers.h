// Locale-independent number conversion with the C locale's atof/atoi rules,
// whatever locale the process (or the host application) has set.
#pragma once

#include <cstdint>
#include <cstring>

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
inline float parseFloat(const char* begin, const char* end);
int32_t parseInt(const char* begin, const char* end);

// Whether atof (integer: atoi) finds a number at the start of [begin, end):
// white space, a sign, then digits (atof: also a point and a digit, or "inf"
// and "nan"); otherwise the conversions above give 0.
bool startsWithNumber(const char* begin, const char* end, bool integer);

// The fast paths of the conversions above, inlined into the number lists'
// inner loops. Not for other callers: their contracts are the parsers'.
//
// They assume the floating-point environment's default rounding, to nearest
// with ties to even (the plug-in never changes it, and a host that did would
// change strtod's results as well): one multiplication or division of two
// exact doubles then gives the correctly rounded value.
namespace detail {

inline constexpr double EXACT_POWERS_OF_TEN[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// Finishes scanShortDecimal for a number with an exponent: p is at the 'e' or
// 'E' after the digits. Kept out of line: exporters seldom write exponents.
const char* scanShortDecimalExponent(const char* p, const char* end, uint64_t mantissa, int64_t scale, bool negative,
                                     double& value);

// Sets value to mantissa times ten to the power (|power| <= 22, mantissa <=
// 2^53: both exact doubles, so one operation rounds correctly), negated by
// the sign bit when negative. dividing tells power <= 0 (a division by ten to
// the -power; a power of 0 divides by 1); callers whose powers are never
// positive pass true, and no branch is left.
[[gnu::always_inline]] inline void setExactDecimal(uint64_t mantissa, int64_t power, bool negative, double& value,
                                                   bool dividing) {
    // Exact: mantissa <= 2^53 (converted as signed, which needs no range test).
    double result = static_cast<double>(static_cast<int64_t>(mantissa));
    result = dividing ? result / EXACT_POWERS_OF_TEN[-power] : result * EXACT_POWERS_OF_TEN[power];
    // The sign goes in as a bit, without a branch.
    uint64_t bits = 0;
    std::memcpy(&bits, &result, sizeof bits);
    bits |= static_cast<uint64_t>(negative) << 63;
    std::memcpy(&value, &bits, sizeof bits);
}

// The exact shortcut for the common short decimals: digits with an optional
// point and exponent ("12", "-0.125", "3.5e-4"), at most 19 digits whose value
// fits 2^53 and a power of ten of at most 22 either way, so that one
// multiplication or division of two exact doubles gives the correctly rounded
// value, the same as strtod's. Scans [p, end) (a sign allowed, no white space)
// or, with end null, text whose terminator ends the scan; returns where the
// number stops, having set value; returns null, setting nothing, for anything
// else (the general conversion then decides). What follows the number is
// ignored, as strtod ignores it. Always inlined: the callers are the inner
// loops of the number lists, which is also why the common case (no exponent)
// takes a single test after the digits.
[[gnu::always_inline]] inline const char* scanShortDecimal(const char* p, const char* end, double& value) {
    constexpr uint64_t MAX_EXACT_MANTISSA = uint64_t{1} << 53;
    auto within = [end](const char* q) { return end == nullptr || q != end; };
    // The digit at q as a 64-bit value, or a value above 9 for anything else
    // (computed unsigned, so the loops need no sign extension).
    auto digitAt = [within](const char* q) {
        return within(q) ? static_cast<uint64_t>(static_cast<unsigned char>(*q)) - '0' : uint64_t{10};
    };

    // Signs come in no pattern a branch predictor could learn: take them
    // without branching.
    bool negative = false;
    if (within(p)) {
        negative = *p == '-';
        p += static_cast<int>(negative || *p == '+');
    }
    // A plain loop beats converting eight digits at a time here: the runs are
    // short and regular, so its branches predict well.
    uint64_t mantissa = 0;
    const char* first = p;
    for (uint64_t d = digitAt(p); d <= 9; d = digitAt(++p)) mantissa = mantissa * 10 + d;
    int64_t digits = p - first;
    int64_t scale = 0; // digits after the point
    if (within(p) && *p == '.') {
        const char* fraction = ++p;
        for (uint64_t d = digitAt(p); d <= 9; d = digitAt(++p)) mantissa = mantissa * 10 + d;
        scale = p - fraction;
        digits += scale;
    }
    // The common case: 1 to 15 digits (always below 2^53) and no 'e' or 'x'
    // after them; the power is then -scale, at most 15.
    const unsigned after = within(p) ? static_cast<unsigned char>(*p) | 0x20u : 0u;
    if (static_cast<uint64_t>(digits - 1) < 15 && after != 'e' && after != 'x') {
        setExactDecimal(mantissa, -scale, negative, value, true);
        return p;
    }
    // No digits ("inf", "nan"), more than 19 (which may have wrapped), a value
    // beyond 2^53 and hexadecimal text ("0x...") are the general conversion's.
    if (static_cast<uint64_t>(digits - 1) > 18 || mantissa > MAX_EXACT_MANTISSA || after == 'x') return nullptr;
    if (after == 'e') return scanShortDecimalExponent(p, end, mantissa, scale, negative, value);
    setExactDecimal(mantissa, -scale, negative, value, true);
    return p;
}

// The shortcut for integers: an optional sign and one to nine digits, which
// atoi reads without any clamping. Scans text whose terminator ends the scan;
// returns where the digits stop, having set value, or null, setting nothing.
[[gnu::always_inline]] inline const char* scanShortInt(const char* p, int32_t& value) {
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    const char* first = p;
    int32_t magnitude = 0;
    for (; static_cast<unsigned>(*p - '0') < 10u; ++p) {
        if (p - first == 9) return nullptr;
        magnitude = magnitude * 10 + (*p - '0');
    }
    if (p == first) return nullptr;
    value = negative ? -magnitude : magnitude;
    return p;
}

// The shortcut on [begin, end): true with value set when it applies.
inline bool parseShortDecimal(const char* begin, const char* end, double& value) {
    return begin != end && scanShortDecimal(begin, end, value) != nullptr;
}

} // namespace detail

inline float parseFloat(const char* begin, const char* end) {
    double value = 0.0;
    if (begin != nullptr && begin < end && detail::parseShortDecimal(begin, end, value))
        return static_cast<float>(value);
    return static_cast<float>(parseDouble(begin, end));
}

} // namespace bxml
