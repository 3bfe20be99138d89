// The real window under a virtual X server: the test runs itself again under xvfb-run, where
// the child opens the FLTK window with sample status values, grabs it with xwd and saves a
// picture in the build folder (ui_window.png, and ui_window_typed.png after typing into an edit
// box); the parent then reads the picture's pixels. Without an X server the parent tests are
// skipped, unless VNTQ_REQUIRE_X is set (scripts/test sets it), where they fail instead.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/catalogue.h"
#include "foundation/settings_fixture.h"
#include "liveries/livery_db.h"
#include "scenery/scan.h"
#include "simlink/simlink.h"
#include "support/test_support.h"
#include "traffic/traffic.h"
#include "ui/paint.h"
#include "ui/ui.h"
#include "ui/ui_run.h"
#include "window_fixture.h"

namespace qel {
namespace {

constexpr const char* kChildVariable = "VNTQ_SCREENSHOT_CHILD";

std::filesystem::path lf_shotPath(const char* name = "ui_window")
{
    return std::filesystem::path(VNTQ_BINARY_DIR) / fmt::format("{}.png", name);
}

int lf_run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why no virtual X server can be had here, or nothing when one starts.
std::optional<std::string> lf_noXServer()
{
    static const std::optional<std::string> reason = []() -> std::optional<std::string> {
        if (lf_run("command -v xvfb-run xauth xwd convert xdotool >/dev/null 2>&1") != 0) {
            return "xvfb-run, xauth, xwd, ImageMagick's convert or xdotool is missing "
                   "(scripts/setup installs them)";
        }
        if (lf_run("xvfb-run -a -s '-screen 0 1280x800x24' true >/dev/null 2>&1") != 0) {
            return "xvfb-run cannot start a virtual X server";
        }
        return std::nullopt;
    }();
    return reason;
}

void lf_grabWindow(uint64_t windowId, const std::filesystem::path& dir, const char* name,
                   bool& grabbed)
{
    const auto xwd = dir / "window.xwd";
    grabbed = lf_run(fmt::format("xwd -silent -id {} -out '{}'", windowId, xwd.string())) == 0 &&
              lf_run(fmt::format("convert '{}' '{}'", xwd.string(), lf_shotPath(name).string())) ==
                  0;
}

// A picture read from a binary PPM (P6, 8 bits per colour).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    platform::Colour at(int x, int y) const
    {
        const auto i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(x)) *
                       3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

// The next number of a PPM header; ImageMagick writes the picture's title as a comment.
int lf_headerNumber(std::istream& in)
{
    in >> std::ws;
    while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
        in >> std::ws;
    }
    int value = 0;
    in >> value;
    return value;
}

Picture lf_readPpm(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    Picture picture;
    in >> magic;
    picture.width = lf_headerNumber(in);
    picture.height = lf_headerNumber(in);
    const int maxValue = lf_headerNumber(in);
    in.get();
    if (magic != "P6" || maxValue != 255) return {};
    picture.rgb.resize(static_cast<std::size_t>(picture.width * picture.height * 3));
    in.read(reinterpret_cast<char*>(picture.rgb.data()),
            static_cast<std::streamsize>(picture.rgb.size()));
    return in ? picture : Picture{};
}

void lf_sampleStatus()
{
    auto& state = g_trafficWindowStatus;
    g_simWindowStatus.simulatorConnected = true;
    g_simWindowStatus.simulationRunning = true;
    g_simWindowStatus.simulatorText.set("MSFS 2020 (11.0.282174.999)");
    g_simWindowStatus.userStand.set("GATE E 24");
    g_simWindowStatus.userAircraftTitle.set("Airbus A320 Neo Asobo");
    g_shownLiveryCount = 1234;
    g_sceneryWindowCounts.simaddonCount = 12;
    g_sceneryWindowCounts.thirdpCount = 0;
    g_rtWindowStatus.realTrafficIdle = false;
    g_rtWindowStatus.realTrafficSignedIn = true;
    g_rtWindowStatus.realTrafficText.set("RT Professional license, 30 days left");
    g_rtWindowStatus.weatherReaderStatus = 1;
    g_rtWindowStatus.trafficReaderStatus = 2;
    g_rtWindowStatus.qnh = 1013;
    g_uiRun.liveCount = 42;
    state.parkAirportText.set("EHAM (AMS)");
    state.standFileLoaded = true;
    state.standFileNameText.set("EHAM.xml");
    state.standFileKindText.set("learned");
    state.qualityText.set("0.82");
    state.standCount = 203;
    g_uiRun.parkedLiveCount = 4;
    state.liveAverageFit = 2.5F;
    g_parkWindowCounts.wantedStaticCount = 40;
    g_uiRun.staticCount = 31;
    g_parkWindowCounts.maxParkPercentage = 20;
    state.updateCount = 12;
}

// The controls' values once the start-up has filled them.
void lf_sampleControls()
{
    for (auto* combo : g_comboParams) gf_fillIntCombo(*combo);
    gf_fillIntCombo(parking_percentage);
    gf_fillStringCombo(SIM_CHOICE);
    gf_fillStringCombo(AI_PACKAGE_SELECTOR);
    gf_fillCallsignCombo();
    gf_fillMaxFitCombo();
    ALL_INSTALL_PATH.assign("/home/pilot/MSFS/Community");
    gf_showTextParameter(ALL_INSTALL_PATH);
    gf_enableControlOf(BLOCK_CALLSIGN, true);
    gf_enableControlOf(g_reReadButton, true);
    gf_setMessage("Sample message: Your liveries will be scanned", false);
}

// Blocks until the control holds the text the X server's keys typed; false after 30 s.
bool lf_awaitText(const platform::Control& control, const std::u16string& text)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (control.text() != text) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

platform::Rect lf_boundsOf(const platform::Window& window, uint16_t controlId)
{
    for (const auto& layout : window.controlSpecs()) {
        if (layout.id == controlId) return layout.bounds;
    }
    return {};
}

// Inside xvfb-run: the real window, painted, grabbed and closed through its quit message.
TEST(WindowScreenshot, ChildGrabsTheRealWindow)
{
    if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs only inside the screenshot test";
    test::TempDir dir;
    test::CapturedLog log;
    gf_setAppDataDir(dir.path());
    test::resetAllSettings();
    lf_sampleStatus();
    ASSERT_TRUE(initInstance("VNTQ"));
    auto* window = g_mainWindowState.window.load();
    ASSERT_FALSE(window->headless());
    lf_sampleControls();

    bool grabbed = false;
    std::thread boxCaller;
    std::thread grabber([&] {
        // The second paint is requested after every control change above, so it shows them.
        if (window->waitForPaints(1, std::chrono::seconds(30))) {
            const uint64_t painted = window->paintCount();
            gf_invalidateArea(WindowArea::Whole);
            if (window->waitForPaints(painted + 1, std::chrono::seconds(30))) {
                lf_grabWindow(window->nativeHandle(), dir.path(), "ui_window", grabbed);
            }
        }
        // A message box from another thread waits for its dialog; quitting must release it.
        boxCaller = std::thread([] {
            platform::messageBox("Could not open File Explorer at tblo.zip.", "VNTQ",
                                 platform::MessageBoxIcon::Warning);
        });
        gf_postWindowMessage(WindowMessage::Quit);
    });
    EXPECT_EQ(gf_runMessageLoop(), 0);
    grabber.join();
    boxCaller.join();
    gf_closeMainWindow();
    test::resetAllSettings();
    gf_resetTrafficWindowStatus();
    EXPECT_TRUE(grabbed);
}

// Inside xvfb-run: a click into the callsign edit box and "dlh" typed through the X server, with
// no repaint of the client area asked for; the picture is grabbed once the loop has ended.
TEST(WindowScreenshot, ChildTypesIntoAnEditBox)
{
    if (!std::getenv(kChildVariable)) GTEST_SKIP() << "runs only inside the screenshot test";
    test::TempDir dir;
    test::CapturedLog log;
    gf_setAppDataDir(dir.path());
    test::resetAllSettings();
    lf_sampleStatus();
    ASSERT_TRUE(initInstance("VNTQ"));
    auto* window = g_mainWindowState.window.load();
    ASSERT_FALSE(window->headless());
    lf_sampleControls();
    const platform::Control& edit = *window->control(BLOCK_CALLSIGN.controlId);
    const platform::Rect box = lf_boundsOf(*window, BLOCK_CALLSIGN.controlId);

    bool typed = false;
    std::thread typist([&] {
        if (window->waitForPaints(1, std::chrono::seconds(30))) {
            const uint64_t painted = window->paintCount();
            gf_invalidateArea(WindowArea::Whole);
            typed = window->waitForPaints(painted + 1, std::chrono::seconds(30)) &&
                    lf_run(fmt::format("xdotool mousemove --window {} {} {} click 1 "
                                       "type --delay 40 dlh",
                                       window->nativeHandle(), box.left + 20,
                                       box.top + box.height() / 2)) == 0 &&
                    lf_awaitText(edit, u"dlh");
        }
        // Not the Quit message: it saves the window's place, and every save shows the saved
        // texts in their edit boxes again.
        window->quit(0);
    });
    EXPECT_EQ(gf_runMessageLoop(), 0);
    typist.join();
    // The loop ends only after the turn that drew the last key, so the picture is what the
    // typing left on screen.
    EXPECT_EQ(edit.text(), u"dlh");
    bool grabbed = false;
    if (typed) lf_grabWindow(window->nativeHandle(), dir.path(), "ui_window_typed", grabbed);
    gf_closeMainWindow();
    test::resetAllSettings();
    gf_resetTrafficWindowStatus();
    EXPECT_TRUE(typed);
    EXPECT_TRUE(grabbed);
}

class WindowOnScreen : public test::WindowTest {
protected:
    void SetUp() override
    {
        if (std::getenv(kChildVariable)) GTEST_SKIP() << "the child only grabs";
        if (const auto missing = lf_noXServer()) {
            if (std::getenv("VNTQ_REQUIRE_X")) FAIL() << *missing;
            GTEST_SKIP() << *missing;
        }
        test::WindowTest::SetUp();
    }

