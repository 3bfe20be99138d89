// The stop rule and the exit reasons.
#include <array>

#include "app/app.h"
#include "foundation/log.h"

namespace qel {

std::atomic<ExitReason> g_exitReason{ExitReason::NOT_YET_SET};
std::atomic<int32_t> g_restartDelay{0};
std::atomic<int32_t> g_exitCode{0};

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
    if (g_stopRequested.exchange(true)) return false;
    g_exitReason = reason;
    g_restartDelay = restartDelay_s;
    return true;
}

}  // namespace qel
