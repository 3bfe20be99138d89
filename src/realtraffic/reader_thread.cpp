// The thread body the "Traffic Reader" and the "Weather Reader" share.
//
// Threads: runs on the reader's own thread, started by the start-up thread and joined by it.
// Locks: none of its own; the reader's loop takes its connection's. Waits only inside the loop,
// which a requested stop (the stop token or the reader's stop flag) ends at once.
#include <exception>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/window_status.h"
#include "platform/process.h"
#include "realtraffic/readers.h"

namespace qel::rt {

namespace {

void lf_showStatus(std::atomic<int32_t>& field, int32_t status)
{
    field = status;
    gf_invalidateArea(WindowArea::StatusStrip);
}

}  // namespace

void gf_runReaderThread(std::stop_token stop, const ReaderThread& thread)
{
    platform::setThreadName(thread.name);
    platform::useSignalStack();
    RtConnection& reader = thread.reader;
    const std::stop_callback onStop(stop, [&reader] { reader.requestStop(); });
    int status = 0;
    bool reported = false;
    try {
        gf_logIndented(fmt::format("{} connected", thread.name));
        lf_showStatus(thread.shownStatus, 1);
        if (!thread.receive(status)) {
            lf_showStatus(thread.shownStatus, 3);
            if (status != kStoppedOnRequest) gf_logReaderEnd(thread.logName, status);
        }
    } catch (const std::exception& e) {
        gf_logHighlighted(fmt::format("{}: {}", thread.function, e.what()));
        gf_readerStopped(thread.name, false);
        reported = true;
    } catch (...) {
        gf_readerStopped(thread.name, false);
        reported = true;
    }
    lf_showStatus(thread.shownStatus, 3);
    if (status != kStoppedOnRequest) {
        thread.partner.requestStop();
        if (!reported) gf_readerStopped(thread.name, status == 401);
    }
    reader.setFinished(true);
}

}  // namespace qel::rt
