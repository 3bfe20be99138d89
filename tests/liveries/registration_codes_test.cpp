#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "liveries/liveries.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel {

// Compared field by field so that a failing case prints what differs.
bool operator==(const RegcodeRecord& a, const RegcodeRecord& b)
{
    return a.title == b.title && a.codes == b.codes && a.special == b.special;
}
void PrintTo(const RegcodeRecord& r, std::ostream* out)
{
    *out << "{" << r.title << " [" << fmt::format("{}", fmt::join(r.codes, ",")) << "] "
         << r.special << "}";
}

namespace {

using test::CapturedLog;
using test::ScopedWorkDir;
using test::TempDir;
using test::writeEncrypted;
using test::writeFile;

const std::string meta = R"(<meta><info name="author" value="VNTQ"/>)"
                         R"(<info name="copyright" value="(c) VNTQ"/></meta>)";

std::string aigXml(const std::string& lines, const std::string& head = meta)
{
    return "<?xml version=\"1.0\"?>\n<root>" + head + "<aig>" + lines + "</aig></root>\n";
}

TEST(RegcodeTextFiles, EachLineGivesAtMostOneRecord)
{
    struct Case {
        std::string line;
        std::vector<RegcodeRecord> records;
        std::vector<std::string> wrongCodes;  // logged, and the result false
    };
    const std::vector<Case> cases = {
        {"Title1;ABC", {{"Title1", {"ABC"}, true}}, {}},
        {"Title1;DEF,ABC", {{"Title1", {"ABC", "DEF"}, false}}, {}},
        {"Title1;DEF,ABC;#", {{"Title1", {"ABC", "DEF"}, true}}, {}},
        {"Title1;DEF,ABC;x", {{"Title1", {"ABC", "DEF"}, false}}, {}},
        {"Title1; D-AIAB , D-AIAC ;#", {{"Title1", {"D-AIAB", "D-AIAC"}, true}}, {}},
        {"Title1;ABC,ABC", {{"Title1", {"ABC"}, true}}, {}},
        {"Title1;AB", {}, {"AB"}},
        {"Title1;ABCDEFGHIJKLM", {}, {"ABCDEFGHIJKLM"}},
        {"Title1;AB,CDE", {{"Title1", {"CDE"}, false}}, {"AB"}},
        {"Title1;AB,CD;#", {{"Title1", {}, false}}, {"AB", "CD"}},
        {"Title1;", {{"Title1", {}, false}}, {}},
        {"Title1", {{"Title1", {}, false}}, {}},
        {"T;ABC", {}, {}},  // shorter than 6 bytes
        {"Title1;ABC;#;x", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir folder;
        const auto file = folder / "codes.TXT";
        writeFile(file, c.line + "\r\n");
        CapturedLog log;
        std::vector<RegcodeRecord> records;
        EXPECT_EQ(gf_readRegcodeFiles(folder.path(), records), c.wrongCodes.empty());
        EXPECT_EQ(records, c.records);
        std::vector<std::string> expectedLog;
        for (const auto& code : c.wrongCodes) {
            expectedLog.push_back(
                fmt::format("==> wrong regcode length '{}' in {}", code, file.string()));
        }
        expectedLog.push_back(fmt::format("{:5} {} read from {}", records.size(),
                                          records.size() == 1 ? "livery" : "liveries",
                                          file.string()));
        EXPECT_EQ(log.lines(), expectedLog);
    }
}

TEST(RegcodeTextFiles, OnlyTxtFilesDirectlyInTheFolderAreRead)
{
    TempDir folder;
    writeFile(folder / "lower.txt", "Title lower;ABC\n");
    writeFile(folder / "upper.TXT", "Title upper;DEF\nshort\nTitle upper 2;GHI\n");
    writeFile(folder / "kept.TXT.bak", "Title bak;JKL\n");
    writeFile(folder / "other.dat", "Title dat;MNO\n");
    std::filesystem::create_directory(folder / "sub");
    writeFile(folder / "sub" / "deep.TXT", "Title deep;PQR\n");
    std::filesystem::create_directory(folder / "dir.TXT");

    CapturedLog log;
    std::vector<RegcodeRecord> records{{"Earlier title", {}, false}};
    EXPECT_TRUE(gf_readRegcodeFiles(folder.path(), records));

    std::vector<std::string> titles;
    for (const auto& r : records) titles.push_back(r.title);
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Earlier title", "Title lower", "Title upper",
                                                "Title upper 2"}));
    // One line per file, counting every record in the vector so far; the order of the files
    // is the folder's.
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    const bool lowerFirst = lines[0].find("lower.txt") != std::string::npos;
    const auto lowerPath = (folder / "lower.txt").string();
    const auto upperPath = (folder / "upper.TXT").string();
    const std::vector<std::string> expected =
        lowerFirst ? std::vector<std::string>{"    2 liveries read from " + lowerPath,
                                              "    4 liveries read from " + upperPath}
                   : std::vector<std::string>{"    3 liveries read from " + upperPath,
                                              "    4 liveries read from " + lowerPath};
    EXPECT_EQ(lines, expected);
}

