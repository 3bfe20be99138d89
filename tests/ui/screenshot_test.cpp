// The real window under a virtual X server: the test runs itself again under xvfb-run, where
// the child opens the FLTK window with sample status values, grabs it with xwd and saves
// ui_window.png in the build folder; the parent then reads the picture's pixels.
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "foundation/catalogue.h"
#include "foundation/settings_fixture.h"
#include "support/test_support.h"
#include "ui/paint.h"
#include "ui/ui.h"
#include "window_fixture.h"

namespace qel {
namespace {

constexpr const char* kChildVariable = "VNTQ_SCREENSHOT_CHILD";

std::filesystem::path lf_shotPath()
{
    return std::filesystem::path(VNTQ_BINARY_DIR) / "ui_window.png";
}

int lf_run(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    auto& state = g_mainWindowState;
    state.simulatorConnected = true;
    state.simulationRunning = true;
    state.simulatorText.set("MSFS 2020 (11.0.282174.999)");
    state.userStand.set("GATE E 24");
    state.userAircraftTitle.set("Airbus A320 Neo Asobo");
    state.liveryCount = 1234;
    state.simaddonCount = 12;
    state.thirdpCount = 0;
    state.realTrafficIdle = false;
    state.realTrafficSignedIn = true;
    state.realTrafficText.set("RT Professional license, 30 days left");
    state.weatherReaderStatus = 1;
    state.trafficReaderStatus = 2;
    state.qnh = 1013;
    state.liveCount = 42;
    state.parkAirportText.set("EHAM (AMS)");
    state.standFileLoaded = true;
    state.standFileNameText.set("EHAM.xml");
    state.standFileKindText.set("learned");
    state.qualityText.set("0.82");
    state.standCount = 203;
    state.parkedLiveCount = 4;
    state.liveAverageFit = 2.5F;
    state.wantedStaticCount = 40;
    state.staticCount = 31;
    state.maxParkPercentage = 20;
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
                const auto xwd = dir / "window.xwd";
                grabbed = lf_run(fmt::format("xwd -silent -id {} -out '{}'",
                                             window->nativeHandle(), xwd.string())) == 0 &&
                          lf_run(fmt::format("convert '{}' '{}'", xwd.string(),
                                             lf_shotPath().string())) == 0;
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
    gf_resetWindowState();
    EXPECT_TRUE(grabbed);
}

using WindowOnScreen = test::WindowTest;

TEST_F(WindowOnScreen, ShowsTheBandsAndEveryControlInItsPlace)
{
    if (std::getenv(kChildVariable)) GTEST_SKIP() << "the child only grabs";
    if (lf_run("command -v xvfb-run xwd convert >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xvfb-run, xwd or ImageMagick's convert is missing";
    }
    std::filesystem::remove(lf_shotPath());
    const auto ppm = dir_ / "window.ppm";
    // The child's leaks would be those of the X libraries; the headless tests check ours.
    ASSERT_EQ(lf_run(fmt::format(
                  "xvfb-run -a -s '-screen 0 1280x800x24' env -u VNTQ_HEADLESS {}=1 "
                  "ASAN_OPTIONS=detect_leaks=0 /proc/{}/exe "
                  "--gtest_filter=WindowScreenshot.ChildGrabsTheRealWindow >'{}' 2>&1",
                  kChildVariable, ::getpid(), (dir_ / "child.txt").string())),
              0)
        << test::readFile(dir_ / "child.txt");
    ASSERT_TRUE(std::filesystem::exists(lf_shotPath()));
    ASSERT_EQ(lf_run(fmt::format("convert '{}' -depth 8 'ppm:{}'", lf_shotPath().string(),
                                 ppm.string())),
              0);
    const Picture picture = lf_readPpm(ppm);
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

    // A control draws itself over the band: inside its place hardly a pixel is band blue.
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

}  // namespace
}  // namespace qel
