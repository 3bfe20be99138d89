// The stand-in simulator behind the SimConnect declarations: one world (the user aircraft, AI
// objects, traffic of its own, a flat field) shared by every client connection, advanced in
// frames by the platform clock whenever a client calls in; once a client dispatches, by its
// dispatching thread (see begin).
//
// Threads: none of its own. Clients call from any thread; every call takes mutex_ (a leaf:
// nothing else is locked under it) for its whole length, except that SimConnect_CallDispatch
// releases it before it hands the messages to the client's callback on the calling thread, so
// that the callback may call in again. Messages made during a dispatch wait for the next one.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "standins/simulator/sim_config.h"
#include "standins/simulator/sim_standin.h"
#include "standins/simulator/simvars.h"

namespace qel::simstandin {

using Nanos = std::chrono::nanoseconds;

// One received message, aligned for its record and the data behind it.
class Message {
public:
    // The record's first `headBytes` bytes, then `tail`; dwSize is set to the whole length.
    Message(const void* head, size_t headBytes, std::string_view tail = {});
    SIMCONNECT_RECV* recv() { return reinterpret_cast<SIMCONNECT_RECV*>(bytes_.get()); }
    DWORD size() const { return size_; }
    DWORD id() const;

private:
    std::unique_ptr<std::byte[]> bytes_;
    DWORD size_ = 0;
};

struct PeriodicRequest {
    DWORD requestId = 0;
    DWORD defineId = 0;
    DWORD objectId = 0;  // the real id; the user's for SIMCONNECT_OBJECT_ID_USER
    SIMCONNECT_PERIOD period = SIMCONNECT_PERIOD_ONCE;
    DWORD flags = 0;
    DWORD origin = 0;    // periods skipped before the first reply
    DWORD interval = 0;  // periods skipped between replies
    DWORD limit = 0;     // replies before the request ends; 0 = no end
    Nanos nextDue{0};    // SECOND: the next period's start
    DWORD periods = 0;
    DWORD sent = 0;
    std::string last;    // the data last sent, for the CHANGED flag
};

// A request for the objects of a type around the user, answered at the next dispatch.
struct ByTypeRequest {
    DWORD requestId = 0;
    DWORD defineId = 0;
    DWORD radius_m = 0;
    SIMCONNECT_SIMOBJECT_TYPE type = SIMCONNECT_SIMOBJECT_TYPE_USER;
};

struct Connection {
    uint64_t number = 0;   // the handle's value; never reused
    std::string name;      // the client's name: "VNTQ"
    bool quitQueued = false;  // QUIT waits in the inbox
    bool dead = false;        // QUIT delivered: every call but Close fails
    DWORD lastPacket = 0;
    std::map<DWORD, std::string> systemEvents;  // client event id → system event, lower case
    std::map<DWORD, std::string> clientEvents;  // client event id → simulator event, upper case
    std::map<DWORD, std::vector<DWORD>> groups; // notification group → client event ids
    std::map<DWORD, DWORD> groupPriorities;
    std::map<DWORD, std::vector<Datum>> definitions;
    std::map<DWORD, PeriodicRequest> requests;
    std::deque<Message> inbox;
    std::vector<ByTypeRequest> byTypeRequests;  // sent, not yet answered
};

// An object and what the stand-in keeps about its motion.
struct SimObject {
    ObjectState state;
    // The place and time the speed over ground is measured from.
    Nanos speedFromAt{0};
    double speedFromLat = 0.0;  // degrees
    double speedFromLon = 0.0;  // degrees

    void restartSpeed(Nanos now)
    {
        speedFromAt = now;
        speedFromLat = state.latitude;
        speedFromLon = state.longitude;
    }
};

struct PendingCreation {
    Nanos dueAt{0};
    ObjectState state;
    uint64_t creator = 0;
    DWORD requestId = 0;
};

class Simulator;

// Records one call in the call log when it ends.
class CallScope {
public:
    CallScope(Simulator& sim, std::string_view function, std::string arguments);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    HRESULT result(HRESULT value, std::string_view note = {});
    HRESULT value() const { return record_.result; }
    const std::string& function() const { return record_.function; }
    DWORD packet = 0;
    std::string note;  // a word on what happened, for the call log

private:
    Simulator& sim_;
    CallRecord record_;
};

class Simulator {
public:
    static Simulator& instance();

