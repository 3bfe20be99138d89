// parameters.xml: reading with clamping and defaults, whole-file and single-setting writes, the
// old layout without `root`, and saves from two threads.
#include <atomic>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/parameters.h"
#include "platform/controls.h"
#include "settings_fixture.h"

namespace qel {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

class ParametersFile : public test::SettingsTest {
protected:
    void writeRows(const std::string& rows)
    {
        test::writeFile(file(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><parameters>" +
                                    rows + "</parameters></root>\n");
    }

    // Every row of the file, in file order; fails the test when the file does not parse.
    Rows rows() const
    {
        pugi::xml_document document;
        const auto result = document.load_file(file().c_str());
        EXPECT_TRUE(result) << result.description();
        Rows out;
        for (const auto& row : document.child("root").child("parameters").children()) {
            out.emplace_back(row.attribute("name").value(), row.attribute("value").value());
        }
        return out;
    }

    std::vector<std::string> valuesOf(const std::string& key) const
    {
        std::vector<std::string> values;
        for (const auto& [name, value] : rows()) {
            if (name == key) values.push_back(value);
        }
        return values;
    }
};

const std::string kStars34(34, '*');
const std::string kStars80(80, '*');

TEST_F(ParametersFile, NewFileHoldsEveryRegisteredSettingOnce)
{
    EXPECT_TRUE(gf_readParameters());
    const auto all = rows();
    ASSERT_EQ(all.size(), 64U);
    std::set<std::string> keys;
    for (const auto& row : all) keys.insert(row.first);
    EXPECT_EQ(keys.size(), 63U);
    for (const char* key : {"MAX_FIT_FL", "parking_percentage", "ALL_INSTALL_PATH",
                            "CALLSIGN_2_OBJECTID"}) {
        EXPECT_EQ(keys.count(key), 0U) << key;
    }
    EXPECT_EQ(all.front(), (std::pair<std::string, std::string>{"ALWAYS_ON_TOP", "false"}));
    EXPECT_EQ(all[23], (std::pair<std::string, std::string>{"MAIN_WINDOW_X", "400"}));
    EXPECT_EQ(all.back(), (std::pair<std::string, std::string>{"SIM_CHOICE", "MSFS 2020"}));
    EXPECT_EQ(valuesOf("AIRP_HEIGHT"), (std::vector<std::string>{"18000", "18000"}));
    EXPECT_EQ(valuesOf("PROGRAM_VERSION"), std::vector<std::string>{"11.14.0"});

    const auto text = test::readFile(file());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n"
                         "    <parameter name=\"ALWAYS_ON_TOP\" value=\"false\" />\n",
                         0),
              0U);

    const auto lines = log_.lines();
    ASSERT_GE(lines.size(), 5U);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], kStars34 + " parameters " + kStars34);
    EXPECT_EQ(lines[2], g_parametersPathUtf8 + " not found, creating new with default values:");
    EXPECT_EQ(lines[3], "ALWAYS_ON_TOP=false");
    EXPECT_EQ(lines[lines.size() - 2], kStars80);
    EXPECT_EQ(lines.back(), "");
    EXPECT_TRUE(log_.contains("LAST_EPOCH_TIME:=0"));
    EXPECT_TRUE(log_.contains("AI_PACKAGE_SELECTOR=\"AIG, FSLTL, JF, MTL\""));
}

TEST_F(ParametersFile, NumbersAreClampedOnReading)
{
    struct Row {
        ComboIntParameter* setting;
        const char* text;
        int32_t expected;
    };
    for (const auto& row : {Row{&RANGE, "1000", 100}, Row{&RANGE, "7", 7}, Row{&RANGE, "1", 2},
                            Row{&RANGE, "-5", 2}, Row{&RANGE, "0x10", 16},
                            Row{&RANGE, "abc", 2}, Row{&AIRP_HEIGHT, "99999", 48000},
                            Row{&MAX_PARK_SEL, "", 0}}) {
        writeRows(fmt::format("<parameter name=\"{}\" value=\"{}\"/>", row.setting->name,
                              row.text));
        EXPECT_FALSE(gf_readParameters());
        EXPECT_EQ(row.setting->current, row.expected) << row.setting->name << " " << row.text;
    }
    writeRows("<parameter name=\"MAX_FIT\" value=\"48\"/><parameter name=\"LAST_EPOCH_TIME:\" "
              "value=\"1767225600\"/>");
    gf_readParameters();
    EXPECT_EQ(MAX_FIT.current, 47);
    EXPECT_EQ(LAST_EPOCH_TIME.current, 1767225600);
    EXPECT_TRUE(log_.contains("from '" + g_parametersPathUtf8 + "'"));
}

