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
    // A second instance leaves at once, with no window. Its own Log.txt is not started, since
    // that would move the running one's file aside; it says why on standard error and adds the
    // line to the end of Log.txt.
    qel::platform::SingleInstanceLock instance("Local\\$VNTQ$");
    if (instance.alreadyExists()) {
        const std::string line =
            fmt::format("Another {} is running in this user session (it holds {}): this start ends",
                        qel::g_shortName, instance.path().string());
        std::fprintf(stderr, "%s\n", line.c_str());
        qel::gf_appendToLog("Log.txt", line);
        return -1;
    }
    try {
        qel::gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    qel::gf_installCrashHandlers();
    const int status = qel::gf_runApp(argc, argv);
    // The last lines reach a terminal that takes them; one that has taken nothing for a while
    // (output suspended, a stalled ssh session) does not keep the program from ending.
    qel::platform::flushStandardError(kTerminalIdleBound);
    return status;
}
