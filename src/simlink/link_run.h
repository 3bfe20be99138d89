// The simulator link's state of one run: the connection and the flags the "SimClient" thread
// publishes, what the simulator reported of the user aircraft, the pairing tables, the queues
// to and from the traffic manager, the creation books of this run and what the window shows of
// the simulator. Reset by assigning a fresh SimLinkRun while the "SimClient" thread is stopped;
// the g_ names of the files are references to its members. The locks, the stand lookups and
// the liveries the simulator refused (kept for the whole process) stay apart.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/geodesy.h"
#include "foundation/run_values.h"
#include "platform/clock.h"
#include "simlink/link_internal.h"
#include "simlink/simlink.h"

namespace qel {

// A simulator that has just quit fails every call until its QUIT message is dispatched. The
// main loop's own cadenced requests count a failure only when a later one fails too after the
// dispatcher has run in between, so that closing the simulator ends the program as closed
// rather than restarting it after a SimConnect error. Main-loop thread.
struct RepeatedFailure {
    bool failedOnce = false;
    uint64_t dispatchesAtFailure = 0;
    // True when the failure is to be reported.
    bool confirm(bool ok);
    bool operator==(const RepeatedFailure&) const = default;
};

// Two position batches: the traffic manager fills one without a lock while the "SimClient"
// thread may send the other. An index, not pointers, names the one being filled, so that a copy
// of the pair still names its own halves.
struct PositionBatch {
    std::array<std::vector<SimPositionRecord>, 2> batches;
    std::size_t fillIndex = 0;  // written under g_simQueueMutex by the main-loop thread only
    std::vector<SimPositionRecord>& fill() { return batches.at(fillIndex); }
    std::vector<SimPositionRecord>& send() { return batches.at(1 - fillIndex); }
    bool operator==(const PositionBatch&) const = default;
};

// What one frame sends, taken out of the queues under the mutex and sent without it.
struct Outgoing {
    std::vector<SimPositionRecord> positions;
    std::vector<ClientEventRecord> events;
    std::vector<AiCreateRequest> creates;
    std::vector<uint32_t> removals;
    std::vector<uint32_t> abandoned;  // hex ids whose creations were given up
    bool operator==(const Outgoing&) const = default;
};

struct SimLinkRun {
    // The connection and what the "SimClient" thread publishes (sim_thread.cpp).
    RunAtomic<bool> flightRunning{false};
    RunAtomic<bool> simConnectFailed{false};
    RunAtomic<bool> secondPassed{false};
    RunAtomic<bool> simNotConnected{true};
    RunAtomic<int64_t> simZuluTime{0};                         // epoch seconds
    HANDLE hSimConnect = nullptr;                              // g_simCallMutex
    RunAtomic<uint64_t> dispatchCount{0};                      // dispatch calls completed
    std::optional<platform::SteadyTime> dispatchFailingSince;  // "SimClient" thread
    // Requests (definitions.cpp); main-loop thread.
    UserAircraftState userState;
    RepeatedFailure userStateFailure;
    RepeatedFailure inRangeFailure;
    // Dispatch (dispatch.cpp); "SimClient" thread unless atomic.
    RunAtomic<bool> simulatorQuit{false};
    UserStateBlock simUserState;  // g_userStateMutex
    RunAtomic<bool> userOnGround{false};
    RunAtomic<bool> userOnGroundValid{false};
    uint32_t userObjectId = 2;
    RunAtomic<bool> simTakesFlightPlans{true};
    std::exception_ptr dispatchError;
    LatLon lastUserPosition{0.0, 0.0};  // the previous reply to request 109
    bool asGenReported = false;
    bool absurdDateReported = false;
    std::string userStandName;  // main-loop thread
    // Queues (queues.cpp).
    std::vector<PacketIdRecord> packetIds;            // "SimClient" thread
    std::vector<uint32_t> addedObjects;               // "SimClient" thread
    PositionBatch positionBatch;                      // send half: g_simQueueMutex
    std::vector<ClientEventRecord> clientEventQueue;  // g_simQueueMutex
    std::vector<AiCreateRequest> createQueue;         // g_simQueueMutex
    std::vector<uint32_t> removeQueue;                // g_simQueueMutex
    std::vector<uint32_t> abandonQueue;               // g_simQueueMutex; hex ids
    uint32_t nextCreateRequestId = kReqCreateFirst;   // "SimClient" thread
    std::vector<SimResult> simResultQueue;            // g_simResultMutex
    Outgoing outgoing;                                // "SimClient" thread
    // The user aircraft's model (user_model.cpp).
    RunAtomic<uint32_t> userCategory{2};  // SizeCategory, Large
    std::string userTitle;                // g_userModelMutex; at most 48 bytes
    std::optional<double> userHalfSpan;   // g_userModelMutex; nm
    // This run's creation books (creations.cpp); main-loop thread.
    std::unordered_map<uint32_t, std::string> pendingCreations;
    std::set<std::string> noMatchFlights;
    std::filesystem::path flightPlanFolder;  // g_flightPlanFolderMutex
    SimWindowStatus windowStatus;
    bool operator==(const SimLinkRun&) const = default;
};

extern SimLinkRun g_simLinkRun;
extern std::mutex g_userModelMutex;         // guards the user model's title and span; a leaf lock
extern std::mutex g_flightPlanFolderMutex;  // guards the flight-plan folder; a leaf lock

}  // namespace qel
