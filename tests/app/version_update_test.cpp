#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "app/core.h"
#include "app_fixture.h"
#include "foundation/catalogue.h"
#include "foundation/parameters.h"

namespace qel {
namespace {

class VersionUpdate : public test::AppTest {
protected:
    // parameters.xml as a program of `version` left it, with RANGE changed from its default
    // (40) to 60; memory back at the defaults, as at process start.
    void writeOldFile(const std::string& version)
    {
        PROGRAM_VERSION.assign(version);
        RANGE.current = 60;
        SCAN_LIVERIES.current = false;
        gf_saveParameters(false);
        test::resetAllSettings();
    }

    std::string stored(const char* key)
    {
        pugi::xml_document document;
        document.load_file(parametersFile().c_str());
        return gf_readStringParameter(document, key).value_or("<missing>");
    }

    bool logged(const std::string& line) { return log_.contains(line); }
};

TEST_F(VersionUpdate, OlderFilesAreStampedAndTooOldOnesReplacedByDefaults)
{
    struct Case {
        std::string version;
        std::string updateLine;  // empty: no update is logged
        bool defaults;
    };
    const Case cases[] = {
        {"11.0.1", "This is a version update from 11.0.1 -> 11.14.0", true},
        {"11.0.2", "This is a version update from 11.0.2 -> 11.14.0", false},
        {"11.13.9", "This is a version update from 11.13.9 -> 11.14.0", false},
        {"11.14.0", "", false},
        {"12.0.0", "", false},
        {"garbage", "This is a version update from 0.0.0 -> 11.14.0", true},
    };
    for (const auto& c : cases) {
        writeOldFile(c.version);
        const auto before = log_.lines().size();

        lf_convertParameters();

        const auto lines = log_.lines();
        bool updateLogged = false;
        int tooOldLines = 0;
        for (auto i = before; i < lines.size(); ++i) {
            updateLogged |= lines[i].starts_with("This is a version update");
            tooOldLines += lines[i] == "Your previous version was too old to convert the old text "
                                       "box parameters to the newdropbox values." ||
                           lines[i] == "VNTQ re-starts with default parameter values ...";
            if (!c.updateLine.empty() && lines[i].starts_with("This is a version update")) {
                EXPECT_EQ(lines[i], c.updateLine);
            }
        }
        EXPECT_EQ(updateLogged, !c.updateLine.empty()) << c.version;
        EXPECT_EQ(tooOldLines, c.defaults ? 2 : 0) << c.version;
        EXPECT_EQ(stored("PROGRAM_VERSION"), "11.14.0") << c.version;
        EXPECT_EQ(PROGRAM_VERSION.value(), "11.14.0") << c.version;
        // Memory and file agree: the old values stay, or both go back to the defaults.
        EXPECT_EQ(stored("RANGE"), c.defaults ? "40" : "60") << c.version;
        EXPECT_EQ(RANGE.current, c.defaults ? 40 : 60) << c.version;
        EXPECT_EQ(SCAN_LIVERIES.current, c.defaults) << c.version;
    }
}

TEST_F(VersionUpdate, FirstStartMakesBothScansDue)
{
    ASSERT_FALSE(std::filesystem::exists(parametersFile()));
    lf_convertParameters();
    EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
    EXPECT_EQ(stored("SCAN_AIRPORTS"), "true");
    EXPECT_EQ(stored("PROGRAM_VERSION"), "11.14.0");
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_FALSE(log_.contains("This is a version update from 0.0.0 -> 11.14.0"));
}

TEST_F(VersionUpdate, UpdateRemovesTheUnpackedNewVersion)
{
    std::filesystem::create_directories("new_version/bin");
    test::writeFile("new_version/bin/vntq", "x");
    writeOldFile("11.10.0");
    lf_convertParameters();
    EXPECT_FALSE(std::filesystem::exists("new_version"));

    // Without an update the folder is left alone.
    std::filesystem::create_directories("new_version");
    lf_convertParameters();
    EXPECT_TRUE(std::filesystem::exists("new_version"));
}

}  // namespace
}  // namespace qel
