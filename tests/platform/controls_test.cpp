#include "platform/controls.h"
#include "platform/terminal.h"

#include <gtest/gtest.h>

namespace qel::platform {
namespace {

void lf_fill(Control& combo, std::initializer_list<std::u16string> items)
{
    for (const auto& item : items) combo.comboAdd(item);
}

TEST(ComboBox, SelectsTheFirstItemStartingWithThePrefix)
{
    struct Case {
        std::u16string prefix;
        int expected;  // -1: nothing matches and the selection stays on item 4
    };
    const Case cases[] = {
        {u"msfs", 1},      {u"MSFS 2024", 2}, {u"\u00C9LAN", 3}, {u"\u0178es", 4},
        {u"o", 0},         {u"", 0},          {u"Offside", -1},  {u"x", -1},
        {u"MSFS 2020 ", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.prefix.size()));
        Control combo(ControlKind::ComboBox, 1013);
        lf_fill(combo, {u"Off", u"MSFS 2020", u"MSFS 2024", u"\u00E9lan", u"\u00FFes"});
        combo.comboSetSelection(4);
        EXPECT_EQ(combo.comboSelectPrefix(c.prefix), c.expected);
        const int selected = c.expected >= 0 ? c.expected : 4;
        EXPECT_EQ(combo.comboSelection(), selected);
        EXPECT_EQ(combo.text(), combo.comboItems()[static_cast<size_t>(selected)]);
    }
}

TEST(ComboBox, SelectionOutOfRangeClears)
{
    Control combo(ControlKind::ComboBox, 1013);
    lf_fill(combo, {u"1", u"2", u"3"});
    for (int index : {-1, 3, 99, -7}) {
        SCOPED_TRACE(index);
        combo.comboSetSelection(1);
        EXPECT_EQ(combo.text(), u"2");
        combo.comboSetSelection(index);
        EXPECT_EQ(combo.comboSelection(), -1);
        EXPECT_EQ(combo.text(), u"");
    }
    combo.comboSetSelection(2);
    combo.comboReset();
    EXPECT_EQ(combo.comboSelection(), -1);
    EXPECT_TRUE(combo.comboItems().empty());
    EXPECT_EQ(combo.comboSelectPrefix(u""), -1);
}

TEST(MessageBox, RecordingComesBeforeTheBackend)
{
    std::vector<RecordedMessageBox> shown;
    setMessageBoxBackend([&](const RecordedMessageBox& box) { shown.push_back(box); });
    startRecordingMessageBoxes();
    messageBox("Could not open local folder with Manual", "VNTQ", MessageBoxIcon::Warning);
    messageBox("second", "VNTQ", MessageBoxIcon::None);

    auto recorded = takeRecordedMessageBoxes();
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_EQ(recorded[0].text, "Could not open local folder with Manual");
    EXPECT_EQ(recorded[0].caption, "VNTQ");
    EXPECT_EQ(recorded[0].icon, MessageBoxIcon::Warning);
    EXPECT_EQ(recorded[1].icon, MessageBoxIcon::None);
    EXPECT_TRUE(takeRecordedMessageBoxes().empty());
    EXPECT_TRUE(shown.empty());

    stopRecordingMessageBoxes();
    messageBox("Could not open folder with parameters.xml", "VNTQ", MessageBoxIcon::Warning);
    setMessageBoxBackend(nullptr);
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].text, "Could not open folder with parameters.xml");

    testing::internal::CaptureStderr();
    messageBox("text", "VNTQ", MessageBoxIcon::None);
    flushStandardError(std::chrono::minutes(1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VNTQ: text\n");
    EXPECT_TRUE(takeRecordedMessageBoxes().empty());
}

}  // namespace
}  // namespace qel::platform
