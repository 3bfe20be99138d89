// The process entry: one instance per user session, Log.txt, then the application.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "app/app.h"
#include "app/signals.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/process.h"
#include "platform/terminal.h"

namespace {

constexpr auto kTerminalIdleBound = std::chrono::seconds(2);

}  // namespace

int main(int argc, char** argv)
{
    qel::gf_ignoreBrokenPipes();
    // Asked for the help, it says it and runs nothing: no lock, no Log.txt.
    if (qel::gf_helpAsked(argc, argv)) {
        std::fputs(qel::gf_helpText().c_str(), stdout);
        return 0;
    }
    // A second instance leaves at once, with no window. Its own Log.txt is not started, since
    // that would move the running one's file aside; it says why on standard error and adds the
    // line to the end of Log.txt.
    qel::platform::SingleInstanceLock instance("Local\\$VNTQ$");
    if (instance.alreadyExists()) {
        const std::string line =
            fmt::format("Another {} is running in this user session (it holds {}): this start ends",
                        qel::g_shortName, instance.path().string());
        std::fprintf(stderr, "%s\n", line.c_str());
        if (qel::gf_inProgramFolder()) qel::gf_appendToLog("Log.txt", line);
        return -1;
    }
    // Without the lock a second start would run beside the first, and both write the same
    // files.
    if (!instance.created()) {
        const std::string line = fmt::format(
            "{} cannot take its one-instance lock: set XDG_RUNTIME_DIR or TMPDIR to a folder of "
            "yours that you may write in; this start ends",
            qel::g_shortName);
        std::fprintf(stderr, "%s\n", line.c_str());
        return 1;
    }
    // Started outside its folder it ends with error 41, and leaves nothing there.
    if (qel::gf_inProgramFolder()) {
        try {
            qel::gf_openLog();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    qel::gf_installCrashHandlers();
    const int status = qel::gf_runApp(argc, argv);
    // The last lines reach a terminal that takes them; one that has taken nothing for a while
    // (output suspended, a stalled ssh session) does not keep the program from ending.
    qel::platform::flushStandardError(kTerminalIdleBound);
    return status;
}
