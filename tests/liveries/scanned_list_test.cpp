#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "liveries/scanned_liveries.h"
#include "liveries_fixtures.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::CapturedLog;
using test::TempDir;
using test::writeFile;

Livery listed(std::string title, std::string airline, std::string model,
              std::string registration = "", std::string operatorCode = "", bool cargo = false,
              uint16_t folder = 0)
{
    Livery l;
    l.title = std::move(title);
    l.registration = std::move(registration);
    l.key.airline = gf_airlineIndex(airline);
    l.key.operatorId = gf_airlineIndex(operatorCode);
    l.key.model = gf_modelIndex(model);
    l.key.cargo = cargo ? 1 : 0;
    l.folderNumber = folder;
    return l;
}

class ScannedList : public test::LiveriesTest {
protected:
    void SetUp() override
    {
        LiveriesTest::SetUp();
        gf_airlineIndex("");
        gf_modelIndex("");
    }
    TempDir dir_;
    std::filesystem::path file_ = dir_ / "LiveriesScanned.xml";
};

TEST_F(ScannedList, WritesAndReadsBackInOrder)
{
    // Written in sorted order: "AB" before "ABC" before "ABD"; equal keys keep their order.
    LiveryList written = {
        listed("AB A320", "AB", "A320", "", "", false, 3),
        listed("ABC freighter", "ABC", "B738", "D-ABCD", "BOX", true, 1),
        listed("ABD one", "ABD", "A320", "D-AIAA"),
        listed("ABD one", "ABD", "A320", "D-AIAB"),
        listed("Private", "PVT", "C172"),
    };
    LiveryList sorted = written;
    sorted.reverse();
    gf_sortLiveries(sorted);
    std::vector<std::string> registrations;
    for (const auto& l : sorted) registrations.push_back(l.registration);
    // The two equal liveries swapped by the reverse stay swapped: the sort is stable.
    EXPECT_EQ(registrations, (std::vector<std::string>{"", "D-ABCD", "D-AIAB", "D-AIAA", ""}));

    CapturedLog log;
    gf_writeLiveriesScanned(written, file_, 2);
    EXPECT_TRUE(log.contains(fmt::format("5 liveries in {}", file_.string())));
    const std::string text = test::readFile(file_);
    EXPECT_NE(text.find(R"(<l a="ABC" o="BOX" m="B738" c="true" t="ABC freighter" r="D-ABCD" />)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(R"(<l a="PVT" m="C172" t="Private" />)"), std::string::npos);

    LiveryList read;
    gf_readLiveriesScanned(file_, read);
    for (auto& l : written) l.folderNumber = 0;
    EXPECT_EQ(std::vector<Livery>(read.begin(), read.end()),
              std::vector<Livery>(written.begin(), written.end()));
    EXPECT_TRUE(log.contains(fmt::format("    5 liveries read from {}", file_.string())));
}

TEST_F(ScannedList, EmptyListWritesNothing)
{
    gf_writeLiveriesScanned({}, file_, 1);
    EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(ScannedList, ReaderErrors)
{
    struct Case {
        const char* name;
        std::string body;  // the file's text; "" for no file
        std::string message;
        std::size_t keptLiveries;
    };
    const std::string path = file_.string();
    const std::vector<Case> cases = {
        {"missing file", "", fmt::format("51: File {} not found", path), 0},
        {"not well-formed", "<root><liveries>", fmt::format("51: File {} not found", path), 0},
        {"no liveries section", "<root><other/></root>",
         fmt::format("52: {} does not contain a <liveries> section", path), 0},
        {"no root", "<top><liveries><l a='X' m='Y' t='Z'/></liveries></top>",
         fmt::format("533: {} does not contain liveries", path), 0},
        {"empty section", "<root><liveries/></root>",
         fmt::format("533: {} does not contain liveries", path), 0},
        {"missing title", "<root><liveries><l a='DLH' m='A320' t=''/><x a='DLH' m='A320'/>"
                          "</liveries></root>",
         "999: Missing required attribute 't' in <x>", 1},
        {"stray text", "<root><liveries><l a='DLH' m='A320' t='T'/>text</liveries></root>",
         "999: Missing required attribute 'a' in <>", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(file_);
        if (!c.body.empty()) writeFile(file_, c.body);
        LiveryList read = {listed("old", "DLH", "A320")};
        try {
            gf_readLiveriesScanned(file_, read);
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(read.size(), c.keptLiveries);
    }
}

TEST_F(ScannedList, AnyElementNameIsALivery)
{
    writeFile(file_, "<root><liveries><x a='DLH' m='A320' t=''/></liveries></root>");
    LiveryList read;
    gf_readLiveriesScanned(file_, read);
    ASSERT_EQ(read.size(), 1U);
    EXPECT_EQ(read.front(), listed("", "DLH", "A320"));
}

}  // namespace
}  // namespace qel
