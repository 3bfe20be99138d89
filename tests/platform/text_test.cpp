#include "platform/text.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace qel {
namespace {

TEST(TextConversion, RoundTripsEveryEncodingLength)
{
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"\x7F", u"\u007F"},
        {"\xC2\x80", u"\u0080"},
        {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF0\x9D\x84\x9E", u"\U0001D11E"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(utf8_to_wide(c.utf8), c.utf16);
        EXPECT_EQ(wide_to_utf8(c.utf16), c.utf8);
    }
}

template <typename Convert>
void lf_expectRuntimeError(Convert convert, const std::string& message)
{
    try {
        convert();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(TextConversion, RejectsEveryKindOfInvalidInput)
{
    const std::string invalidUtf8[] = {
        "\x80",                  // continuation byte without a lead
        "a\xBF" "b",             // the same inside text
        "\xC0\x80",              // overlong NUL
        "\xC1\xBF",              // overlong 2-byte form
        "\xE0\x9F\xBF",          // overlong 3-byte form
        "\xF0\x8F\xBF\xBF",      // overlong 4-byte form
        "\xED\xA0\x80",          // high surrogate encoded
        "\xED\xBF\xBF",          // low surrogate encoded
        "\xF4\x90\x80\x80",      // U+110000
        "\xF5\x80\x80\x80",      // lead byte past U+10FFFF
        "\xFF",                  // never a UTF-8 byte
        "\xC3",                  // truncated 2-byte sequence
        "\xE2\x82",              // truncated 3-byte sequence
        "\xF0\x9D\x84",          // truncated 4-byte sequence
        "\xE2(\xA1",             // ASCII where a continuation belongs
        "\xE2\x82\xAC\xE2\x82",  // valid, then truncated
    };
    for (const auto& bytes : invalidUtf8) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        lf_expectRuntimeError([&] { utf8_to_wide(bytes); }, "utf8_to_wide: invalid UTF-8");
    }

    const std::u16string invalidUtf16[] = {
        std::u16string(1, u'\xD800'),                    // high surrogate at the end
        std::u16string(1, u'\xDC00'),                    // lone low surrogate
        std::u16string{u'\xDC00', u'\xD800'},            // pair in the wrong order
        std::u16string{u'\xD800', u'a'},                 // high followed by a plain unit
        std::u16string{u'\xD800', u'\xD800', u'\xDC00'}, // two highs, one low
        std::u16string{u'a', u'\xDBFF'},                 // valid, then a lone high
    };
    for (const auto& units : invalidUtf16) {
        SCOPED_TRACE(units.size());
        lf_expectRuntimeError([&] { wide_to_utf8(units); }, "wide_to_utf8: invalid UTF-16");
    }
}

TEST(AnsiCodePage, MapsWindows1252Bytes)
{
    struct Case {
        unsigned char byte;
        char16_t expected;
    };
    const Case cases[] = {
        {0x41, u'A'},       {0x80, u'\u20AC'}, {0x81, u'\u0081'}, {0x8A, u'\u0160'},
        {0x8D, u'\u008D'},  {0x8F, u'\u008F'}, {0x90, u'\u0090'}, {0x99, u'\u2122'},
        {0x9D, u'\u009D'},  {0x9F, u'\u0178'}, {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'},
        {0xFF, u'\u00FF'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.byte));
        EXPECT_EQ(platform::ansiToWide(std::string(1, static_cast<char>(c.byte))),
                  std::u16string(1, c.expected));
    }
}

TEST(AnsiCodePage, GivesEveryByteItsOwnCharacter)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const auto wide = platform::ansiToWide(all);
    ASSERT_EQ(wide.size(), 256U);
    EXPECT_EQ(std::set<char16_t>(wide.begin(), wide.end()).size(), 256U);
    EXPECT_NO_THROW(wide_to_utf8(wide));
}

TEST(AnsiCodePage, StrictValidityRejectsOnlyTheUndefinedBytes)
{
    EXPECT_TRUE(platform::ansiIsStrictlyValid(""));
    EXPECT_TRUE(platform::ansiIsStrictlyValid("caf\xE9 \x80\x9F\xA0\xFF"));
    for (const char* undefined : {"\x81", "\x8D", "\x8F", "\x90", "x\x9Dy"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(undefined)));
        EXPECT_FALSE(platform::ansiIsStrictlyValid(undefined));
    }
}

}  // namespace
}  // namespace qel