TEST(RegcodeTextFiles, AFolderThatCannotBeListedFails)
{
    TempDir parent;
    const auto folder = parent / "missing";
    CapturedLog log;
    std::vector<RegcodeRecord> records;
    EXPECT_FALSE(gf_readRegcodeFiles(folder, records));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with(
        fmt::format("==> Error reading regcode files in {}, what: ", folder.string())))
        << lines[0];
}

class AigRegcodes : public ::testing::Test {
protected:
    ScopedWorkDir work_;
};

TEST_F(AigRegcodes, ReadsTitlesCodesAndSpecialFlags)
{
    writeFile("input/AIG-regcodes.xml",
              aigXml(R"(<l t="AIG A320 Lufthansa" r="D-AIAC,D-AIAB"/>)"
                     R"(<l t="AIG A320 Lufthansa" r="D-AIAX"/>)"
                     R"(<l r="D-ABCD"/><l t=""/>)"
                     R"(<l t="AIG B744 Special" r="D-ABVM" s="true"/>)"
                     R"(<l t="AIG A320 Lufthansa" s="1"/>)"
                     R"(<l t="AIG Do not use"/>)"));
    CapturedLog log;
    std::vector<RegcodeRecord> records;
    EXPECT_FALSE(gf_readAigRegcodesXml(records));  // the repeated title makes it false
    EXPECT_EQ(records, (std::vector<RegcodeRecord>{
                           {"AIG A320 Lufthansa", {"D-AIAB", "D-AIAC"}, false},
                           {"AIG B744 Special", {"D-ABVM"}, true},
                           {"AIG A320 Lufthansa", {}, true},
                           {"AIG Do not use", {}, false}}));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "==> Duplicate title 'AIG A320 Lufthansa' (same as previous)",
                               "    4 liveries read from AIG-regcodes.xml"}));
    // The caller removes the file.
    EXPECT_TRUE(std::filesystem::exists("input/AIG-regcodes.xml"));
}

TEST_F(AigRegcodes, FilesWithoutMetaBlockOrAigElementFail)
{
    struct Case {
        const char* name;
        std::optional<std::string> xml;  // nothing: no file
        std::vector<std::string> log;
        bool fileLeft;
    };
    const std::vector<Case> cases = {
        {"no meta block",
         aigXml(R"(<l t="AIG A320" r="D-AIAB"/>)", ""),
         {"==> input/AIG-regcodes.xml not read: no meta block"},
         true},
        {"no aig element",
         "<root>" + meta + "<other/></root>",
         {"==> No <aig> node found in XML."},
         true},
        {"not XML", "<root><aig></root>", {"==> Failed to load input/AIG-regcodes.xml"}, false},
        {"no file", std::nullopt, {"==> Failed to load input/AIG-regcodes.xml"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove("input/AIG-regcodes.xml");
        if (c.xml) writeFile("input/AIG-regcodes.xml", *c.xml);
        CapturedLog log;
        std::vector<RegcodeRecord> records;
        EXPECT_FALSE(gf_readAigRegcodesXml(records));
        EXPECT_TRUE(records.empty());
        EXPECT_EQ(log.lines(), c.log);
        EXPECT_EQ(std::filesystem::exists("input/AIG-regcodes.xml"), c.fileLeft);
    }
}

TEST_F(AigRegcodes, EncryptedFileIsReadAndItsPlainTextAlwaysRemoved)
{
    // Enough elements to span several 4096-byte pieces of the data file.
    std::string lines;
    for (int i = 0; i < 300; ++i) {
        lines += fmt::format(R"(<l t="AIG Title {:03}" r="D-A{:03}"/>)", i, i);
    }
    struct Case {
        const char* name;
        std::optional<std::string> plain;  // nothing: no .enc file
        bool result;
        std::size_t records;
    };
    const std::vector<Case> cases = {
        {"good file", aigXml(lines), true, 300},
        {"no aig element", "<root>" + meta + "</root>", false, 0},
        {"no meta block", aigXml(lines, ""), false, 0},
        {"no data file", std::nullopt, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove("input/AIG-regcodes.enc");
        if (c.plain) writeEncrypted("input/AIG-regcodes.enc", *c.plain);
        writeFile("input/AIG-regcodes.xml", "stale");  // left over from an earlier run
        std::vector<RegcodeRecord> records;
        EXPECT_EQ(gf_readAigRegcodes(records), c.result);
        EXPECT_EQ(records.size(), c.records);
        EXPECT_FALSE(std::filesystem::exists("input/AIG-regcodes.xml"));
    }
}

}  // namespace
}  // namespace qel
