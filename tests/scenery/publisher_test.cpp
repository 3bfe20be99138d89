// Publisher detection: the simulator's own airports by name, the publisher patterns, and the
// package manifest found below "Community" or on the way up.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scenery/addon_archives.h"
#include "scenery/publisher.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using namespace test;

class Publisher : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_addonArchives.publisherOf = [](std::string_view text) -> std::optional<std::string> {
            if (text.find("flytampa") != std::string_view::npos) return "FlyTampa";
            if (text.find("Aerosoft") != std::string_view::npos) return "Aerosoft";
            return std::nullopt;
        };
    }
    void TearDown() override { g_addonArchives = {}; }

    std::vector<std::string> find(const fs::path& path, PublisherInfo& info)
    {
        std::vector<ScanLine> lines;
        info = gf_findPublisher(path, lines);
        std::vector<std::string> texts;
        for (const auto& l : lines) texts.push_back(l.text);
        return texts;
    }

    TempDir dir_;
};

TEST_F(Publisher, ByNameByPatternAndByManifest)
{
    const fs::path community = dir_ / "Community";
    writeFile((fs::create_directories(community / "a/scenery/global"), community / "a/manifest.json"),
              R"({"manufacturer": "Aerosoft GmbH", "creator": "Jane", "title": "EDDF"})");
    fs::create_directories(community / "b/scenery");
    writeFile(community / "b/manifest.json", R"({"manufacturer": null, "creator": "Aerosoft"})");
    fs::create_directories(community / "c/scenery");
    writeFile(community / "c/manifest.json", R"({"manufacturer": null, "creator": ""})");
    fs::create_directories(community / "d/scenery");
    writeFile(community / "d/manifest.json", R"({"manufacturer": 5})");
    fs::create_directories(community / "e/scenery");
    writeFile(community / "e/Manifest.json", R"({"manufacturer": "Aerosoft"})");
    fs::create_directories(community / "f/scenery");
    writeFile(community / "f/manifest.json", std::string(100, '[') + std::string(100, ']'));

    struct Case {
        fs::path path;
        std::string publisher;
        std::vector<std::string> lines;  // after "Try to find publisher in"
    };
    const std::string a = (community / "a/manifest.json").string();
    const std::vector<Case> cases = {
        {"/x/Community/Microsoft-Airport-EGLL/scenery/b.bgl", "simaddon",
         {"from filename => publisher simaddon"}},
        {"/x/Community/flytampa-kbos/scenery/b.bgl", "FlyTampa", {"publisher 'FlyTampa' found"}},
        {community / "a/scenery/global/b.bgl", "Aerosoft",
         {a + " found", "from manifest.json: manufacturer 'Aerosoft GmbH' => publisher 'Aerosoft'"}},
        {community / "b/scenery/b.bgl", "Aerosoft",
         {(community / "b/manifest.json").string() + " found",
          "from manifest.json: creator 'Aerosoft' => publisher 'Aerosoft'"}},
        {community / "c/scenery/b.bgl", "",
         {(community / "c/manifest.json").string() + " found",
          "no valid info found in manifest about publisher, manufacturer:'', creator:'' " +
              (community / "c/scenery/b.bgl").string()}},
        {community / "d/scenery/b.bgl", "",
         {(community / "d/manifest.json").string() + " found",
          "exception in gf_searchManifest: [json.exception.type_error.302] type must be string, "
          "but is number",
          "===> No publisher found"}},
        {community / "e/scenery/b.bgl", "", {"===> No publisher found"}},
        {community / "f/scenery/b.bgl", "",
         {(community / "f/manifest.json").string() + " found",
          "exception in gf_searchManifest: manifest nests too deep", "===> No publisher found"}},
    };
    for (const auto& c : cases) {
        PublisherInfo info;
        auto lines = find(c.path, info);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), "\nTry to find publisher in: " + c.path.string());
        lines.erase(lines.begin());
        EXPECT_EQ(info.publisher, c.publisher) << c.path;
        EXPECT_EQ(lines, c.lines) << c.path;
    }
    PublisherInfo info;
    find(community / "a/scenery/global/b.bgl", info);
    EXPECT_EQ(info.manufacturer, "Aerosoft GmbH");
    EXPECT_EQ(info.creator, "Jane");
}

TEST_F(Publisher, ManifestTextsThatAreNoObjectOrNoJson)
{
    EXPECT_EQ(lf_parseManifest("[1, 2]"), std::nullopt);
    EXPECT_EQ(lf_parseManifest(R"({"title": "London"})")->title, "London");
    EXPECT_EQ(lf_parseManifest(R"({"title": [], "creator": {}})")->title, "");
    EXPECT_THROW(lf_parseManifest("{"), std::runtime_error);
    EXPECT_EQ(lf_parseManifest(R"({"creator": "Ja\u0000ne"})")->creator, "Jane");
    // Brackets inside a text (after an escaped quote) are no nesting.
    EXPECT_EQ(lf_parseManifest(R"({"title": "\"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})")->title,
              "\"" + std::string(36, '['));
}

}  // namespace
}  // namespace qel
