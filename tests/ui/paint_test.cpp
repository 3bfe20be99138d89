#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "foundation/log.h"
#include "liveries/livery_db.h"
#include "scenery/scan.h"
#include "simlink/simlink.h"
#include "ui/paint.h"
#include "traffic/traffic.h"
#include "ui/ui.h"
#include "ui/ui_run.h"
#include "window_fixture.h"

namespace qel {
namespace {

using platform::Colour;
using platform::DrawOp;
using platform::Rect;
using Painting = test::WindowTest;

// The colour of the last fill of exactly `area`.
std::optional<Colour> lf_fillOf(const platform::RecordingCanvas& canvas, const Rect& area)
{
    std::optional<Colour> colour;
    for (const auto& op : canvas.ops()) {
        if (op.kind == DrawOp::Kind::Fill && op.area == area) colour = op.colour;
    }
    return colour;
}

bool lf_anyTextInRows(const platform::RecordingCanvas& canvas, int top, int bottom)
{
    for (const auto& op : canvas.ops()) {
        if (op.kind == DrawOp::Kind::Text && op.area.top >= top && op.area.top < bottom) {
            return true;
        }
    }
    return false;
}

TEST_F(Painting, SimulatorBoxShowsConnectionRunningAndUserAircraft)
{
    struct Case {
        bool connected;
        bool running;
        std::string title;
        Colour expected;
    };
    const Case cases[] = {{false, true, "Airbus A320", colours::red},
                          {true, true, "Airbus A320", colours::lime},
                          {true, false, "Airbus A320", colours::yellow},
                          {true, true, "", colours::yellow}};
    g_simWindowStatus.simulatorText.set("MSFS 2020 (11.0.282174.999)");
    g_simWindowStatus.userStand.set("B12");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connected * 100 + c.running * 10 + c.title.empty());
        g_simWindowStatus.simulatorConnected = c.connected;
        g_simWindowStatus.simulationRunning = c.running;
        g_simWindowStatus.userAircraftTitle.set(c.title);
        const auto canvas = paint();
        EXPECT_EQ(lf_fillOf(canvas, {397, 30, 426, 113}), c.expected);
        const auto line = canvas.textAt(5, 35);
        ASSERT_TRUE(line);
        if (!c.connected) {
            EXPECT_EQ(line->text, "MSFS");
            EXPECT_EQ(line->colour, colours::lime);
            EXPECT_FALSE(canvas.textAt(5, 63));
            continue;
        }
        EXPECT_EQ(line->text, "MSFS 2020 (11.0.282174.999), user stand B12");
        EXPECT_EQ(line->colour, c.expected);
    }
}

TEST_F(Painting, CountsShowDotsWhileZero)
{
    struct Case {
        uint64_t liveries, simaddon, thirdp;
        std::string liveryText, simaddonText;
        Colour liveryColour, simaddonColour;
    };
    const Case cases[] = {
        {0, 0, 0, "# liveries: ...", "# simaddon: ...", colours::red, colours::yellow},
        {1234, 12, 3, "# liveries: 1234", "# simaddon: 12", colours::lime, colours::lime}};
    for (const auto& c : cases) {
        g_shownLiveryCount = c.liveries;
        g_sceneryWindowCounts.simaddonCount = c.simaddon;
        g_sceneryWindowCounts.thirdpCount = c.thirdp;
        const auto canvas = paint();
        EXPECT_EQ(canvas.textAt(5, 91)->text, c.liveryText);
        EXPECT_EQ(canvas.textAt(5, 91)->colour, c.liveryColour);
        EXPECT_EQ(canvas.textAt(141, 91)->text, c.simaddonText);
        EXPECT_EQ(canvas.textAt(141, 91)->colour, c.simaddonColour);
    }
}

