#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "document/records.h"
#include "reader/number_lists.h"
#include "reader/numbers.h"

namespace bxml {
namespace {

uint64_t bitsOf(double d) {
    uint64_t b = 0;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

uint32_t bitsOf(float f) {
    uint32_t b = 0;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// The test process runs in the "C" locale (nothing calls setlocale except the
// locale test, which restores it), so strtod is the reference.
void expectSameAsStrtod(const std::string& text) {
    SCOPED_TRACE("text: \"" + text + "\"");
    double expected = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(bitsOf(parseDouble(text.c_str())), bitsOf(expected));
    EXPECT_EQ(bitsOf(parseDouble(text.data(), text.data() + text.size())), bitsOf(expected));
    EXPECT_EQ(bitsOf(parseFloat(text.c_str())), bitsOf(static_cast<float>(expected)));
    EXPECT_EQ(bitsOf(parseFloat(text.data(), text.data() + text.size())), bitsOf(static_cast<float>(expected)));
}

TEST(ParseDouble, EdgeTokensMatchStrtodBitForBit) {
    const char* tokens[] = {
        // plain forms and signs
        "0.5",
        "-0",
        "+0",
        "-0.0",
        "+1",
        "-1",
        "1",
        ".5",
        "5.",
        "-.5",
        "+.5e1",
        "00000000000000000001",
        // incomplete exponents and garbage after the number
        "1.5e",
        "1e+",
        "1e-",
        "1E5",
        "1e5e5",
        "123abc",
        "1,5",
        "1.5.5",
        "7-3",
        // no number at all (unsigned: C libraries disagree on the sign of a failed "-x")
        "abc",
        "",
        ".",
        "+",
        "e5",
        "in",
        "na",
        "x1",
        // leading white space of the C isspace set
        "  7",
        "\t8",
        "\n\v\f\r9",
        " \t -2.5",
        // range limits, overflow and underflow
        "1e400",
        "-1e400",
        "1e-400",
        "-1e-400",
        "4.9e-324",
        "2e-324",
        "3e-324",
        "2.4703282292062327e-324",
        "2.4703282292062328e-324",
        "1.7976931348623157e308",
        "1.7976931348623158e308",
        "1.797693134862315807e308",
        "1.797693134862315808e308",
        "2.2250738585072011e-308",
        "2.2250738585072014e-308",
        "1e99999999999999999999",
        "-1e-99999999999999999999",
        "0e99999",
        "0.000e-99999",
        "0.0000000000000000000000000000000000000001e40",
        "123456789012345678901234567890e-340",
        "0.000000000000000000000000000001e330",
        "3.4028235677973366e38",
        "3.4028235677973367e38",
        "1e-46",
        "7.0064923216240861e-46",
        "7.0064923216240862e-46",
        // hexadecimal
        "0x1p-2",
        "0X1.8P3",
        "0x1.8p3",
        "-0x10",
        "0x",
        "-0x",
        "0xg",
        "0x.p1",
        "0x.8",
        "0x1p",
        "0x1p+",
        "0x-1",
        "0xABCDEFp-20",
        "0x1p99999",
        "-0x1p99999",
        "0x1p-99999",
        "0x1p-1075",
        "0x1.0000001p-1075",
        "0x1.fffffffffffff8p0",
        "0x1.fffffffffffff80000000001p0",
        "0x1.fffffffffffff7ffffffffffp0",
        "0x0.0000000000000000000001p-1000",
        "0x1p3junk",
        // infinities and NaNs without payload, any case
        "inf",
        "-INF",
        "Infinity",
        "-infinity",
        "infin",
        "INFINITYX",
        "nan",
        "NaN",
    };
    for (const char* token : tokens) expectSameAsStrtod(token);

    std::string manyDigits = "0." + std::string(800, '3') + "e1";
    expectSameAsStrtod(manyDigits);
    std::string longInteger = "9" + std::string(400, '0');
    expectSameAsStrtod(longInteger);
    // Exactly halfway between two doubles, decided only by the last of many digits.
    expectSameAsStrtod("9007199254740993" + std::string(300, '0') + "e-300");
    expectSameAsStrtod("9007199254740993" + std::string(300, '0') + "1e-300");
}

// Where C libraries differ (the sign of a failed conversion, NaN payloads) the
// conversion follows glibc, so both builds give these bits.
TEST(ParseDouble, SignedNonNumbersAndNanPayloadsGiveFixedBits) {
    struct Case {
        const char* text;
        uint64_t doubleBits;
        uint32_t floatBits;
    };
    const Case cases[] = {
        {"-", 0x0000000000000000ULL, 0x00000000U},
        {"- 1", 0x0000000000000000ULL, 0x00000000U},
        {"-+1", 0x0000000000000000ULL, 0x00000000U},
        {"--1", 0x0000000000000000ULL, 0x00000000U},
        {"-.", 0x0000000000000000ULL, 0x00000000U},
        {"-abc", 0x0000000000000000ULL, 0x00000000U},
        {"-nan", 0xfff8000000000000ULL, 0xffc00000U},
        {"-nan(0x4000000000000)", 0xfffc000000000000ULL, 0xffe00000U},
        {"NAN(123)", 0x7ff800000000007bULL, 0x7fc00000U},
        {"nan(0777)", 0x7ff80000000001ffULL, 0x7fc00000U},
        {"nan(089)", 0x7ff8000000000000ULL, 0x7fc00000U},
        {"nan(0x7ffffffffffff)", 0x7fffffffffffffffULL, 0x7fffffffU},
        {"nan(0xfffffffffffffff)", 0x7fffffffffffffffULL, 0x7fffffffU},
        {"nan(99999999999999999999999)", 0x7fffffffffffffffULL, 0x7fffffffU},
        {"nan(12", 0x7ff8000000000000ULL, 0x7fc00000U},
        {"nan(12abc)", 0x7ff8000000000000ULL, 0x7fc00000U},
        {"nan(abc)", 0x7ff8000000000000ULL, 0x7fc00000U},
        {"nan()", 0x7ff8000000000000ULL, 0x7fc00000U},
        {"nan(_)", 0x7ff8000000000000ULL, 0x7fc00000U},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(bitsOf(parseDouble(c.text)), c.doubleBits);
        EXPECT_EQ(bitsOf(parseFloat(c.text)), c.floatBits);
        EXPECT_EQ(bitsOf(parseFloat(c.text, c.text + std::strlen(c.text))), c.floatBits);
    }
}

TEST(ParseDouble, NullTextGivesZero) {
    EXPECT_EQ(bitsOf(parseDouble(nullptr)), bitsOf(0.0));
    EXPECT_EQ(bitsOf(parseFloat(nullptr)), bitsOf(0.0f));
    EXPECT_EQ(parseDouble(nullptr, nullptr), 0.0);
}

TEST(ParseDouble, RangeVersionStopsAtTheEndOfTheToken) {
    const char* text = "12345e3";
    EXPECT_EQ(parseDouble(text, text + 2), 12.0);
    EXPECT_EQ(parseDouble(text, text + 6), 12345.0); // "12345e": exponent incomplete
    EXPECT_EQ(parseDouble(text, text), 0.0);
    const char* hex = "0x1p4";
    EXPECT_EQ(parseDouble(hex, hex + 2), 0.0);
    EXPECT_EQ(parseDouble(hex, hex + 4), 1.0);
    const char* word = "infinity";
    EXPECT_TRUE(std::isinf(parseDouble(word, word + 3)));
    EXPECT_EQ(parseDouble(word, word + 2), 0.0);
    const char* spaced = "\t\t5";
    EXPECT_EQ(parseDouble(spaced, spaced + 2), 0.0);
}

// Random doubles across the whole range in the forms an exporter writes.
TEST(ParseDouble, RandomDoublesMatchStrtodBitForBit) {
    std::mt19937_64 random(20240611);
    char text[64];
    int mismatches = 0;
    for (int i = 0; i < 300000 && mismatches < 10; ++i) {
        uint64_t bits = random();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        const char* formats[] = {"%.17g", "%g", "%.9g"};
        const char* format = formats[i % 3];
        std::snprintf(text, sizeof text, format, value);
        double expected = std::strtod(text, nullptr);
        double got = parseDouble(text);
        float gotFloat = parseFloat(text);
        if (bitsOf(got) != bitsOf(expected) || bitsOf(gotFloat) != bitsOf(static_cast<float>(expected))) {
            ADD_FAILURE() << "text " << text;
            ++mismatches;
        }
    }
}

// Values of the size met in scene files, with many digits (more than a 64-bit
// integer holds) and in hexadecimal with more digits than a double keeps.
TEST(ParseDouble, LongMantissasRoundLikeStrtod) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> magnitude(-40.0, 40.0);
    std::uniform_int_distribution<int> precision(15, 30);
    char text[128];
    int mismatches = 0;
    for (int i = 0; i < 100000 && mismatches < 10; ++i) {
        double value = std::pow(10.0, magnitude(random)) * ((i & 1) ? -1.0 : 1.0);
        if (i % 2 == 0) {
            std::snprintf(text, sizeof text, "%.*e", precision(random), value);
        } else {
            std::snprintf(text, sizeof text, "0x1.%013llx%05llxp%d", static_cast<unsigned long long>(random() >> 12),
                          static_cast<unsigned long long>(random() >> 44), static_cast<int>(random() % 2200) - 1100);
        }
        double expected = std::strtod(text, nullptr);
        if (bitsOf(parseDouble(text)) != bitsOf(expected)) {
            ADD_FAILURE() << "text " << text;
            ++mismatches;
        }
    }
}

// The exact shortcut for short decimals against strtod: exporter-style
// decimals, integers, exponents at and around the shortcut's limits (2^53,
// 10^22) and tokens whose tail strtod ignores. Every token must give strtod's
// bits whether the shortcut takes it or declines; exporter-style text must
// mostly be taken, or the shortcut would be dead code.
TEST(ParseDouble, ShortDecimalShortcutMatchesStrtodOnMillionsOfTokens) {
    const char* const edges[] = {"9007199254740992",
                                 "9007199254740993",
                                 "-9007199254740992.0",
                                 "900719925474099.3",
                                 "1e22",
                                 "1e23",
                                 "-1e-22",
                                 "1e-23",
                                 "0.1e-21",
                                 "0.1e-22",
                                 "12345678901234567890",
                                 "1234567890123456789",
                                 "0.0000000000000000001",
                                 "4.9e-324",
                                 "1.7976931348623157e308",
                                 "1e",
                                 "1e+",
                                 "2E-",
                                 "-.5",
                                 "5.",
                                 ".",
                                 "-",
                                 "+.e5",
                                 ".e5",
                                 "0x1p3",
                                 "-0",
                                 "+0.0",
                                 "0e999",
                                 "1e999",
                                 "1e0022",
                                 "3.14159265358979323846",
                                 "0.30000000000000004",
                                 "1.5x",
                                 "7,5",
                                 "2.5e+3",
                                 "2.5E-3",
                                 "00000000000000000000001",
                                 "inf",
                                 "nan",
                                 "+1"};
    for (const char* edge : edges) expectSameAsStrtod(edge);

    std::mt19937_64 random(88172645463325252ull);
    char text[64];
    long tokens = 0;
    long taken = 0;
    long exporterTokens = 0;
    long exporterTaken = 0;
    int mismatches = 0;
    // A share of the tokens also goes into one list text, read below by the
    // list parser, which converts while it scans the whole text.
    std::string list;
    std::vector<float> listExpected;
    auto check = [&](bool exporterStyle) {
        ++tokens;
        const char* end = text + std::strlen(text);
        if (tokens % 8 == 0) {
            list.append(text).append(tokens % 16 == 0 ? "  " : " ");
            listExpected.push_back(static_cast<float>(std::strtod(text, nullptr)));
        }
        const double expected = std::strtod(text, nullptr);
        double shortcut = 0.0;
        const bool took = detail::parseShortDecimal(text, end, shortcut);
        taken += took;
        if (exporterStyle) {
            ++exporterTokens;
            exporterTaken += took;
        }
        if ((took && bitsOf(shortcut) != bitsOf(expected)) || bitsOf(parseDouble(text, end)) != bitsOf(expected) ||
            bitsOf(parseFloat(text, end)) != bitsOf(static_cast<float>(expected))) {
            if (++mismatches <= 10) ADD_FAILURE() << "text " << text;
        }
    };
    std::uniform_real_distribution<double> coordinate(-1000.0, 1000.0);
    std::uniform_int_distribution<int> decimals(0, 9);
    std::uniform_int_distribution<int> digitCount(1, 20);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 1000000 && mismatches < 10; ++i) {
        // Exporter style: fixed decimals, trailing zeros kept or trimmed.
        std::snprintf(text, sizeof text, "%.*f", decimals(random), coordinate(random));
        check(true);
        std::snprintf(text, sizeof text, "%.6g", coordinate(random) / 1000.0);
        check(true);
        std::snprintf(text, sizeof text, "%d", static_cast<int>(random() % 2000001) - 1000000);
        check(true);
        // Digit strings of every length with a point anywhere and an exponent.
        const int n = digitCount(random);
        int k = 0;
        if (random() & 1) text[k++] = '-';
        const int point = static_cast<int>(random() % static_cast<uint64_t>(n + 1));
        for (int d = 0; d < n; ++d) {
            if (d == point) text[k++] = '.';
            text[k++] = static_cast<char>('0' + random() % 10);
        }
        if (random() & 1)
            k += std::snprintf(text + k, sizeof text - static_cast<std::size_t>(k), "e%d", exponent(random));
        text[k] = '\0';
        check(false);
        // Near the limits: up to 16 digits with powers of ten around 22.
        std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(random() % 20000000000000000ull),
                      static_cast<int>(random() % 61) - 30);
        check(false);
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GE(tokens, 5000000);

    listExpected.resize(listExpected.size() / 3 * 3);
    GeometryRecord geometry;
    ASSERT_EQ(parseVertices(geometry, static_cast<int64_t>(listExpected.size() / 3), list.c_str()), 1);
    int listMismatches = 0;
    for (std::size_t i = 0; i < listExpected.size() && listMismatches < 10; ++i) {
        const Vector3& position = geometry.vertices[i / 3].position;
        const float got = i % 3 == 0 ? position.x : (i % 3 == 1 ? position.y : position.z);
        if (bitsOf(got) != bitsOf(listExpected[i])) {
            ++listMismatches;
            ADD_FAILURE() << "list token " << i << " read as " << got << ", strtod gives " << listExpected[i];
        }
    }
    EXPECT_GT(exporterTaken, exporterTokens * 99 / 100) << "the shortcut takes exporter-style decimals";
    EXPECT_LT(taken, tokens) << "long and far tokens are left to the general conversion";
    std::printf("tokens compared: %ld, taken by the shortcut: %ld\n", tokens, taken);
}

// Exponents within the shortcut's range are its own, not the fallback's: a
// shortcut that declined them all would still give strtod's values.
TEST(ParseDouble, ShortcutTakesExponentsInItsRange) {
    struct Case {
        const char* text;
        double value;
        std::size_t length;
    };
    const Case cases[] = {{"2.5e-3", 0.0025, 6}, {"-1E+2", -100.0, 5}, {"3e22", 3e22, 4},
                          {"0.1e-21", 1e-22, 7}, {"7e", 7.0, 1},       {"4E-x", 4.0, 1}};
    for (const Case& c : cases) {
        double value = 0.0;
        const char* stop = detail::scanShortDecimal(c.text, nullptr, value);
        ASSERT_NE(stop, nullptr) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
        EXPECT_EQ(static_cast<std::size_t>(stop - c.text), c.length) << c.text;
    }
    double value = 0.0;
    EXPECT_EQ(detail::scanShortDecimal("1e23", nullptr, value), nullptr) << "10^23 is not exact";
    EXPECT_EQ(detail::scanShortDecimal("1e0022", nullptr, value), nullptr) << "four exponent digits";
}

// Switches the process to a comma-decimal locale for one test and always
// returns to "C".
class CommaLocale {
public:
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = name;
                return;
            }
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, "C"); }
    const char* active() const { return active_; }

