// The dispatcher: every message the simulator sends, turned into the program's state (flight
// running, the user aircraft and the once-per-second signal, which simulator answered, new and
// removed AI objects paired with the program's create requests, ground reports, SimConnect
// exceptions) and into results for the traffic manager.
//
// Threads: lf_dispatch runs on "SimClient" inside SimConnect_CallDispatch. It takes
// g_userStateMutex to store the user state, g_simResultMutex to post a result and
// g_simCallMutex to release a paired object and g_simQueueMutex to queue its freeze events or
// the removal of an object whose creation was given up, one at a time. The user's stand is
// looked up on the main-loop thread, where the stand table lives.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/geodesy.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "simlink/link_internal.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

std::atomic<bool>& g_simulatorQuit = g_simLinkRun.simulatorQuit;
std::mutex g_userStateMutex;  // guards g_simUserState; a leaf lock
UserStateBlock& g_simUserState = g_simLinkRun.simUserState;
std::atomic<bool>& g_userOnGround = g_simLinkRun.userOnGround;
std::atomic<bool>& g_userOnGroundValid = g_simLinkRun.userOnGroundValid;
uint32_t& g_userObjectId = g_simLinkRun.userObjectId;  // "SimClient" thread
std::atomic<bool>& g_simTakesFlightPlans = g_simLinkRun.simTakesFlightPlans;

namespace {

// The failure of the running dispatch, handed to lf_rethrowDispatchError once
// SimConnect_CallDispatch has returned; "SimClient" thread only.
std::exception_ptr& g_dispatchError = g_simLinkRun.dispatchError;

constexpr double kTeleport_nm = 10.0;
constexpr double kGroundReportCeiling_ft = 2500.0;
constexpr uint32_t kLiveHexIds = 10000;  // hex ids above are live flights
constexpr size_t kAtcIdBytes = 32;       // STRING32
// SIMOBJECT_DATA messages: the data starts where dwData stands.
constexpr size_t kDataStart = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);

// "SimClient" thread: the previous reply to request 109.
LatLon& g_lastUserPosition = g_simLinkRun.lastUserPosition;
bool& g_asGenReported = g_simLinkRun.asGenReported;            // "SimClient" thread
bool& g_absurdDateReported = g_simLinkRun.absurdDateReported;  // "SimClient" thread
std::string& g_userStandName = g_simLinkRun.userStandName;     // main-loop thread

// The message as its record, or nullptr when it is too short to be one.
template <class Record>
const Record* lf_as(const SIMCONNECT_RECV* data, DWORD size)
{
    return size >= sizeof(Record) ? static_cast<const Record*>(data) : nullptr;
}

// The data part of a SIMOBJECT_DATA message; only as many bytes as arrived are ever read.
class ObjectData {
public:
    ObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& message, DWORD size)
        : bytes_(reinterpret_cast<const char*>(&message) + kDataStart),
          size_(size > kDataStart ? size - kDataStart : 0)
    {
    }
    template <class T>
    std::optional<T> read(size_t offset) const
    {
        if (offset + sizeof(T) > size_) return std::nullopt;
        T value;
        std::memcpy(&value, bytes_ + offset, sizeof value);
        return value;
    }
    // A terminated text of at most `limit` bytes from `offset`; cut where the data ends.
    std::string text(size_t offset, size_t limit) const
    {
        if (offset >= size_) return {};
        const size_t available = std::min(limit, size_ - offset);
        return {bytes_ + offset, strnlen(bytes_ + offset, available)};
    }

private:
    const char* bytes_;
    size_t size_;
};

void lf_post(uint32_t objectId, uint32_t hexId, SimResultKind kind, double value1 = 0.0,
             double value2 = 0.0)
{
    gf_postSimResult(SimResult{objectId, hexId, 0, kind, value1, value2});
}

void lf_newFlight()
{
    lf_rememberUserStand();
    gf_requestStop(ExitReason::NEW_FLIGHT, 45);
}

