// The plans the watcher test draws: every shape a flight's reports take on the ground and in the
// air, anywhere on the globe, fed steadily or not, with a main loop that keeps time or not.
// RapidCheck draws and shrinks them: a failing plan comes out as the smallest that still fails.
#pragma once

#include <rapidcheck.h>

#include "watcher/streams.h"

namespace qel::watch {

rc::Gen<Plan> genPlan();

}  // namespace qel::watch

namespace rc {

template <>
struct Arbitrary<qel::watch::Plan> {
    static Gen<qel::watch::Plan> arbitrary() { return qel::watch::genPlan(); }
};

}  // namespace rc

namespace qel::watch {

// How RapidCheck shows a plan: its text, which replays it.
void showValue(const Plan& plan, std::ostream& os);

}  // namespace qel::watch