TEST_F(ParametersFile, BoolsReadTheFirstCharacter)
{
    struct Row {
        const char* row;
        bool expected;
    };
    for (const auto& row : {Row{"value=\"yes\"", true}, Row{"value=\"no\"", false},
                            Row{"", false}, Row{"value=\"1\"", true}, Row{"value=\"True\"", true},
                            Row{"value=\"\"", false}, Row{"value=\"0\"", false}}) {
        writeRows(fmt::format("<parameter name=\"SCAN_LIVERIES\" {}/>", row.row));
        gf_readParameters();
        EXPECT_EQ(SCAN_LIVERIES.current, row.expected) << row.row;
    }
}

TEST_F(ParametersFile, MissingKeysGetDefaultsAndRows)
{
    SCAN_AIRPORTS.current = false;
    RANGE.current = 5;
    writeRows("<parameter name=\"RANGE\" value=\"10\"/><parameter name=\"OLD_KEY\" value=\"x\"/>");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_EQ(RANGE.current, 10);

    const auto all = rows();
    EXPECT_EQ(all.size(), 64U);  // the two rows, then 62 more; AIRP_HEIGHT is added once
    EXPECT_EQ(all[1].first, "OLD_KEY");
    EXPECT_EQ(valuesOf("SCAN_AIRPORTS"), std::vector<std::string>{"true"});
    EXPECT_EQ(valuesOf("AIRP_HEIGHT"), std::vector<std::string>{"18000"});
    EXPECT_EQ(valuesOf("SIM_CHOICE"), std::vector<std::string>{"MSFS 2020"});
}

TEST_F(ParametersFile, DuplicateRowsReadFirstAndAllUpdate)
{
    writeRows("<parameter name=\"DESTINATION\" value=\"EDDF\"/>"
              "<parameter name=\"DESTINATION\" value=\"EGLL\"/>");
    gf_readParameters();
    EXPECT_EQ(DESTINATION.value(), "EDDF");
    DESTINATION.set("KJFK");
    EXPECT_EQ(valuesOf("DESTINATION"), (std::vector<std::string>{"KJFK", "KJFK"}));

    gf_saveParameters(false);  // AIRP_HEIGHT stands twice in a whole file
    AIRP_HEIGHT.current = 36000;
    gf_saveIntParameter(AIRP_HEIGHT);
    EXPECT_EQ(valuesOf("AIRP_HEIGHT"), (std::vector<std::string>{"36000", "36000"}));
}

TEST_F(ParametersFile, OldLayoutWithoutRootGetsOneAtTheFirstSave)
{
    test::writeFile(file(), "<parameters><parameter name=\"RANGE\" value=\"10\"/></parameters>");
    EXPECT_FALSE(gf_readParameters());
    EXPECT_EQ(RANGE.current, 10);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(file().c_str()));
    EXPECT_FALSE(document.child("root"));
    EXPECT_EQ(gf_readIntParameter(document, "AIRP_RANGE"), 20);  // the added rows are there

    RANGE.current = 12;
    gf_saveIntParameter(RANGE);
    EXPECT_EQ(rows().size(), 64U);
    EXPECT_EQ(valuesOf("RANGE"), std::vector<std::string>{"12"});
    EXPECT_TRUE(log_.contains(
        "Placing a root level around a new parameters.xml to make it 100% xml compliance"));
}

