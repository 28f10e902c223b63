// HostString and the text conversions it relies on.
#include <gtest/gtest.h>

#include <string>

#include "contract/host_api.h"
#include "platform/text.h"

using namespace bxml;

TEST(HostString, AssignFromNarrowFillsBothHalves) {
    HostString s("Wood");
    EXPECT_STREQ(s.narrow, "Wood");
    EXPECT_EQ(std::wstring(s.wide), L"Wood");
    EXPECT_FALSE(s.empty());
}

TEST(HostString, AssignFromWideFillsBothHalves) {
    HostString s(L"M\u00fchle");
    EXPECT_EQ(std::wstring(s.wide), L"M\u00fchle");
    EXPECT_STREQ(s.narrow, "M\xc3\xbchle");
}

TEST(HostString, Utf8NarrowBecomesWideCharacters) {
    HostString s("caf\xc3\xa9");
    EXPECT_EQ(std::wstring(s.wide), L"caf\u00e9");
}

TEST(HostString, InvalidUtf8FallsBackToTheCodePage) {
    HostString s("caf\xe9"); // Latin-1 e-acute, not valid UTF-8
    EXPECT_EQ(std::wstring(s.wide), L"caf\u00e9");
}

TEST(HostString, LongTextIsCutAt259CharactersAndTerminated) {
    std::string longText(1000, 'a');
    HostString s(longText.c_str());
    EXPECT_EQ(std::string(s.narrow).size(), 259u);
    EXPECT_EQ(std::wstring(s.wide).size(), 259u);
    std::wstring longWide(1000, L'b');
    HostString w(longWide.c_str());
    EXPECT_EQ(std::wstring(w.wide).size(), 259u);
    EXPECT_EQ(std::string(w.narrow).size(), 259u);
}

TEST(HostString, CutNeverSplitsAUtf8Sequence) {
    std::string text(258, 'a');
    text += "\xc3\xa9\xc3\xa9"; // the first e-acute straddles byte 259
    HostString s(text.c_str());
    EXPECT_EQ(std::string(s.narrow).size(), 258u);
    EXPECT_EQ(std::wstring(s.wide), std::wstring(258, L'a'));
    std::wstring wide(258, L'a');
    wide += L"\u00e9"; // two bytes in UTF-8: does not fit into 259 after 258
    HostString w(wide.c_str());
    EXPECT_EQ(std::string(w.narrow), std::string(258, 'a'));
}

TEST(HostString, CopyTakesBothHalvesAndSelfCopyIsHarmless) {
    HostString a("first");
    HostString b;
    b = a;
    EXPECT_STREQ(b.narrow, "first");
    EXPECT_EQ(std::wstring(b.wide), L"first");
    HostString& alias = b;
    b = alias;
    EXPECT_STREQ(b.narrow, "first");
}

TEST(HostString, ClearZeroesTheFirstCharacterOfEachHalf) {
    HostString s("x");
    s.clear();
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.narrow[0], '\0');
    EXPECT_EQ(s.wide[0], L'\0');
}

TEST(TextConversion, ValidatesUtf8Strictly) {
    EXPECT_TRUE(isValidUtf8("abc", 3));
    EXPECT_TRUE(isValidUtf8("\xf0\x9f\x98\x80", 4));
    EXPECT_FALSE(isValidUtf8("\xc0\x80", 2)) << "overlong";
    EXPECT_FALSE(isValidUtf8("\xed\xa0\x80", 3)) << "surrogate";
    EXPECT_FALSE(isValidUtf8("\xf4\x90\x80\x80", 4)) << "above U+10FFFF";
    EXPECT_FALSE(isValidUtf8("\xe2\x82", 2)) << "truncated";
}

TEST(TextConversion, AstralCharactersRoundTrip) {
    std::wstring wide = utf8ToWide("x\xf0\x9f\x98\x80y");
    EXPECT_EQ(wideToUtf8(wide.c_str()), "x\xf0\x9f\x98\x80y");
}

TEST(TextConversion, NarrowToWideStopsBeforeACharacterThatDoesNotFit) {
    wchar_t out[3];
    EXPECT_EQ(narrowToWide("abcdef", out, 3), 2u);
    EXPECT_EQ(std::wstring(out), L"ab");
}

TEST(TextConversion, CaseInsensitiveEqualityIsAsciiOnly) {
    EXPECT_TRUE(equalsIgnoreCase("SPOT", "spot"));
    EXPECT_TRUE(equalsIgnoreCase(nullptr, ""));
    EXPECT_FALSE(equalsIgnoreCase("spots", "spot"));
    EXPECT_FALSE(equalsIgnoreCase("\xc3\x89", "\xc3\xa9")) << "no locale-dependent folding";
    EXPECT_FALSE(equalsIgnoreCase("\xC9", "\xE9")) << "nor Latin-1 folding";
    EXPECT_FALSE(equalsIgnoreCase("mesh", "mes"));
    EXPECT_FALSE(equalsIgnoreCase("mesh", nullptr));
    // '@' and '`' sit next to 'A' and 'a'; folding by bit 0x20 would match them.
    EXPECT_FALSE(equalsIgnoreCase("@", "`"));
    EXPECT_FALSE(equalsIgnoreCase("[", "{"));
}

// One cut rule serves host strings and file names: every sequence length, the
// cut exactly at a boundary, and bytes that are not UTF-8.
TEST(TextConversion, Utf8CutDropsTheSequenceTheLimitWouldSplit) {
    EXPECT_EQ(utf8CutLength("abc", 10), 3u) << "short text is kept whole";
    EXPECT_EQ(utf8CutLength("abc", 3), 3u);
    EXPECT_EQ(utf8CutLength(nullptr, 5), 0u);
    EXPECT_EQ(utf8CutLength("ab\xc3\xa9", 3), 2u) << "two-byte sequence split after its lead";
    EXPECT_EQ(utf8CutLength("ab\xc3\xa9x", 4), 4u) << "cut right after a whole sequence";
    EXPECT_EQ(utf8CutLength("a\xe2\x82\xac", 3), 1u) << "three-byte sequence split after two";
    EXPECT_EQ(utf8CutLength("a\xe2\x82\xac", 2), 1u);
    EXPECT_EQ(utf8CutLength("a\xf0\x9f\x98\x80", 4), 1u) << "four-byte sequence split after three";
    EXPECT_EQ(utf8CutLength("a\xf0\x9f\x98\x80", 5), 5u);
    EXPECT_EQ(utf8CutLength("caf\xe9s", 4), 4u) << "Latin-1 bytes are cut anywhere";
    EXPECT_EQ(utf8CutLength("ab\x80\x80\x80\x80", 4), 4u) << "stray continuation bytes are cut anywhere";
}