    // The picture the child test saved under `name`, grabbed under xvfb-run.
    Picture grabbedByChild(const char* childTest, const char* name)
    {
        std::filesystem::remove(lf_shotPath(name));
        const auto ppm = dir_ / "window.ppm";
        // The child's leaks would be those of the X libraries; the headless tests check ours.
        EXPECT_EQ(lf_run(fmt::format(
                      "xvfb-run -a -s '-screen 0 1280x800x24' env -u VNTQ_HEADLESS {}=1 "
                      "ASAN_OPTIONS=detect_leaks=0 /proc/{}/exe "
                      "--gtest_filter=WindowScreenshot.{} >'{}' 2>&1",
                      kChildVariable, ::getpid(), childTest, (dir_ / "child.txt").string())),
                  0)
            << test::readFile(dir_ / "child.txt");
        if (!std::filesystem::exists(lf_shotPath(name))) return {};
        EXPECT_EQ(lf_run(fmt::format("convert '{}' -depth 8 'ppm:{}'",
                                     lf_shotPath(name).string(), ppm.string())),
                  0);
        return lf_readPpm(ppm);
    }

    // The bands' colours where no control lies, and every control drawn over its band: inside
    // its place hardly a pixel is band blue.
    void expectBandsAndControls(const Picture& picture)
    {
        struct Spot {
            int x, y;
            platform::Colour colour;
        };
        const Spot spots[] = {
            {870, 10, colours::black},      // title band
            {870, 60, colours::black},      // status strip
            {410, 40, colours::lime},       // simulator box: connected, running, aircraft known
            {440, 40, colours::lime},       // RealTraffic box: signed in
            {2, 125, colours::lightBlue},   // control band
            {640, 150, colours::lightBlue},
            {870, 440, colours::black},     // statistics band
            {870, 465, colours::lime},      // message band
        };
        for (const auto& spot : spots) {
            EXPECT_EQ(picture.at(spot.x, spot.y), spot.colour) << spot.x << "," << spot.y;
        }
        for (const auto& layout : window_->controlSpecs()) {
            const int right = std::min(layout.bounds.right, kClientWidth);
            int blue = 0;
            int all = 0;
            for (int y = layout.bounds.top; y < layout.bounds.bottom; ++y) {
                for (int x = layout.bounds.left; x < right; ++x) {
                    ++all;
                    blue += picture.at(x, y) == colours::lightBlue;
                }
            }
            EXPECT_LT(blue * 10, all) << "control " << layout.id << " is not where it belongs";
        }
    }
};

TEST_F(WindowOnScreen, ShowsTheBandsAndEveryControlInItsPlace)
{
    const Picture picture = grabbedByChild("ChildGrabsTheRealWindow", "ui_window");
    ASSERT_EQ(picture.width, kClientWidth);
    ASSERT_EQ(picture.height, kClientHeight);

    std::set<uint32_t> colours;
    for (int y = 0; y < picture.height; y += 3) {
        for (int x = 0; x < picture.width; x += 3) {
            const auto c = picture.at(x, y);
            colours.insert(uint32_t{c.red} << 16U | uint32_t{c.green} << 8U | c.blue);
        }
    }
    EXPECT_GT(colours.size(), 20u) << "the picture is blank";
    expectBandsAndControls(picture);
}

// A click and keys change only the edit box: FLTK redraws that child alone, and the painted
// bands must not cover it or the other controls meanwhile.
TEST_F(WindowOnScreen, TypingInAnEditBoxLeavesItsTextAndTheOtherControlsWhole)
{
    const Picture picture = grabbedByChild("ChildTypesIntoAnEditBox", "ui_window_typed");
    ASSERT_EQ(picture.width, kClientWidth);
    ASSERT_EQ(picture.height, kClientHeight);
    expectBandsAndControls(picture);

    // Inside its border the box is white or text; the text begins at its left, where "d" is.
    const platform::Rect box = lf_boundsOf(*window_, BLOCK_CALLSIGN.controlId);
    int blue = 0;
    int firstInk = box.right;
    for (int y = box.top + 1; y < box.bottom - 1; ++y) {
        for (int x = box.left + 1; x < box.right - 1; ++x) {
            const auto c = picture.at(x, y);
            blue += c == colours::lightBlue;
            if (c.red < 128 && c.green < 128 && c.blue < 128) firstInk = std::min(firstInk, x);
        }
    }
    EXPECT_EQ(blue, 0);
    EXPECT_LE(firstInk, box.left + 6) << "the first letter typed is not shown";
}

}  // namespace
}  // namespace qel
