// The report intake's offer to the other motion files (report_intake.cpp): a new report of a
// known aircraft, and the reports kept aside while it pushed back, taken once it sets off.
//
// Threads: main-loop thread.
#pragma once

#include <vector>

#include "traffic/aircraft.h"

namespace qel {

// A new report, taken in as its phase says; true when it was appended to the queue, whose leg
// in progress is then to be paced to it and the queue kept in time order (decodeExisting).
bool lf_decodeExisting(LiveAc& aircraft, QueuedSample sample);
// Reports kept aside, taken in order as if they came now; each keeps the due tick it was
// reported for.
void lf_takeReports(LiveAc& aircraft, const std::vector<QueuedSample>& reports);

}  // namespace qel