bool lf_isNameCharacter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
           c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void lf_onOpen(const SIMCONNECT_RECV_OPEN& open)
{
    const size_t length = strnlen(open.szApplicationName, sizeof open.szApplicationName);
    std::string name;
    for (size_t i = 0; i < length; ++i) {
        if (lf_isNameCharacter(open.szApplicationName[i])) name += open.szApplicationName[i];
    }
    if (name.empty()) {
        gf_log("! Simulator name empty?");
        return;
    }
    g_simWindowStatus.simulatorConnected = true;
    gf_invalidateArea(WindowArea::StatusStrip);
    const bool msfs2020 = name == "KittyHawk";
    const bool msfs2024 = name == "SunRise";
    if ((msfs2020 && !g_isMsfs2020) || (msfs2024 && g_isMsfs2020)) {
        throw UserErrorException(kSimMismatchError, "");
    }
    if (!msfs2020 && !msfs2024) {
        throw UserErrorException(
            77, fmt::format("'{}' not being MSFS 2020 or MSFS 2024 connects ... ?", name));
    }
    g_simTakesFlightPlans = msfs2020;
    const std::string text = fmt::format(
        "{} ({}.{}.{}.{})", msfs2020 ? "MSFS 2020" : "MSFS 2024", open.dwApplicationVersionMajor,
        open.dwApplicationVersionMinor, open.dwApplicationBuildMajor, open.dwApplicationBuildMinor);
    gf_log(fmt::format("{} connected", text));
    g_simWindowStatus.simulatorText.set(text);
    gf_invalidateArea(WindowArea::StatusStrip);
    gf_clearMessage();
}

// The pending creation that the call with this send id made, taken out of the table.
std::optional<PacketIdRecord> lf_takeRecordOfCall(DWORD sendId)
{
    // Send id 0 means "unknown": it must not hit a record whose packet id was never returned.
    if (sendId == SIMCONNECT_RECV_EXCEPTION::UNKNOWN_SENDID) return std::nullopt;
    for (auto& record : g_packetIds) {
        if (record.packetId != sendId) continue;
        PacketIdRecord taken = std::move(record);
        record = std::move(g_packetIds.back());
        g_packetIds.pop_back();
        return taken;
    }
    return std::nullopt;
}

void lf_onCreationRefused(DWORD sendId)
{
    const auto record = lf_takeRecordOfCall(sendId);
    // A creation given up is no longer the traffic manager's; a new one of the same flight may
    // be under way, and must not be failed for it.
    if (!record || record->abandoned) return;
    // Hex id 0 is a static aircraft like any other; it too must leave adding2sim.
    lf_post(0, record->hexId, SimResultKind::creationFailed);
}

// The simulator is full. The refused creation ends at once instead of waiting for an answer
// that will never come; the traffic manager holds further ones back until room is made.
void lf_onTooManyObjects(DWORD sendId)
{
    gf_setMessage("SimConnect: too many objects (max 1000)", true);
    const auto record = lf_takeRecordOfCall(sendId);
    const bool ours = record && !record->abandoned;
    lf_post(0, ours ? record->hexId : 0, SimResultKind::simulatorFull, ours ? 1.0 : 0.0);
}