    // Controls (sim_standin.h).
    void reset(std::optional<std::filesystem::path> file, std::optional<std::string> text,
               std::filesystem::path baseFolder);
    std::string lastError();
    void addFailure(const FailureRule& rule);
    void clearFailures();
    void quit();
    void setFlightRunning(bool running);
    void setPaused(bool paused);
    void loadFlight(const std::string& file);
    void teleportUser(double latitude, double longitude, std::optional<double> altitude_ft);
    void dropObject(DWORD id);
    void announceRemoval(DWORD id);
    std::vector<CallRecord> calls();
    std::vector<ObjectState> objects();
    std::optional<ObjectState> object(DWORD id);
    double simTime_s();
    std::filesystem::path tracePath();
    int openAttempts();

    // SimConnect calls.
    HRESULT open(HANDLE* handle, const char* name);
    HRESULT close(HANDLE handle);
    HRESULT callDispatch(HANDLE handle, DispatchProc dispatch, void* context);
    HRESULT getLastSentPacketId(HANDLE handle, DWORD* sendId);
    HRESULT subscribeToSystemEvent(HANDLE handle, DWORD eventId, const char* name);
    HRESULT addToDataDefinition(HANDLE handle, DWORD defineId, const char* name,
                                const char* unit, SIMCONNECT_DATATYPE type);
    HRESULT mapClientEventToSimEvent(HANDLE handle, DWORD eventId, const char* name);
    HRESULT addClientEventToNotificationGroup(HANDLE handle, DWORD groupId, DWORD eventId,
                                              BOOL maskable);
    HRESULT setNotificationGroupPriority(HANDLE handle, DWORD groupId, DWORD priority);
    HRESULT requestDataOnSimObject(HANDLE handle, const PeriodicRequest& request);
    HRESULT requestDataOnSimObjectType(HANDLE handle, DWORD requestId, DWORD defineId,
                                       DWORD radius_m, SIMCONNECT_SIMOBJECT_TYPE type);
    HRESULT setDataOnSimObject(HANDLE handle, DWORD defineId, DWORD objectId, DWORD flags,
                               DWORD arrayCount, DWORD unitSize, const void* data);
    HRESULT transmitClientEvent(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data,
                                DWORD groupId, DWORD flags);
    HRESULT aiCreateNonAtcAircraft(HANDLE handle, const char* title, const char* tailNumber,
                                   const SIMCONNECT_DATA_INITPOSITION& position,
                                   DWORD requestId);
    HRESULT aiRemoveObject(HANDLE handle, DWORD objectId, DWORD requestId);
    HRESULT aiReleaseControl(HANDLE handle, DWORD objectId, DWORD requestId);
    HRESULT aiSetAircraftFlightPlan(HANDLE handle, DWORD objectId, const char* path,
                                    DWORD requestId);

    void record(CallRecord record);  // CallScope only; mutex_ held

private:
    Simulator() = default;

    // simulator.cpp: world, time, connections, failures, messages.
    bool ensureWorld();
    void buildWorld(SimConfig config);
    void advance();
    double seconds() const { return std::chrono::duration<double>(now_).count(); }
    double scenarioSeconds() const;
    ZuluTime zulu() const;
    Nanos frameTime(uint64_t index) const;
    uint64_t frameIndexAt(Nanos t) const;  // the first frame at or after t
    Connection* live(HANDLE handle, CallScope& call);
    // The start of a call on a connection: the world brought up to date, the connection found
    // and a failure on demand applied. None when the call ends there, with its result set.
    Connection* begin(HANDLE handle, CallScope& call);
    // Whether the call fails on demand; fills `result` when it does.
    bool failsOnDemand(CallScope& call, Connection* connection, HRESULT& result);
    DWORD send(Connection& connection, CallScope& call);
    void queueException(Connection& connection, DWORD exception, DWORD sendId, DWORD index);
    void broadcastSystemEvent(std::string_view name, DWORD data);
    void broadcastAddRemove(std::string_view name, const ObjectState& object);
    void broadcastFileName(std::string_view name, const std::string& file);

