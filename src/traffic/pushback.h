// Push-back, pulling out and towing (pushback.cpp), as the ground legs, the sample stream and the
// report intake start them.
//
// Threads: main-loop thread.
#pragma once

#include <optional>
#include <vector>

#include "traffic/aircraft.h"

namespace qel {

// The speed it drives onto and off a stand at.
inline double lf_standSpeed_kt(const LiveAc& a)
{
    return a.standTaxiSpeed_kt > 0.0 ? a.standTaxiSpeed_kt : 4.0;
}

// Whether a parked aircraft whose way out reaches `last` pulls out forwards rather than being
// pushed back: `last` lies less than 90 degrees (in whole degrees) off the stand's heading.
bool lf_leavesForwards(const LiveAc& aircraft, const QueuedSample& last);
// A report of the way off the stand, kept until the push-back ends.
void lf_keepPushReport(LiveAc& aircraft, const QueuedSample& report);
// The push-back or pull-out of a parked aircraft leaving its stand, with the reports of its way
// out kept, begins when the first of them falls due.
void lf_pushBackWhenDue(LiveAc& aircraft);
void lf_startPushBack(LiveAc& aircraft);
// A leg of the push-back begins.
void lf_pushBackLeg(LiveAc& aircraft);
// Pushed back, with reports kept while it pushed: it sets off for them on the leg beginning now,
// a taxi leg. What it sets off with: the reports kept, which the intake is to take
// (lf_takeReports) before lf_setOffToward, and the stop that ended the push-back.
struct SetOff {
    std::vector<QueuedSample> reports;
    QueuedSample stop;
};
std::optional<SetOff> lf_setOffAfterPushBack(LiveAc& aircraft);
// A parked aircraft whose way out leaves forwards pulls out along it, from where it stands, as
// the first of the reports kept falls due (lf_pushBackWhenDue): it sets off as after a push-back.
SetOff lf_startPullingOut(LiveAc& aircraft);
// The leg after the reports kept are taken: toward the first of them, or to the stop where none
// was taken.
void lf_setOffToward(LiveAc& aircraft, const QueuedSample& stop);
// The end of a drive onto a stand: parked there, or taxiing on when still short of it.
void lf_towedArrives(LiveAc& aircraft);

}  // namespace qel