private:
    const char* active_ = nullptr;
};

TEST(ParseDouble, IgnoresACommaDecimalProcessLocale) {
    CommaLocale locale;
    if (locale.active() == nullptr) {
        GTEST_SKIP() << "no comma-decimal locale (de_DE.UTF-8, fr_FR.UTF-8) is installed; install the locales data "
                        "to run this test";
    }
    SCOPED_TRACE(locale.active());
    // The C library must really follow the locale; otherwise the test proves nothing.
    if (std::atof("0.5") == 0.5) GTEST_SKIP() << locale.active() << " does not make atof use a decimal comma";

    EXPECT_EQ(parseFloat("0.5"), 0.5f);
    EXPECT_EQ(parseDouble("-1.25e2"), -125.0);
    EXPECT_EQ(parseDouble("1,5"), 1.0);
    EXPECT_EQ(parseDouble("0x1.8p1"), 3.0);
    const char* token = "3.75 ";
    EXPECT_EQ(parseFloat(token, token + 4), 3.75f);
    EXPECT_EQ(parseInt("  -42"), -42);
}

TEST(ParseInt, ClampsToTheInt32RangeInsteadOfWrapping) {
    EXPECT_EQ(parseInt("4294967296"), INT32_MAX);
    EXPECT_EQ(parseInt("-99999999999"), INT32_MIN);
    EXPECT_EQ(parseInt("2147483647"), INT32_MAX);
    EXPECT_EQ(parseInt("2147483648"), INT32_MAX);
    EXPECT_EQ(parseInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseInt("-2147483647"), -2147483647);
    EXPECT_EQ(parseInt("-2147483649"), INT32_MIN);
    EXPECT_EQ(parseInt(("1" + std::string(200, '0')).c_str()), INT32_MAX);
    EXPECT_EQ(parseInt(("-000000000000000000000" + std::string("17")).c_str()), -17);
}

