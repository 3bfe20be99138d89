// The program's first steps after the single instance and Log.txt: the per-user folder, the
// window with its settings, and the message loop.
#include <exception>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "app/app.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "ui/ui.h"

namespace qel {

void gf_onStartUpMessage()
{
    // Until the start-up thread exists, the program has nothing more to do than stop.
    gf_requestStop(ExitReason::USER_CLOSED_SIM, 0);
    gf_postWindowMessage(WindowMessage::Quit);
}

int gf_runApp(int /*argc*/, char** /*argv*/)
{
    std::error_code ec;
    std::filesystem::create_directories(g_appDataDir, ec);
    if (ec) {
        gf_log(fmt::format("Failed to create directory: {}", ec.message()));
        return 0;
    }
    if (!initInstance("VNTQ")) {
        gf_logHighlighted("initInstance failed");
        return 0;
    }
    gf_postWindowMessage(WindowMessage::StartUp);
    const int exitCode = gf_runMessageLoop();
    gf_flushLog();
    return exitCode;
}

}  // namespace qel
