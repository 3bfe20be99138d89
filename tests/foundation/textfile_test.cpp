#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/textfile.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::TempDir;
using Lines = std::vector<std::string>;

std::string lf_bytes(std::initializer_list<unsigned char> values)
{
    return std::string(values.begin(), values.end());
}

// A valid UTF-8 text of `size` bytes with the two bytes of 'é' at [at, at + 1].
std::string lf_utf8WithEAcuteAt(std::size_t size, std::size_t at)
{
    std::string text(size, 'a');
    text[at] = '\xC3';
    text[at + 1] = '\xA9';
    return text;
}

struct CharsetCase {
    const char* name;
    std::string bytes;
    Charset charset;
    Lines lines;
};

TEST(TextFile, DetectsCharsetAndReadsUtf8Lines)
{
    const std::vector<CharsetCase> cases = {
        {"ansi", "caf\xE9 \x80\r\nx", Charset::ANSI, {"caf\xC3\xA9 \xE2\x82\xAC", "x"}},
        {"utf8", "caf\xC3\xA9\n\xF0\x9F\x98\x80", Charset::UTF8_without_BOM,
         {"caf\xC3\xA9", "\xF0\x9F\x98\x80"}},
        {"utf8 bom", "\xEF\xBB\xBFna\xC3\xAFve\r\n", Charset::UTF8_with_BOM,
         {"na\xC3\xAFve", ""}},
        {"utf16le bom", lf_bytes({0xFF, 0xFE, 'a', 0, 0xE9, 0, '\n', 0, 'b', 0}),
         Charset::Unicode, {"a\xC3\xA9", "b"}},
        {"utf16be bom", lf_bytes({0xFE, 0xFF, 0, 'A', 0x20, 0xAC}), Charset::Unicode_big_endian,
         {"A\xE2\x82\xAC"}},
        {"utf16le bare", lf_bytes({'A', 0, 'B', 0, '\r', 0, '\n', 0, 'C', 0}), Charset::Unicode,
         {"AB", "C"}},
        {"utf16be bare", lf_bytes({0, 'A', 0, 'B'}), Charset::Unicode_big_endian, {"AB"}},
        {"utf16 odd last byte", lf_bytes({0xFF, 0xFE, 'o', 0, 'k', 0, 'x'}), Charset::Unicode,
         {"ok"}},
        {"char across window end", lf_utf8WithEAcuteAt(5000, 4095), Charset::UTF8_without_BOM,
         {lf_utf8WithEAcuteAt(5000, 4095)}},
        {"cut by end of file", "ab\xC3", Charset::ANSI, {"ab\xC3\x83"}},
        {"bad continuation after window", lf_utf8WithEAcuteAt(5000, 4095).replace(4096, 1, "a"),
         Charset::ANSI, {}},
        {"overlong", "\xC0\x80", Charset::ANSI, {"\xC3\x80\xE2\x82\xAC"}},
        {"overlong 3 bytes", "\xE0\x80\x80", Charset::ANSI, {}},
        {"above U+10FFFF", "\xF4\x90\x80\x80", Charset::ANSI, {}},
        {"empty", "", Charset::UTF8_without_BOM, {}},
        {"lines", "a\r\nb\n", Charset::UTF8_without_BOM, {"a", "b", ""}},
        {"cr before cr lf", "a\r\r\n", Charset::UTF8_without_BOM, {"a\r", ""}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const auto file = dir / "file.txt";
        test::writeFile(file, c.bytes);
        EXPECT_EQ(gf_detectCharset(file), c.charset) << c.name;
        Lines lines{"left over"};
        EXPECT_TRUE(gf_readTextFile(c.charset, file, lines)) << c.name;
        // Cases with lines {} are only checked for their charset.
        if (!c.lines.empty() || c.bytes.empty()) {
            EXPECT_EQ(lines, c.lines) << c.name;
        }
    }
}

TEST(TextFile, MissingFileIsNoneFoundAndNotRead)
{
    TempDir dir;
    EXPECT_EQ(gf_detectCharset(dir / "missing.txt"), Charset::none_found);
    Lines lines{"stale"};
    EXPECT_FALSE(gf_readTextFile(Charset::UTF8_without_BOM, dir / "missing.txt", lines));
    EXPECT_TRUE(lines.empty());

    TextFileLines file{dir / "missing.txt", {"stale"}};
    const FileLinesResult result = gf_readFileLines(file, 1024);
    EXPECT_EQ(result.error, "open_failed");
    EXPECT_TRUE(file.lines.empty());
}

TEST(TextFile, UnreadableCharsetThrowsAndBadUtf16IsReportedOnTheMessageLine)
{
    TempDir dir;
    const auto file = dir / "f.txt";
    test::writeFile(file, lf_bytes({0xFF, 0xFE, 0x00, 0xD8, 'a', 0}));  // a lone surrogate
    Lines lines;
    try {
        gf_readTextFile(Charset::none_found, file, lines);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "file " + file.string() + " has unknown charset: none_found");
    }

    test::CapturedLog log;
    EXPECT_FALSE(gf_readTextFile(Charset::Unicode, file, lines));
    EXPECT_EQ(log.lines(), Lines{"Read failed for '" + file.string() +
                                 "': wide_to_utf8: invalid UTF-16"});
}

TEST(TextFile, CharsetNamesAndOutOfRange)
{
    EXPECT_EQ(gf_charsetName(Charset::ANSI), "ANSI");
    EXPECT_EQ(gf_charsetName(Charset::Unicode_big_endian), "Unicode_big_endian");
    EXPECT_EQ(gf_charsetName(Charset::none_found), "none_found");
    try {
        gf_charsetName(static_cast<Charset>(6));
        FAIL() << "no exception";
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "invalid map<K, T> key");
    }
}

TEST(TextFile, ReadFileLinesGivesAViewOfTheLines)
{
    TempDir dir;
    test::writeFile(dir / "codes.txt", "\xEF\xBB\xBF" "A1\r\nB2");
    TextFileLines file{dir / "codes.txt", {}};
    const FileLinesResult result = gf_readFileLines(file, 1024);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(Lines(result.lines.begin(), result.lines.end()), (Lines{"A1", "B2"}));
    EXPECT_GE(file.lines.capacity(), 1024U);
}

}  // namespace
}  // namespace qel