TEST_F(Painting, RealTrafficBoxAndReaderStatuses)
{
    EXPECT_EQ(lf_fillOf(paint(), {425, 30, 454, 113}), colours::black);  // idle
    g_rtWindowStatus.realTrafficIdle = false;
    EXPECT_EQ(lf_fillOf(paint(), {425, 30, 454, 113}), colours::red);
    EXPECT_FALSE(paint().findText("Weather"));

    g_rtWindowStatus.realTrafficSignedIn = true;
    g_rtWindowStatus.realTrafficText.set("RT Professional license, 30 days left");
    g_rtWindowStatus.weatherReaderStatus = 2;
    g_rtWindowStatus.trafficReaderStatus = 1;
    g_rtWindowStatus.qnh = 0;
    g_uiRun.liveCount = 7;
    auto canvas = paint();
    EXPECT_EQ(lf_fillOf(canvas, {425, 30, 454, 113}), colours::lime);
    EXPECT_EQ(canvas.textAt(458, 35)->text, "RT Professional license, 30 days left");
    EXPECT_EQ(canvas.findText("Weather")->colour, colours::yellow);
    EXPECT_EQ(canvas.findText("Traffic")->colour, colours::lime);
    EXPECT_FALSE(canvas.textAt(642, 63));  // no QNH yet
    EXPECT_EQ(canvas.textAt(642, 91)->text, "live:   7");

    g_rtWindowStatus.qnh = 1013;
    g_rtWindowStatus.weatherReaderStatus = 3;
    canvas = paint();
    EXPECT_FALSE(canvas.findText("Weather"));
    EXPECT_FALSE(canvas.textAt(642, 63));  // a stopped reader shows no QNH
    g_rtWindowStatus.weatherReaderStatus = 1;
    EXPECT_EQ(paint().textAt(642, 63)->text, "qnh: 1013");
}

TEST_F(Painting, StatisticsNeedTheParkAirportAndItsStandFile)
{
    auto& state = g_trafficWindowStatus;
    EXPECT_FALSE(lf_anyTextInRows(paint(), 392, 448));

    state.parkAirportText.set("EHAM (AMS)");
    auto canvas = paint();
    EXPECT_EQ(canvas.textAt(5, 399)->colour, colours::yellow);
    EXPECT_FALSE(lf_anyTextInRows(canvas, 400, 448));

    state.standFileLoaded = true;
    state.standFileNameText.set("EHAM.xml");
    state.standFileKindText.set("learned");
    state.handmade = true;
    g_parkWindowCounts.standFileWeek = 2;
    state.softApplied = true;
    state.qualityText.set("0.82");
    state.reservedStandText.set("E24");
    state.standCount = 203;
    g_uiRun.parkedLiveCount = 4;
    state.liveAverageFit = 2.5F;
    g_parkWindowCounts.wantedStaticCount = 40;
    g_uiRun.staticCount = 31;
    state.staticCandidateCount = 9;
    state.staticAverageFit = 3.0F;
    g_parkWindowCounts.maxParkPercentage = 20;
    state.updateCount = 12;
    canvas = paint();
    EXPECT_EQ(canvas.textAt(5, 399)->colour, colours::lime);
    EXPECT_EQ(canvas.textAt(90, 399)->text, " EHAM.xml, learned (h), wk=2");
    EXPECT_EQ(canvas.textAt(370, 399)->text, "*S*");
    EXPECT_EQ(canvas.textAt(430, 399)->text, "qf: 0.82");
    EXPECT_EQ(canvas.textAt(571, 399)->colour, colours::red);  // reserved stand not confirmed
    EXPECT_EQ(canvas.textAt(748, 399)->text, "# updates:   12");
    EXPECT_EQ(canvas.textAt(5, 427)->text, "# stands: 203");
    EXPECT_EQ(canvas.textAt(111, 427)->text, "parked live:   4");
    EXPECT_EQ(canvas.textAt(249, 427)->text, "average fit: 2.5");
    EXPECT_EQ(canvas.textAt(430, 427)->text, "static:  31");
    EXPECT_EQ(canvas.textAt(500, 427)->text, " (9)");
    EXPECT_EQ(canvas.textAt(500, 427)->colour, colours::yellow);
    EXPECT_EQ(canvas.textAt(571, 427)->text, "average fit: 3");
    EXPECT_EQ(canvas.textAt(708, 427)->text, "max park:  40 (=20 %)");

    RT_PARKTRAFFIC_ONLY.current = true;
    state.weekApplied = true;
    canvas = paint();
    EXPECT_EQ(canvas.textAt(370, 399)->text, "*WS*");
    EXPECT_FALSE(canvas.textAt(430, 399));
    EXPECT_FALSE(canvas.textAt(571, 427));
    EXPECT_FALSE(canvas.textAt(708, 427));
}

TEST_F(Painting, StandFileWithoutPublisherLeavesOutItsField)
{
    auto& state = g_trafficWindowStatus;
    state.parkAirportText.set("EHAM (AMS)");
    state.standFileLoaded = true;
    state.standFileNameText.set("Amsterdam Schiphol");
    g_parkWindowCounts.standFileWeek = 1;
    EXPECT_EQ(paint().textAt(90, 399)->text, " Amsterdam Schiphol, wk=1");
}

