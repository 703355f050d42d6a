// The reading of version texts: the cases the run sequence's decision depends
// on, hostile texts, and agreement with the run time's own wcstol.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "settings/version_string.h"

namespace {

struct VersionCase {
    const wchar_t* text;
    bool found;
    std::int32_t major, minor, build;
};

class VersionText : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionText, GivesItsFirstThreeFields)
{
    const VersionCase& c = GetParam();
    // Sentinels show whether a false result left the outputs alone.
    std::int32_t major = 111, minor = 222, build = 333;
    EXPECT_EQ(c.found, ParseVersionString(c.text, major, minor, build));
    if (c.found) {
        EXPECT_EQ(c.major, major);
        EXPECT_EQ(c.minor, minor);
        EXPECT_EQ(c.build, build);
    } else {
        EXPECT_EQ(111, major);
        EXPECT_EQ(222, minor);
        EXPECT_EQ(333, build);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VersionText,
    ::testing::Values(
        VersionCase{L"1.0.13", true, 1, 0, 13},                                          // the last release to reset
        VersionCase{L"1.0.14", true, 1, 0, 14},                                          // the first one not to
        VersionCase{L"1.0", false, 0, 0, 0},                                             // one full stop only
        VersionCase{L"2.0.1", true, 2, 0, 1}, VersionCase{L"1.0.9.1234", true, 1, 0, 9}, // a fourth field is ignored
        VersionCase{L"2.1.0beta", true, 2, 1, 0},                                        // digits up to the first other
        VersionCase{L"1..7", true, 1, 0, 7},                                             // an empty field is 0
        VersionCase{L" 1.+0.-3", true, 1, 0, -3},                                        // blanks and signs as wcstol
        VersionCase{L"1.0.99999999999", true, 1, 0, INT32_MAX},                          // clamped, not wrapped
        VersionCase{L"1.0.-99999999999", true, 1, 0, INT32_MIN}, VersionCase{L"1.0.2147483647", true, 1, 0, INT32_MAX},
        VersionCase{L"1.0.2147483648", true, 1, 0, INT32_MAX},  // one past the top
        VersionCase{L"1.0.-2147483648", true, 1, 0, INT32_MIN}, // the bottom itself
        VersionCase{L"1.0.-2147483649", true, 1, 0, INT32_MIN},
        VersionCase{L"1.0.000000000000013", true, 1, 0, 13},   // leading zeros never overflow
        VersionCase{L"4294967297.0.0", true, INT32_MAX, 0, 0}, // 2^32 + 1 must not wrap to 1
        VersionCase{L"", false, 0, 0, 0}, VersionCase{L"1013", false, 0, 0, 0}, VersionCase{L"..", true, 0, 0, 0},
        VersionCase{L"1.0.", true, 1, 0, 0}, VersionCase{L"\t\r\n\v\f 1.0.13", true, 1, 0, 13},
        VersionCase{L"1.0.+-3", true, 1, 0, 0},  // one sign only
        VersionCase{L"1.0.1 3", true, 1, 0, 1},  // stops at the blank
        VersionCase{L"1.0.0x1F", true, 1, 0, 0}, // decimal only
        VersionCase{L"v1.0.13", true, 0, 0, 13}, VersionCase{L"1,0,13", false, 0, 0, 0}));

// Strings cannot carry a NUL inside a literal, so this case is built apart:
// the text must not end at an embedded NUL, and a NUL is not a digit.
TEST(VersionText, EmbeddedNulIsAnOrdinaryCharacter)
{
    const std::wstring text(L"1.0\0.13", 7);
    std::int32_t major = 0, minor = 0, build = 0;
    ASSERT_TRUE(ParseVersionString(text, major, minor, build));
    EXPECT_EQ(1, major);
    EXPECT_EQ(0, minor);
    EXPECT_EQ(13, build);
}

// The field reader stands in for the run time's wcstol (long has 32 bits on
// Windows); for ASCII text they must agree exactly, overflow included.
TEST(VersionField, AgreesWithTheRunTimeOnAsciiText)
{
    std::vector<std::wstring> texts;
    const wchar_t alphabet[] = L" \t+-079x.";
    const std::size_t n = sizeof(alphabet) / sizeof(alphabet[0]) - 1;
    texts.push_back(L"");
    for (std::size_t a = 0; a < n; ++a) {
        texts.push_back(std::wstring(1, alphabet[a]));
        for (std::size_t b = 0; b < n; ++b) {
            texts.push_back(std::wstring{alphabet[a], alphabet[b]});
            for (std::size_t c = 0; c < n; ++c)
                texts.push_back(std::wstring{alphabet[a], alphabet[b], alphabet[c]});
        }
    }
    for (const wchar_t* big :
         {L"2147483646", L"2147483647", L"2147483648", L"2147483650", L"9999999999", L"21474836470", L"4294967295",
          L"4294967296", L"18446744073709551617", L"000000000000000000002147483647"}) {
        texts.push_back(big);
        texts.push_back(std::wstring(L"-") + big);
        texts.push_back(std::wstring(L" +") + big);
        texts.push_back(std::wstring(big) + L"1");
    }
    for (wchar_t c = 1; c < 128; ++c)
        texts.push_back(std::wstring(1, c) + L"42");
    for (const std::wstring& text : texts) {
        const long expected = std::wcstol(text.c_str(), nullptr, 10);
        EXPECT_EQ(static_cast<std::int32_t>(expected), ParseVersionField(text))
            << "text: \"" << testing::PrintToString(text) << "\"";
    }
}

} // namespace
