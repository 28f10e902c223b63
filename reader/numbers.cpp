#include "reader/numbers.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace bxml {
namespace {

// isspace of the C locale, whatever the process locale says.
inline bool isCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when [p, end) starts with the lower-case ASCII word w, ignoring case.
bool startsWithWord(const char* p, const char* end, const char* w) {
    for (; *w != '\0'; ++p, ++w) {
        if (p == end || lower(*p) != *w) return false;
    }
    return true;
}

// strtoull(s, &endp, 0) over [s, e): true when the whole range is consumed, as
// the C library requires for a NaN payload. Overflow saturates like strtoull.
bool parsePayload(const char* s, const char* e, uint64_t& value) {
    value = 0;
    if (s == e) return true; // no digits: strtoull leaves endp at s, which is e
    int base = 10;
    const char* p = s;
    if (*p == '0') {
        if (e - p >= 3 && (p[1] == 'x' || p[1] == 'X') && hexValue(p[2]) >= 0) {
            base = 16;
            p += 2;
        } else {
            base = 8;
        }
    }
    bool overflow = false;
    for (; p != e; ++p) {
        int d = hexValue(*p);
        if (d < 0 || d >= base) return false;
        if (value > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) {
            overflow = true;
        } else {
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        }
    }
    if (overflow) value = std::numeric_limits<uint64_t>::max();
    return true;
}

// "nan" has been matched at p - 3; an optional "(n-char-sequence)" may follow.
// The C library puts a fully numeric sequence into the low 51 mantissa bits and
// keeps the quiet bit.
double nanWithPayload(const char* p, const char* end) {
    double result = std::numeric_limits<double>::quiet_NaN();
    if (p == end || *p != '(') return result;
    const char* q = p + 1;
    while (q != end && (isDigit(*q) || (lower(*q) >= 'a' && lower(*q) <= 'z') || *q == '_')) ++q;
    if (q == end || *q != ')') return result;
    uint64_t payload = 0;
    if (!parsePayload(p + 1, q, payload)) return result;
    uint64_t bits = 0;
    std::memcpy(&bits, &result, sizeof bits);
    bits = (bits & ~((uint64_t{1} << 51) - 1)) | (payload & ((uint64_t{1} << 51) - 1));
    std::memcpy(&result, &bits, sizeof bits);
    return result;
}

// from_chars reports a value beyond the double range without giving it. The
// magnitude's order decides between overflow (infinity) and underflow (zero,
// the nearest value after rounding, since a representable tiny value would have
// been returned): the digits in [p, stop) are read for the position of the first
// non-zero digit, plus the exponent. radixBits is 0 for decimal text (power of
// ten per digit) or 4 for hexadecimal text (power of two, four per digit).
bool isOverflow(const char* p, const char* stop, int radixBits) {
    constexpr int64_t LIMIT = int64_t{1} << 40;
    auto isMantissaDigit = [radixBits](char c) { return radixBits == 0 ? isDigit(c) : hexValue(c) >= 0; };
    int64_t order = 0; // position of the first non-zero digit, in digits; 0 = units
    bool seenNonZero = false;
    bool afterPoint = false;
    for (; p != stop; ++p) {
        char c = *p;
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (!isMantissaDigit(c)) break;
        if (!seenNonZero) {
            if (c != '0') {
                seenNonZero = true;
                if (afterPoint) --order;
            } else if (afterPoint) {
                --order;
            }
        } else if (!afterPoint && order < LIMIT) {
            ++order;
        }
        if (order < -LIMIT) order = -LIMIT;
    }
    int64_t exponent = 0;
    if (p != stop) { // at 'e' or 'p'
        ++p;
        bool negative = false;
        if (p != stop && (*p == '+' || *p == '-')) negative = (*p++ == '-');
        for (; p != stop && isDigit(*p); ++p) {
            if (exponent < LIMIT) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    int64_t magnitude = radixBits == 0 ? order + exponent : order * radixBits + exponent;
    return magnitude > 0;
}

// Parses the number text that begins at p (after white space and sign).
double parseUnsigned(const char* p, const char* end, bool& parsed) {
    parsed = true;
    if (p == end) {
        parsed = false;
        return 0.0;
    }
    char c = lower(*p);
    if (c == 'i') {
        if (startsWithWord(p, end, "inf")) return std::numeric_limits<double>::infinity();
        parsed = false;
        return 0.0;
    }
    if (c == 'n') {
        if (startsWithWord(p, end, "nan")) return nanWithPayload(p + 3, end);
        parsed = false;
        return 0.0;
    }
    // from_chars takes a minus sign of its own; a second sign is no number.
    if (*p == '-' || *p == '+') {
        parsed = false;
        return 0.0;
    }
    double value = 0.0;
    if (*p == '0' && end - p >= 2 && lower(p[1]) == 'x') {
        const char* digits = p + 2;
        if (digits == end || *digits == '-') return 0.0; // the text is just "0"
        auto [stop, ec] = std::from_chars(digits, end, value, std::chars_format::hex);
        if (ec == std::errc::invalid_argument) return 0.0; // "0x" without digits reads as 0
        if (ec == std::errc::result_out_of_range) {
            return isOverflow(digits, stop, 4) ? std::numeric_limits<double>::infinity() : 0.0;
        }
        return value;
    }
    auto [stop, ec] = std::from_chars(p, end, value, std::chars_format::general);
    if (ec == std::errc::invalid_argument) {
        parsed = false;
        return 0.0;
    }
    if (ec == std::errc::result_out_of_range) {
        return isOverflow(p, stop, 0) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return value;
}

// End of the span that can hold a number (sign, digits, point, exponent,
// "inf"/"nan" and a NaN payload) starting at p; stops at the first other byte,
// so a long element text is never walked further than its first token.
const char* numberSpanEnd(const char* p) {
    while (isCSpace(*p)) ++p;
    for (;; ++p) {
        char c = *p;
        bool part = isDigit(c) || (lower(c) >= 'a' && lower(c) <= 'z') || c == '.' || c == '+' || c == '-' ||
                    c == '(' || c == ')' || c == '_';
        if (!part) return p;
    }
}

} // namespace

namespace detail {

const char* scanShortDecimalExponent(const char* p, const char* end, uint64_t mantissa, int64_t scale, bool negative,
                                     double& value) {
    constexpr int MAX_EXACT_POWER = 22;
    auto within = [end](const char* q) { return end == nullptr || q != end; };
    auto isDigit = [within](const char* q) { return within(q) && static_cast<unsigned>(*q - '0') < 10u; };
    int exponent = 0;
    const char* q = p + 1;
    bool negativeExponent = false;
    if (within(q) && (*q == '+' || *q == '-')) negativeExponent = (*q++ == '-');
    // Without a digit the 'e' is not part of the number (strtod stops before it).
    if (isDigit(q)) {
        for (int expDigits = 0; isDigit(q); ++q, ++expDigits) {
            if (expDigits == 3) return nullptr; // far outside the shortcut's range
            exponent = exponent * 10 + (*q - '0');
        }
        if (negativeExponent) exponent = -exponent;
        p = q;
    }
    const int64_t power = exponent - scale;
    if (power < -MAX_EXACT_POWER || power > MAX_EXACT_POWER) return nullptr;
    setExactDecimal(mantissa, power, negative, value, power <= 0);
    return p;
}

} // namespace detail

double parseDouble(const char* begin, const char* end) {
    if (begin == nullptr || end == nullptr || begin >= end) return 0.0;
    const char* p = begin;
    while (p != end && isCSpace(*p)) ++p;
    double quick = 0.0;
    if (detail::parseShortDecimal(p, end, quick)) return quick;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    bool parsed = false;
    double value = parseUnsigned(p, end, parsed);
    if (!parsed) return 0.0;
    return negative ? -value : value;
}

int32_t parseInt(const char* begin, const char* end) {
    if (begin == nullptr || end == nullptr || begin >= end) return 0;
    const char* p = begin;
    while (p != end && isCSpace(*p)) ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    // Accumulate the magnitude up to one beyond INT32_MAX and stop there.
    constexpr int64_t CAP = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; p != end && isDigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > CAP) magnitude = CAP;
    }
    if (negative) return static_cast<int32_t>(-magnitude); // -CAP is INT32_MIN
    return magnitude >= CAP ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}

double parseDouble(const char* text) {
    if (text == nullptr) return 0.0;
    return parseDouble(text, numberSpanEnd(text));
}

float parseFloat(const char* text) { return static_cast<float>(parseDouble(text)); }

int32_t parseInt(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    while (isCSpace(*p)) ++p;
    if (*p == '+' || *p == '-') ++p;
    while (isDigit(*p)) ++p;
    return parseInt(text, p);
}

bool startsWithNumber(const char* begin, const char* end, bool integer) {
    const char* p = begin;
    while (p != end && isCSpace(*p)) ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end) return false;
    if (isDigit(*p)) return true;
    if (integer) return false;
    if (*p == '.') return p + 1 != end && isDigit(p[1]);
    auto startsWith = [&](const char* word) {
        for (std::size_t i = 0; word[i] != '\0'; ++i) {
            if (p + i == end || (p[i] | 0x20) != word[i]) return false;
        }
        return true;
    };
    return startsWith("inf") || startsWith("nan");
}

} // namespace bxml