TEST_F(ParametersFile, UnreadableFileIsWrittenWithDefaults)
{
    for (const char* content :
         {"", "not xml", "<root><parameters>", "<root/>", "<root><x/></root>"}) {
        test::writeFile(file(), content);
        EXPECT_TRUE(gf_readParameters()) << content;
        EXPECT_EQ(rows().size(), 64U) << content;
    }
    EXPECT_TRUE(log_.contains(g_parametersPathUtf8 +
                              " not found, creating new with default values:"));
}

TEST_F(ParametersFile, WholeFileAndSingleSavesRoundTrip)
{
    const std::string awkward = "C:\\Users\\Zoë\\<AI> & \"liveries\" 'x'";
    SCAN_LIVERIES.current = false;
    g_mainWindowState.MAIN_WINDOW_X.current = -1200;
    TIME_SHIFT_DAYS.current = 3;
    lfolder4.assign(awkward);
    SIM_CHOICE.assign("MSFS 2024");
    gf_saveParameters(false);

    WEEK.current = true;
    gf_saveBoolParameter(WEEK);
    CUSTOM_PARKING_PERCENTAGE.current = 55;
    gf_saveIntParameter(CUSTOM_PARKING_PERCENTAGE);
    BLOCK_CALLSIGN.set("DLH4TW");
    EXPECT_EQ(rows().size(), 64U);

    test::resetAllSettings();
    EXPECT_FALSE(gf_readParameters());
    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_EQ(g_mainWindowState.MAIN_WINDOW_X.current, -1200);
    EXPECT_EQ(TIME_SHIFT_DAYS.current, 3);
    EXPECT_EQ(lfolder4.value(), awkward);
    EXPECT_EQ(SIM_CHOICE.value(), "MSFS 2024");
    EXPECT_TRUE(WEEK.current);
    EXPECT_EQ(CUSTOM_PARKING_PERCENTAGE.current, 55);
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "DLH4TW");
    EXPECT_TRUE(log_.contains("WEEK=true"));
    EXPECT_TRUE(log_.contains("CUSTOM_PARKING_PERCENTAGE=55"));
}

TEST_F(ParametersFile, SavingDefaultsLogsAndShowsCurrentValues)
{
    platform::Control box(platform::ControlKind::CheckBox, SCAN_LIVERIES.controlId);
    platform::Control combo(platform::ControlKind::ComboBox, RANGE.controlId);
    SCAN_LIVERIES.controlWindow = &box;
    RANGE.controlWindow = &combo;
    gf_fillIntCombo(RANGE);
    SCAN_LIVERIES.current = false;
    RANGE.current = 100;
    gf_saveParameters(true);

    EXPECT_EQ(valuesOf("SCAN_LIVERIES"), std::vector<std::string>{"true"});
    EXPECT_EQ(valuesOf("RANGE"), std::vector<std::string>{"40"});
    EXPECT_EQ(valuesOf("PROGRAM_VERSION"), std::vector<std::string>{"11.14.0"});
    EXPECT_TRUE(log_.contains("SCAN_LIVERIES=false"));
    EXPECT_TRUE(log_.contains("RANGE=100"));
    EXPECT_TRUE(log_.contains("PROGRAM_VERSION=\"\""));
    EXPECT_FALSE(box.checked());
    EXPECT_EQ(combo.comboSelection(), 19);
}

TEST_F(ParametersFile, NothingIsLoggedWhileStopping)
{
    g_stopRequested = true;
    gf_saveParameters(false);
    g_stopRequested = false;
    g_closeRequested = true;
    gf_logIntParameter(RANGE);
    g_closeRequested = false;
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{kStars80, ""}));
}

TEST_F(ParametersFile, FailedWholeSaveIsReported)
{
    gf_setAppDataDir(dir_ / "missing");
    gf_saveParameters(false);
    EXPECT_TRUE(log_.contains("==> saving: " + g_parametersPathUtf8 + " failed"));
    EXPECT_FALSE(std::filesystem::exists(file()));
}

