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

}  // namespace

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
    std::error_code ec;
    if (!std::filesystem::exists(g_appDataDir, ec)) {
        ec.clear();
        std::filesystem::create_directories(g_appDataDir, ec);
    }
    if (ec) {
        gf_log(fmt::format("Failed to create directory: {}", ec.message()));
        return 0;
    }
    if (!initInstance("VNTQ")) {
        gf_logHighlighted("initInstance failed");
        return 0;
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