void lf_onException(const SIMCONNECT_RECV_EXCEPTION& e)
{
    switch (e.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID:
        if (lf_positionKnown(g_lastUserPosition.lat, g_lastUserPosition.lon) && !gf_stopFlag()) {
            gf_logHighlighted("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        }
        break;
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw UserErrorException(
            95, fmt::format("SimConnect Version Mismatch, dwIndex: {}", e.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS: lf_onTooManyObjects(e.dwSendID); break;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        gf_log("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE");
        break;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: lf_onCreationRefused(e.dwSendID); break;
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        gf_logHighlighted("SimConnect exception: load flight plan failed");
        break;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        gf_log("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE");
        break;
    default: gf_logHighlighted(fmt::format("SIMCONNECT_EXCEPTION #{}", e.dwException)); break;
    }
}

void lf_onEvent(const SIMCONNECT_RECV_EVENT& event)
{
    if (event.uEventID == kEventSim) {
        const bool running = event.dwData == 1;
        g_flightRunning = running;
        g_simWindowStatus.simulationRunning = running;
        gf_invalidateArea(WindowArea::StatusStrip);
    } else if (event.uEventID == kEventFlightLoaded) {
        gf_log("SimConnect: flight loaded event");
        lf_newFlight();
    }
}

void lf_onObjectAssigned(const SIMCONNECT_RECV_ASSIGNED_OBJECT_ID& assigned)
{
    const auto record =
        std::find_if(g_packetIds.begin(), g_packetIds.end(), [&](const PacketIdRecord& r) {
            return r.requestId == assigned.dwRequestID && r.objectId == 0;
        });
    if (record == g_packetIds.end() || assigned.dwObjectID <= g_userObjectId) return;
    if (!record->abandoned) {
        record->objectId = assigned.dwObjectID;
        return;
    }
    // Given up before its object came: nothing would ever remove it.
    lf_forgetAdded(assigned.dwObjectID);
    *record = std::move(g_packetIds.back());
    g_packetIds.pop_back();
    gf_queueRemoveAc(assigned.dwObjectID);
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& event)
{
    // The type is compared as the raw number that arrived: a value outside the enumeration
    // would be undefined once loaded as the enum type.
    static_assert(sizeof event.eObjType == sizeof(uint32_t));
    uint32_t type = 0;
    std::memcpy(&type, &event.eObjType, sizeof type);
    // A created helicopter is reported as one; it is paired like an aeroplane.
    if (type != static_cast<uint32_t>(SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) &&
        type != static_cast<uint32_t>(SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER)) {
        return;
    }
    const uint32_t objectId = event.dwData;
    if (event.uEventID == kEventObjectAdded) {
        if (objectId > g_userObjectId) g_addedObjects.push_back(objectId);
    } else if (event.uEventID == kEventObjectRemoved) {
        // An object that left before it was paired would otherwise stay in the table for good.
        lf_forgetAdded(objectId);
        // Its creation's record goes too: a give-up later would remove the id, which the
        // simulator may have handed to another object by then. Id 0 is no object's: it would hit
        // every record still waiting for its id.
        if (objectId != 0) {
            std::erase_if(g_packetIds,
                          [objectId](const PacketIdRecord& r) { return r.objectId == objectId; });
        }
        lf_post(objectId, 0, SimResultKind::removed);
    }
}

void lf_showUserStand(double latitude, double longitude)
{
    gf_postToMainLoop([latitude, longitude] {
        std::string name = gf_lookUpClosestStand(latitude, longitude);
        if (name == g_userStandName) return;
        // An empty name brings the window's default text back.
        g_simWindowStatus.userStand.set(name);
        gf_invalidateArea(WindowArea::StatusStrip);
        g_userStandName = std::move(name);
    });
}

// The simulator's zulu date as epoch seconds; nothing for a date no calendar has (the message
// is damaged), which would overflow the arithmetic below.
std::optional<int64_t> lf_epochSeconds(int64_t year, int64_t dayOfYear, int64_t secondOfDay)
{
    if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > 366 || secondOfDay < 0 ||
        secondOfDay > 86400) {
        return std::nullopt;
    }
    const int64_t y = year - 1;
    const int64_t days = 365 * y + y / 4 - y / 100 + y / 400 + dayOfYear - 719163;
    return days * 86400 + secondOfDay;
}

void lf_onUserState(UserStateBlock block, uint32_t objectId)
{
    if (block.altitude_ft < 0.0) block.altitude_ft = 0.0;
    {
        std::scoped_lock lock(g_userStateMutex);
        g_simUserState = block;
    }
    const LatLon position{block.latitude, block.longitude};
    if (lf_positionKnown(g_lastUserPosition.lat, g_lastUserPosition.lon) &&
        lf_positionKnown(position.lat, position.lon) &&
        gf_distanceNm(g_lastUserPosition, position) > kTeleport_nm) {
        gf_log("Teleport");
        // Unlike a loaded flight, a jump does not remember the stand: the position is already
        // the one jumped to.
        gf_requestStop(ExitReason::NEW_FLIGHT, 45);
    }
    g_lastUserPosition = position;
    lf_showUserStand(position.lat, position.lon);
    if (g_rtProfessional) {
        if (const auto zulu =
                lf_epochSeconds(block.zuluYear, block.zuluDayOfYear, block.zuluTime_s)) {
            g_simZuluTime = *zulu;
        } else if (!g_absurdDateReported) {
            g_absurdDateReported = true;
            gf_log(fmt::format("Simulator zulu date ignored: year {}, day {}, second {}",
                               block.zuluYear, block.zuluDayOfYear, block.zuluTime_s));
        }
    }
    g_userObjectId = objectId;
}

void lf_onSimObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& message, DWORD size)
{
    const ObjectData data(message, size);
    switch (message.dwRequestID) {
    case kReqStaticCg: {
        const auto cg = data.read<double>(0);
        const auto pitch = data.read<double>(8);
        if (cg && pitch) {
            lf_post(message.dwObjectID, 0, SimResultKind::staticCg, *cg, *pitch);
        }
        break;
    }
    case kReqUserTitle: lf_onUserTitle(data.text(0, size)); break;
    case kReqUserModel: lf_onUserModel(data.text(0, kAtcIdBytes)); break;
    case kReqUserOnGround:
        if (const auto onGround = data.read<int64_t>(0);
            onGround && lf_positionKnown(g_lastUserPosition.lat, g_lastUserPosition.lon)) {
            g_userOnGround = *onGround != 0;
            g_userOnGroundValid = true;
        }
        g_secondPassed = true;
        break;
    case kReqUserState:
        if (const auto block = data.read<UserStateBlock>(0)) {
            lf_onUserState(*block, message.dwObjectID);
        }
        break;
    default: break;
    }
}

// The pending creation a new object belongs to: the one it was assigned to, else the first with
// its callsign that has no object yet and was not given up.
std::optional<uint32_t> lf_takePacketRecord(uint32_t objectId, const std::string& callsign)
{
    auto record = std::find_if(g_packetIds.begin(), g_packetIds.end(),
                               [&](const PacketIdRecord& r) { return r.objectId == objectId; });
    if (record == g_packetIds.end()) {
        if (callsign.empty()) return std::nullopt;
        record = std::find_if(g_packetIds.begin(), g_packetIds.end(), [&](const PacketIdRecord& r) {
            return r.objectId == 0 && !r.abandoned && r.callsign == callsign;
        });
    }
    if (record == g_packetIds.end()) return std::nullopt;
    const uint32_t hexId = record->hexId;
    *record = std::move(g_packetIds.back());
    g_packetIds.pop_back();
    return hexId;
}

// Hands AI control over and freezes the object where the traffic manager will put it.
void lf_takeOver(uint32_t objectId)
{
    {
        std::scoped_lock lock(g_simCallMutex);
        SimConnect_AIReleaseControl(g_hSimConnect, objectId, kReqReleaseControl);
    }
    std::scoped_lock lock(g_simQueueMutex);
    for (const uint32_t event : {kEventFreezeLatLon, kEventFreezeAltitude, kEventFreezeAttitude}) {
        lf_appendClientEvent(objectId, event, 1);
    }
}

void lf_onSimObjectDataByType(const SIMCONNECT_RECV_SIMOBJECT_DATA& message, DWORD size)
{
    const uint32_t objectId = message.dwObjectID;
    if (objectId <= g_userObjectId) return;
    const ObjectData data(message, size);
    const double aboveGround_ft = data.read<double>(0).value_or(0.0);
    const double ground_ft = data.read<double>(8).value_or(0.0);
    const int64_t onGround = data.read<int64_t>(16).value_or(0) != 0 ? 1 : 0;
    const std::string atcId = data.text(24, kAtcIdBytes);
    if (!lf_forgetAdded(objectId)) {
        if (aboveGround_ft > kGroundReportCeiling_ft || atcId.empty() || atcId.ends_with('*')) {
            return;
        }
        lf_post(objectId, static_cast<uint32_t>(onGround), SimResultKind::groundReport, ground_ft,
                aboveGround_ft);
        return;
    }
    const auto hexId = lf_takePacketRecord(objectId, atcId);
    if (!hexId) {
        if (atcId != "AS-GEN") {
            gf_log(
                fmt::format("just spawned, but not by {}, oid: {:x}, callsign '{}', "
                            "altaboveGnd:{:.0f} ft, onground:{}, gnd_alt:{:.0f} ft",
                            g_shortName, objectId, atcId, aboveGround_ft, onGround, ground_ft));
        } else if (!g_asGenReported) {
            g_asGenReported = true;
            gf_logHighlighted(fmt::format(
                "\nSpawned by Asobo, oid: {:x}, callsign AS-GEN, altaboveGnd:{:.0f} ft, "
                "onground:{}, gnd_alt:{:.0f} ft\nThis message will be logged only once...\n",
                objectId, aboveGround_ft, onGround, ground_ft));
        }
        return;
    }
    lf_takeOver(objectId);
    if (*hexId > kLiveHexIds) {
        lf_post(objectId, *hexId, SimResultKind::liveCreated, 0.0, aboveGround_ft);
    } else {
        lf_post(objectId, *hexId, SimResultKind::staticCreated);
    }
}

}  // namespace

bool lf_forgetAdded(uint32_t objectId)
{
    for (auto& id : g_addedObjects) {
        if (id != objectId) continue;
        id = g_addedObjects.back();
        g_addedObjects.pop_back();
        return true;
    }
    return false;
}

void lf_rememberUserStand()
{
    // At most 2 kt: the user is parked, not taxiing past a stand.
    constexpr double kParkedSpeed_kt = 2.0;
    if (!g_userOnGroundValid) return;
    UserStateBlock user;
    {
        std::scoped_lock lock(g_userStateMutex);
        user = g_simUserState;
    }
    if (user.groundSpeed_kt > kParkedSpeed_kt) return;
    gf_lookUpRememberUserStand(user.latitude, user.longitude);
}

bool gf_simulatorTakesFlightPlans() { return g_simTakesFlightPlans; }

bool lf_positionKnown(double latitude, double longitude)
{
    return std::abs(latitude) > 0.0001 || std::abs(longitude) > 0.0001;
}

namespace {

void lf_handleReceived(SIMCONNECT_RECV* data, DWORD size)
{
    switch (data->dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        if (const auto* e = lf_as<SIMCONNECT_RECV_EXCEPTION>(data, size)) lf_onException(*e);
        break;
    case SIMCONNECT_RECV_ID_OPEN:
        if (const auto* open = lf_as<SIMCONNECT_RECV_OPEN>(data, size)) lf_onOpen(*open);
        break;
    case SIMCONNECT_RECV_ID_QUIT: {
        g_flightRunning = false;
        g_simulatorQuit = true;
        // Requests of other threads stop here rather than fail against a simulator that is
        // gone; the thread closes the handle on its way out.
        std::scoped_lock lock(g_simCallMutex);
        g_hSimConnect = nullptr;
        break;
    }
    case SIMCONNECT_RECV_ID_EVENT:
        if (const auto* event = lf_as<SIMCONNECT_RECV_EVENT>(data, size)) lf_onEvent(*event);
        break;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        if (const auto* e = lf_as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(data, size)) {
            lf_onObjectAddRemove(*e);
        }
        break;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        gf_logHighlighted("SimConnect: New file event");
        lf_newFlight();
        break;
    case SIMCONNECT_RECV_ID_EVENT_FRAME: lf_onFrame(); break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        if (const auto* m = lf_as<SIMCONNECT_RECV_SIMOBJECT_DATA>(data, size)) {
            lf_onSimObjectData(*m, size);
        }
        break;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        if (const auto* m = lf_as<SIMCONNECT_RECV_SIMOBJECT_DATA>(data, size)) {
            if (m->dwRequestID == kReqInRange) lf_onSimObjectDataByType(*m, size);
        }
        break;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
        if (const auto* m = lf_as<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>(data, size)) {
            lf_onObjectAssigned(*m);
        }
        break;
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
    case 27: break;
    default: gf_log(fmt::format("! Unknown Dispatch dwID {}", data->dwID)); break;
    }
}

}  // namespace

void lf_dispatch(SIMCONNECT_RECV* data, DWORD size, void* /*context*/) noexcept
{
    if (!data || size < sizeof(SIMCONNECT_RECV)) return;
    try {
        lf_handleReceived(data, size);
    } catch (...) {
        // The first failure of a dispatch ends the connection; later ones add nothing.
        if (!g_dispatchError) g_dispatchError = std::current_exception();
    }
}

void lf_rethrowDispatchError()
{
    if (!g_dispatchError) return;
    std::exception_ptr error;
    std::swap(error, g_dispatchError);
    std::rethrow_exception(error);
}

}  // namespace qel