TEST(ParseInt, ReadsLikeAtoiOfTheCLocale) {
    EXPECT_EQ(parseInt("3.5"), 3);
    EXPECT_EQ(parseInt(" -12abc"), -12);
    EXPECT_EQ(parseInt("+7"), 7);
    EXPECT_EQ(parseInt("\n\t\v\f\r 42"), 42);
    EXPECT_EQ(parseInt("abc"), 0);
    EXPECT_EQ(parseInt(""), 0);
    EXPECT_EQ(parseInt("- 5"), 0);
    EXPECT_EQ(parseInt("--5"), 0);
    EXPECT_EQ(parseInt("0x10"), 0);
    EXPECT_EQ(parseInt("1e3"), 1);
    EXPECT_EQ(parseInt(nullptr), 0);
    const char* text = "123456";
    EXPECT_EQ(parseInt(text, text + 3), 123);
    EXPECT_EQ(parseInt(text, text), 0);
}

TEST(ParseInt, AgreesWithStrtolInsideTheRange) {
    std::mt19937 random(99);
    char text[32];
    for (int i = 0; i < 10000; ++i) {
        int32_t value = static_cast<int32_t>(random());
        std::snprintf(text, sizeof text, (i & 1) ? "%d" : " %+d;", value);
        ASSERT_EQ(parseInt(text), static_cast<int32_t>(std::strtol(text, nullptr, 10))) << text;
    }
}

} // namespace
} // namespace bxml
