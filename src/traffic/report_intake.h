// The report intake's offer to the other motion files (report_intake.cpp): a new report of a
// known aircraft, and the reports kept aside while it pushed back, taken once it sets off.
//
// Threads: main-loop thread.
#pragma once

#include <vector>

#include "traffic/aircraft.h"

namespace qel {

// What became of a new report: dropped; appended to the queue, whose leg in progress is then to
// be paced to it and the queue kept in time order (decodeExisting); or taken as a reason to lay
// the leg in progress anew from where the aircraft is, from the queue's front, which it set.
enum class ReportTaken { dropped, appended, relaid };
ReportTaken lf_decodeExisting(LiveAc& aircraft, QueuedSample sample);
// Reports kept aside, taken in order as if they came now; each keeps the due tick it was
// reported for.
void lf_takeReports(LiveAc& aircraft, const std::vector<QueuedSample>& reports);
// On its landing roll the aircraft goes off again, a touch-and-go: it rolls as for a take-off.
void lf_liftsOffAgain(LiveAc& aircraft);

}  // namespace qel