    // world.cpp: objects, the user, own traffic, the timeline, frames, observation.
    void stepFrame(Nanos t);
    void moveUser();
    void updateOwnTraffic();
    void runTimeline();
    void runAction(const TimelineEntry& entry);
    void frameMessages(Nanos t);
    void sendPeriodic(Connection& connection, Nanos t);
    void settle(SimObject& object);  // ground, height above it, on-ground
    DWORD userId() const { return 1; }
    SimObject* findObject(DWORD objectId);
    void addObject(ObjectState state, uint64_t creator, DWORD requestId);
    void removeObject(DWORD objectId);
    DWORD newObjectId();  // a freed one first when ids are reused
    int aiObjectCount() const;
    std::string dataOf(const std::vector<Datum>& data, const ObjectState& object) const;
    void queueData(Connection& connection, DWORD recvId, const PeriodicRequest& request,
                   const ObjectState& object, const std::string& data, DWORD entry,
                   DWORD outOf);
    void openOutput();
    void traceRow(const ObjectState& object, std::string_view event);
    void traceAll();
    void writeObjectStates();

    // calls.cpp helpers.
    // The replies to one request by type, from the world as it is now.
    void answerByType(Connection& connection, const ByTypeRequest& request);
    void applyClientEvent(const std::string& simEvent, DWORD data, ObjectState& object);
    void notifyGroups(Connection& sender, DWORD eventId, const std::string& simEvent,
                      DWORD data);

    std::mutex mutex_;  // guards everything below; a leaf lock

    // What the next world is built from.
    std::optional<std::filesystem::path> scenarioFile_;
    std::optional<std::string> scenarioText_;
    std::filesystem::path baseFolder_;
    std::vector<FailureRule> addedRules_;  // rules added by tests before the world exists
    std::string lastError_;

    // The world; empty until the first call after a reset.
    bool built_ = false;
    bool worldOk_ = false;
    SimConfig config_;
    platform::SteadyTime start_{};
    double startEpoch_s_ = 0.0;
    Nanos now_{0};
    uint64_t nextFrameIndex_ = 0;
    Nanos nextFrame_{0};  // time of frame nextFrameIndex_
    // The thread that last called SimConnect_CallDispatch, and when.
    std::thread::id dispatcher_{};
    Nanos lastDispatch_{0};
    Nanos nextTrace_{0};
    Nanos nextSecond_{0};
    Nanos next4Seconds_{0};
    Nanos next6Hz_{0};
    size_t timelineNext_ = 0;
    bool quit_ = false;
    bool flightRunning_ = true;
    bool paused_ = false;
    bool userOnPath_ = true;  // false once teleported
    int openAttempts_ = 0;
    uint64_t nextConnection_ = 1;
    DWORD nextObjectId_ = 100;
    std::deque<DWORD> freedObjectIds_;  // removed ids, oldest first, while ids are reused
    int objectAddedToLose_ = 0;
    std::map<uint64_t, Connection> connections_;
    std::map<DWORD, SimObject> objects_;
    std::vector<PendingCreation> pending_;
    std::vector<std::optional<DWORD>> ownTrafficIds_;  // per ownTraffic entry, while present
    std::vector<bool> ownTrafficDone_;
    struct Rule {
        FailureRule rule;
        int seen = 0;
        int fired = 0;
    };
    std::vector<Rule> rules_;
    std::deque<CallRecord> calls_;
    std::ofstream callLog_;
    std::ofstream trace_;
    std::filesystem::path tracePath_;
};

// A receive record with its header filled in but for dwSize, which Message sets.
template <class Record>
Record makeRecord(DWORD id)
{
    Record record{};
    record.dwVersion = 4;
    record.dwID = id;
    return record;
}

// Great-circle helpers of the stand-in world.
double distance_m(double lat1, double lon1, double lat2, double lon2);
// The point `distance_nm` away from lat, lon on the initial course `course_deg`.
void destinationPoint(double& lat, double& lon, double course_deg, double distance_nm);

}  // namespace qel::simstandin
