// The stops the simulator side asks for: a lost simulator, and a switch to the other simulator,
// which the window's SIM_CHOICE handler asks for as well.
#include <filesystem>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "liveries/livery_db.h"
#include "simlink/simlink.h"

namespace qel {

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