TEST_F(Painting, LabelsTakeTheColoursOfTheirSettings)
{
    struct Case {
        const char* label;
        std::function<void()> change;
        Colour before;
        Colour after;
    };
    const Case cases[] = {
        {"GUID changes", [] { GUID_CHANGES.current = false; }, colours::black, colours::yellow},
        {"Scan for liveries", [] { SCAN_LIVERIES.current = false; }, colours::yellow,
         colours::black},
        {"Ah:", [] { AUTO_RANGE.current = false; }, colours::black, colours::grey},
        {"Max park (static+live):", [] { MAX_PARK_SEL.current = 0; }, colours::black,
         colours::yellow},
        {"Max live (park incl):", [] { MAX_LIVE_SEL.current = 0; }, colours::black,
         colours::red},
        {"Helicopters", [] { HELICOPTERS.controlWindow.load()->setEnabled(false); },
         colours::black, colours::grey},
        {"Week", [] { RT_PARKTRAFFIC_ONLY.current = true; }, colours::black, colours::grey},
        {"Airport parking", [] { g_parkingBusy = true; }, colours::black, colours::yellow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(paint().findText(c.label));
        EXPECT_EQ(paint().findText(c.label)->colour, c.before);
        c.change();
        EXPECT_EQ(paint().findText(c.label)->colour, c.after);
    }
    g_parkingBusy = false;
    const auto canvas = paint();
    EXPECT_EQ(canvas.findText("Meta:")->area.top, 147);
    EXPECT_EQ(canvas.findText("Block callsign:")->area.top, 259);
    EXPECT_TRUE(canvas.findText("days"));
    TIME_SHIFT_DAYS.current = 1;
    EXPECT_TRUE(paint().findText("day"));
}

TEST_F(Painting, CountdownTextWhileStandsAreLoadedAndNoReplanRuns)
{
    struct Case {
        bool loaded, busy, initialLoadOnly;
        int32_t minutes;
        std::string text;  // empty: none
    };
    const Case cases[] = {{true, false, false, 7, "(next in 7 min)"},
                          {true, false, false, 20, ""},
                          {true, false, true, 7, "(no next ... )"},
                          {true, true, false, 7, ""},
                          {false, false, false, 7, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        g_parkStandsLoaded = c.loaded;
        g_parkingBusy = c.busy;
        INITIAL_LOAD_ONLY.current = c.initialLoadOnly;
        g_shownParkingCountdown = c.minutes;
        const auto text = paint().textAt(5, 343);
        EXPECT_EQ(text ? text->text : "", c.text);
    }
    g_parkStandsLoaded = false;
    g_parkingBusy = false;
}

TEST_F(Painting, TextThatIsNotUtf8IsLoggedAndSkipped)
{
    g_simWindowStatus.simulatorConnected = true;
    g_simWindowStatus.userAircraftTitle.set("Cessna \xc3");
    EXPECT_FALSE(paint().findText("Cessna \xc3"));
    EXPECT_TRUE(log_.contains("TextOut utf8  to wide failed for 'Cessna \xc3': "
                              "utf8_to_wide: invalid UTF-8"));
    const auto logged = log_.lines().size();
    g_stopRequested = true;
    paint();
    EXPECT_EQ(log_.lines().size(), logged);  // silent while a stop is under way
}

// Other threads write the status texts and counters while the GUI thread paints: every text is
// copied under its lock (the thread checker sees any race).
TEST_F(Painting, StatusWrittenWhilePaintingIsReadWhole)
{
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            g_simWindowStatus.simulatorConnected = true;
            g_simWindowStatus.simulatorText.set(i % 2 ? "MSFS 2020 (11.0.1.0)" : "MSFS 2024");
            g_simWindowStatus.userStand.set(i % 2 ? "" : "GATE E 24 LONG NAME");
            g_shownLiveryCount = static_cast<uint64_t>(i);
            g_trafficWindowStatus.parkAirportText.set(i % 3 ? "EHAM" : "");
        }
    });
    for (int i = 0; i < 500; ++i) {
        const auto line = paint().textAt(5, 35);
        if (!line) continue;
        EXPECT_TRUE(line->text == "MSFS 2020 (11.0.1.0)" || line->text == "MSFS 2024" ||
                    line->text == "MSFS 2020 (11.0.1.0), user stand GATE E 24 LONG NAME" ||
                    line->text == "MSFS 2024, user stand GATE E 24 LONG NAME" ||
                    line->text == "MSFS")
            << line->text;
    }
    done = true;
    writer.join();
}

}  // namespace
}  // namespace qel
