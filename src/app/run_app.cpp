// The program's first steps after the single instance and Log.txt: the command line, the
// per-user folder, the window with its settings, the message loop, and the start-up thread
// that each WM_APP+1 starts.
//
// Thread "start-up": started by gf_onStartUpMessage on the GUI thread, which first joins the
// thread of the previous run (that thread posted the WM_APP+1 as its last message and is
// ending); the last one is joined when the message loop has ended, before globals go away.
#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "app/signals.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/strings.h"
#include "foundation/window_status.h"
#include "simlink/simlink.h"
#include "traffic/traffic.h"
#include "ui/ui.h"

namespace qel {

bool g_productionSwitchSeen = false;
bool g_productionSwitchValue = false;
std::atomic<bool> g_productionMode{false};

namespace {

std::thread g_startUpThread;  // GUI thread only

// What one argument says of production mode; nothing for any other argument.
std::optional<bool> lf_productionValue(const std::string& argument)
{
    if (gf_equalsNoCase(argument, "--production") || gf_equalsNoCase(argument, "/production")) {
        return true;
    }
    if (gf_equalsNoCase(argument, "--no-production") ||
        gf_equalsNoCase(argument, "/no-production")) {
        return false;
    }
    return std::nullopt;
}

void lf_readCommandLine(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    if (const auto production = gf_productionSwitch(arguments)) {
        g_productionSwitchSeen = true;
        g_productionSwitchValue = *production;
    }
    // A misspelt switch would otherwise start the program as if it had not been given.
    for (const auto& argument : arguments) {
        if (lf_productionValue(argument)) continue;
        const std::string line =
            fmt::format("Unknown option '{}' is ignored: {} knows --production and --no-production",
                        argument, g_shortName);
        gf_log(line);
        gf_writeToTerminal(line);
    }
}

// Why the per-user folder cannot be had; nothing when it is there or was made.
std::optional<std::string> lf_perUserFolderProblem()
{
    std::error_code ec;
    if (std::filesystem::is_directory(g_appDataDir, ec)) return std::nullopt;
    ec.clear();
    std::filesystem::create_directories(g_appDataDir, ec);
    if (ec) return ec.message();
    // An existing file of that name is no error to create_directories.
    if (!std::filesystem::is_directory(g_appDataDir, ec)) return "it is not a folder";
    return std::nullopt;
}

// A start that cannot begin has no window to show it in yet: the terminal gets the reason, and
// the status tells a script that nothing ran.
int lf_failedStart(const std::string& line)
{
    gf_logHighlighted(line);
    gf_writeToTerminal(line);
    return 1;
}

constexpr const char* kHelpText = R"(Usage: vntq [--production | --no-production]

Fills a running flight simulator with live air traffic from the RealTraffic web API. Start it
in its program folder, the one that holds docs and input: Log.txt, output and airports are
written there.

Options (also written /production and /no-production, in any case; the last one counts):
  --production       stop after the data files are read and checked
  --no-production    run in full (the default)
  -h, --help         print this text and exit

Environment:
  VNTQ_RT_LICENSE    the RealTraffic license key; without it the first line of
                     RealTraffic.license in the per-user folder
  VNTQ_RT_URL        the RealTraffic service, scheme included
                     (default https://rtw.flyrealtraffic.com)
  VNTQ_DOWNLOAD_URL  the download server's base URL, for the update check
  VNTQ_HEADLESS      1, true, yes or on: no window, what it would show goes to standard
                     error; 0, false, no or off: a window (needs DISPLAY); unset: a window
                     when DISPLAY is set
  DISPLAY            the X display the window opens on
  XDG_CONFIG_HOME    holds the per-user folder VNTQ, with parameters.xml (default ~/.config)
  XDG_DATA_HOME      the local application-data folder (default ~/.local/share)
  XDG_RUNTIME_DIR    holds the one-instance lock; when it is not set or not usable, the
                     folder vntq-<uid> in the temp folder (TMPDIR) does
  VNTQ_SIM_SCENARIO  the scenario file the stand-in simulator plays
  VNTQ_SIM_OUTPUT    the folder of the stand-in simulator's call log and trace
  VNTQ_TICK_PROBE    a file the main loop's tick times are written to, each 30 s
)";

}  // namespace

bool gf_helpAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help" || argument == "/?") return true;
    }
    return false;
}

std::string gf_helpText() { return kHelpText; }

std::optional<bool> gf_productionSwitch(const std::vector<std::string>& arguments)
{
    std::optional<bool> production;
    for (const auto& argument : arguments) {
        if (const auto value = lf_productionValue(argument)) production = value;
    }
    return production;
}

void gf_onStartUpMessage()
{
    gf_joinStartUpThread();
    g_startUpThread = std::thread(&lf_startUpVNTQ);
}

void gf_joinStartUpThread()
{
    if (g_startUpThread.joinable()) g_startUpThread.join();
}

int gf_runApp(int argc, char** argv)
{
    lf_connectLayers();
    lf_readCommandLine(argc, argv);
    // Not the close button's way: its message would say a button was clicked.
    const SignalWatcher signals([](const ReceivedSignal& received) {
        // A signal while the program closes (a script's own after the user's Ctrl-C) changes
        // nothing: Log.txt keeps it, and the line keeps what closed the program.
        if (g_closeRequested) {
            gf_log(gf_closingBySignalText(received, true));
            return;
        }
        lf_showAndLog(gf_closingBySignalText(received, false));
        gf_requestClose();
    });
    if (const auto reason = lf_perUserFolderProblem()) {
        return lf_failedStart(fmt::format(
            "The per-user folder {} cannot be made: {}. Set XDG_CONFIG_HOME to a folder you may "
            "write in; {} does not start",
            g_appDataDir.string(), *reason, g_shortName));
    }
    if (!initInstance("VNTQ")) {
        return lf_failedStart(
            fmt::format("The main window cannot be made: {} does not start", g_shortName));
    }
    g_productionMode = g_productionSwitchSeen && g_productionSwitchValue;
    gf_postWindowMessage(WindowMessage::StartUp);
    const int exitCode = gf_runMessageLoop();
    // A loop that ended some other way than by the quit message leaves a run to end.
    gf_requestClose();
    gf_joinStartUpThread();
    gf_flushLog();
    return exitCode;
}

}  // namespace qel
