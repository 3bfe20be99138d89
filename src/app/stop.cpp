// The stop rule, the exit reasons and the stops that the worker threads and the window request:
// reader failures, a lost simulator, a switch to the other simulator.
#include <array>
#include <filesystem>
#include <mutex>

#include <fmt/format.h>

#include "app/app.h"
#include "app/core.h"
#include "app/neighbours.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "liveries/livery_db.h"
#include "ui/ui.h"

namespace qel {

std::atomic<ExitReason> g_exitReason{ExitReason::NOT_YET_SET};
std::atomic<int32_t> g_restartDelay{0};
std::atomic<int32_t> g_exitCode{0};
std::atomic<bool> g_restartPending{false};

namespace {

// Makes recording the reason and raising the flag one step, so that a thread that sees
// g_stopRequested never reads the reason of the run before. Taken alone.
std::mutex g_stopMutex;

}  // namespace

std::string_view gf_exitReasonText(ExitReason reason)
{
    static constexpr std::array<std::string_view, 9> texts = {
        "NOT YET SET",      "SIM WAS CLOSED",   "NEW FLIGHT",
        "NEW SETTINGS",     "USER CLOSED SIM",  "SIMCONNECT ERROR",
        "READER ERROR",     "SYSTEM ERROR",     "NEW VERSION"};
    const auto index = static_cast<std::size_t>(reason);
    return index < texts.size() ? texts[index] : "NOT YET SET";
}

bool gf_requestStop(ExitReason reason, int32_t restartDelay_s)
{
    std::scoped_lock lock(g_stopMutex);
    if (g_stopRequested) return false;
    g_exitReason = reason;
    g_restartDelay = restartDelay_s;
    g_stopRequested = true;
    return true;
}

void gf_requestClose()
{
    std::scoped_lock lock(g_stopMutex);
    auto expected = ExitReason::NOT_YET_SET;
    g_exitReason.compare_exchange_strong(expected, ExitReason::USER_CLOSED_SIM);
    g_closeRequested = true;
    g_stopRequested = true;
}

bool lf_clearStop()
{
    std::scoped_lock lock(g_stopMutex);
    if (g_closeRequested) return false;
    g_exitReason = ExitReason::NOT_YET_SET;
    g_stopRequested = false;
    return true;
}

void gf_readerStopped(std::string_view name, bool restart)
{
    lf_showAndLog(fmt::format("The {} has stopped with an error", name));
    if (restart) {
        gf_requestStop(ExitReason::READER_ERROR, 15);
    } else {
        gf_requestStop(ExitReason::SYSTEM_ERROR, 0);
    }
}

void gf_simDisconnected(bool mismatch)
{
    if (g_stopRequested) return;
    if (mismatch) {
        SIM_CHOICE.set(g_isMsfs2020 ? "MSFS 2024" : "MSFS 2020");
        gf_showTextParameter(SIM_CHOICE);
        lf_switchSimVersion();
        return;
    }
    gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...",
                       gf_nowTimeOfDay(), g_shortName));
    gf_requestStop(ExitReason::SIM_WAS_CLOSED, 0);
}

void lf_switchSimVersion()
{
    std::error_code ec;
    if (!std::filesystem::remove(g_liveriesScannedXml, ec) && ec &&
        ec != std::errc::no_such_file_or_directory) {
        throw std::filesystem::filesystem_error("remove", g_liveriesScannedXml, ec);
    }
    gf_requestLiveryDbClear();
    for (auto* setting : {&SCAN_AIRPORTS, &SCAN_LIVERIES}) {
        setting->current = true;
        gf_saveBoolParameter(*setting);
        gf_showBoolParameter(*setting);
    }
    lf_showAndLog(fmt::format("Switching MSFS version in {}", g_shortName));
    ALL_INSTALL_PATH.assign("");
    gf_showTextParameter(ALL_INSTALL_PATH);
    if (!g_isMsfs2020) DIROVERAZO24_VERSION.set("");
    gf_requestStop(ExitReason::NEW_SETTINGS, 3);
}

}  // namespace qel
