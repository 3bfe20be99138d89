// Version numbers from dotted text and from versions.json objects.
#include "foundation/version.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/log.h"
#include "support/test_support.h"

namespace qel {
namespace {

TEST(VersionData, ReadsDottedTextAndJsonObjects)
{
    test::CapturedLog log;
    const struct {
        std::string text;
        VersionData expected;
        std::string logged;  // "" for none
    } cases[] = {
        {"11.14.0", {11, 14, 0}, ""},
        {"0.0.1", {0, 0, 1}, ""},
        {"011.002.003", {11, 2, 3}, ""},
        {" \t{\"major\": 11, \"minor\": 14, \"patch\": 0}\r\n ", {11, 14, 0}, ""},
        {R"({"patch":3,"minor":2,"major":1,"extra":"x"})", {1, 2, 3}, ""},
        {"11.14", {}, "VersionData exception: invalid version format"},
        {"v11.14.0", {}, "VersionData exception: invalid version format"},
        {" 11.14.0", {}, "VersionData exception: invalid version format"},
        {"11.14.0.1", {}, "VersionData exception: invalid version format"},
        {"", {}, "VersionData exception: invalid version format"},
        {"   ", {}, "VersionData exception: invalid version format"},
        {"[11,14,0]", {}, "VersionData exception: invalid version format"},
        {"1.2.99999999999", {1, 2, 0}, "VersionData exception: parse error in version string"},
        {"99999999999.2.3", {}, "VersionData exception: parse error in version string"},
        {R"({"major":11,"minor":14})", {11, 14, 0},
         "VersionData exception: [json.exception.out_of_range.403] key 'patch' not found"},
        {R"({"major":1e20,"minor":1,"patch":2})", {},
         "VersionData exception: parse error in version string"},
        {R"({"major":1,"minor":-3000000000,"patch":2})", {1, 0, 0},
         "VersionData exception: parse error in version string"},
        {R"({"major":1,"minor":2,"patch":18446744073709551615})", {1, 2, 0},
         "VersionData exception: parse error in version string"},
        {"1." + std::string(40000, '7') + ".0", {1, 0, 0},
         "VersionData exception: parse error in version string"},
        {R"({"major":11,"minor":"14","patch":0})", {11, 0, 0},
         "VersionData exception: [json.exception.type_error.302] type must be number, but is "
         "string"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("'" + c.text + "'");
        const auto before = log.lines().size();
        const VersionData version(c.text);
        EXPECT_EQ(version, c.expected) << version.text();
        const auto lines = log.lines();
        if (c.logged.empty()) {
            EXPECT_EQ(lines.size(), before);
        } else {
            ASSERT_EQ(lines.size(), before + 1);
            EXPECT_EQ(lines.back(), c.logged);
        }
    }
    // A JSON syntax error is logged with the parser's text.
    const VersionData broken("{\"major\":");
    EXPECT_EQ(broken, VersionData{});
    EXPECT_TRUE(
        log.lines().back().starts_with("VersionData exception: [json.exception.parse_error"));
}

TEST(VersionData, PrintsAndComparesFieldByField)
{
    EXPECT_EQ(g_programVersion.text(), "11.14.0");
    EXPECT_EQ(VersionData(1, 22, 333).text(), "1.22.333");
    EXPECT_LT(VersionData(11, 13, 99), VersionData(11, 14, 0));
    EXPECT_LT(VersionData(10, 99, 99), VersionData(11, 0, 0));
    EXPECT_LT(VersionData(11, 14, 0), VersionData(11, 14, 1));
    EXPECT_LT(VersionData("garbage"), VersionData(0, 0, 1));
}

}  // namespace
}  // namespace qel