// A setting changed in the window while parameters.xml cannot be written (a read-only or full
// folder; here a folder stands where the new file is written first) was logged as set alone.
TEST_F(ParametersFile, FailedSingleSaveIsReported)
{
    gf_saveParameters(false);
    std::filesystem::create_directory(file().string() + ".tmp");
    RANGE.current = 65;
    gf_saveIntParameter(RANGE);
    EXPECT_TRUE(log_.contains("==> RANGE could not be saved in " + g_parametersPathUtf8 +
                              ": it holds until VNTQ ends"));
    EXPECT_EQ(valuesOf("RANGE"), std::vector<std::string>{"40"});
}

// A single save used to write a file of that one row when the file could not be loaded.
TEST_F(ParametersFile, SingleSaveOfUnloadableFileKeepsEverySetting)
{
    for (const char* content : {"<root><parameters>", static_cast<const char*>(nullptr)}) {
        if (content) {
            test::writeFile(file(), content);
        } else {
            std::filesystem::remove(file());
        }
        SCAN_AIRPORTS.current = false;
        RANGE.current = 65;
        gf_saveIntParameter(RANGE);
        EXPECT_EQ(rows().size(), 64U);
        EXPECT_EQ(valuesOf("RANGE"), std::vector<std::string>{"65"});
        EXPECT_EQ(valuesOf("SCAN_AIRPORTS"), std::vector<std::string>{"false"});
    }
    // A setting outside the registries keeps its row as well.
    std::filesystem::remove(file());
    ALL_INSTALL_PATH.set("/sim/Community");
    EXPECT_EQ(rows().size(), 65U);
    EXPECT_EQ(valuesOf("ALL_INSTALL_PATH"), std::vector<std::string>{"/sim/Community"});
    EXPECT_TRUE(log_.contains("ALL_INSTALL_PATH=\"/sim/Community\""));
}

// Saves from the GUI and the start-up thread used to overwrite each other's change.
TEST_F(ParametersFile, ConcurrentSavesLoseNothing)
{
    gf_saveParameters(false);
    constexpr int kRounds = 60;
    std::atomic<int> lost{0};
    std::atomic<int> running{2};
    auto saver = [&](IntParameter& setting, int32_t base) {
        for (int i = 0; i < kRounds; ++i) {
            setting.current = base + i;
            gf_saveIntParameter(setting);
            pugi::xml_document document;
            if (!document.load_file(g_parametersPath.c_str()) ||
                gf_readIntParameter(document, setting.name) != base + i) {
                ++lost;
            }
        }
        --running;
    };
    std::thread gui(saver, std::ref(g_mainWindowState.MAIN_WINDOW_X), 1000);
    std::thread startUp(saver, std::ref(HOLDING_THRESHOLD_METERS), 2000);
    int torn = 0;
    while (running > 0) {
        pugi::xml_document document;
        if (!document.load_file(g_parametersPath.c_str()) ||
            document.child("root").child("parameters").select_nodes("parameter").size() != 64) {
            ++torn;
        }
    }
    gui.join();
    startUp.join();
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(valuesOf("MAIN_WINDOW_X"), std::vector<std::string>{"1059"});
    EXPECT_EQ(valuesOf("HOLDING_THRESHOLD_METERS"), std::vector<std::string>{"2059"});
}

TEST_F(ParametersFile, RowReadersMatchWholeKeysOnly)
{
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(
        "<root><parameters><parameter name=\"RANGE\" value=\"8\"/>"
        "<parameter name=\"WEEK\"/></parameters></root>"));
    EXPECT_EQ(gf_readIntParameter(document, "RANGE"), 8);
    EXPECT_EQ(gf_readIntParameter(document.child("root"), "RANGE"), 8);
    EXPECT_EQ(gf_readIntParameter(document, "RANG"), std::nullopt);
    EXPECT_EQ(gf_readBoolParameter(document, "WEEK"), false);
    EXPECT_EQ(gf_readStringParameter(document, "WEEK"), "");
    EXPECT_EQ(gf_readStringParameter(document.child("root").child("parameters"), "RANGE"),
              std::nullopt);
}

}  // namespace
}  // namespace qel
