// The stand-in simulator's answers to the SimConnect calls after the open: subscriptions,
// data definitions and requests, data sets, client events and the AI functions. A call that
// the simulator rejects returns S_OK and sends an exception with its packet id, as SimConnect
// does; only a call it cannot take at all (no connection, a missing pointer) returns a failure.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "standins/simulator/simulator.h"

namespace qel::simstandin {
namespace {

constexpr double lf_deg2rad = 3.14159265358979323846 / 180.0;
constexpr DWORD lf_maxRadius_m = 200000;  // what SimConnect serves at most
constexpr DWORD lf_allLights = 0x3FF;
constexpr double lf_speedSpan_s = 1.0;  // the least time a speed over ground is measured over

constexpr const char* lf_systemEvents[] = {
    "1sec", "4sec", "6hz", "aircraftloaded", "crashed", "crashreset", "flightloaded",
    "flightsaved", "flightplanactivated", "flightplandeactivated", "frame", "objectadded",
    "objectremoved", "pause", "pause_ex1", "paused", "pauseframe", "positionchanged", "sim",
    "simstart", "simstop", "sound", "unpaused", "view"};

struct LightEvent {
    const char* name;
    DWORD bit;
};

constexpr LightEvent lf_lightEvents[] = {
    {"NAV_LIGHTS_SET", 0x1},       {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4},
    {"TAXI_LIGHTS_SET", 0x8},      {"STROBES_SET", 0x10},      {"PANEL_LIGHTS_SET", 0x20},
    {"RECOGNITION_LIGHTS_SET", 0x40}, {"WING_LIGHTS_SET", 0x80}, {"LOGO_LIGHTS_SET", 0x100},
    {"CABIN_LIGHTS_SET", 0x200}};

constexpr const char* lf_otherEvents[] = {
    "ALL_LIGHTS_TOGGLE", "FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET",
    "FREEZE_ATTITUDE_SET", "FREEZE_LATITUDE_LONGITUDE_TOGGLE", "FREEZE_ALTITUDE_TOGGLE",
    "FREEZE_ATTITUDE_TOGGLE", "FLAPS_SET", "FLAPS_UP", "FLAPS_DOWN", "SPOILERS_SET",
    "GEAR_SET", "GEAR_UP", "GEAR_DOWN", "ENGINE_AUTO_START", "ENGINE_AUTO_SHUTDOWN",
    "THROTTLE_SET"};

std::string lf_lower(const char* text)
{
    std::string out = text ? text : "";
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string lf_upper(const char* text)
{
    std::string out = text ? text : "";
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

bool lf_knownSimEvent(const std::string& name)
{
    return name.empty() ||
           std::any_of(std::begin(lf_lightEvents), std::end(lf_lightEvents),
                       [&](const LightEvent& e) { return name == e.name; }) ||
           std::any_of(std::begin(lf_otherEvents), std::end(lf_otherEvents),
                       [&](const char* e) { return name == e; });
}

const char* lf_text(const char* text) { return text ? text : "(null)"; }

}  // namespace

HRESULT Simulator::subscribeToSystemEvent(HANDLE handle, DWORD eventId, const char* name)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_SubscribeToSystemEvent",
                   fmt::format("{}, '{}'", eventId, lf_text(name)));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const std::string event = lf_lower(name);
    if (std::find(std::begin(lf_systemEvents), std::end(lf_systemEvents), event) ==
        std::end(lf_systemEvents)) {
        queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 2);
        return call.result(S_OK, "unknown system event");
    }
    c->systemEvents[eventId] = event;
    // The states are told at once, so that a client that subscribes learns them.
    auto state = [&](DWORD data) {
        auto record = makeRecord<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
        record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
        record.uEventID = eventId;
        record.dwData = data;
        c->inbox.emplace_back(&record, sizeof record);
    };
    if (event == "sim") state(flightRunning_ ? 1 : 0);
    if (event == "pause") state(paused_ ? 1 : 0);
    return call.result(S_OK);
}

HRESULT Simulator::addToDataDefinition(HANDLE handle, DWORD defineId, const char* name,
                                       const char* unit, SIMCONNECT_DATATYPE type)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AddToDataDefinition",
                   fmt::format("{}, '{}', '{}', {}", defineId, lf_text(name),
                               lf_text(unit), static_cast<int>(type)));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    try {
        c->definitions[defineId].push_back(makeDatum(name, unit, type));
    } catch (const DatumError& error) {
        queueException(*c, error.exception, packet, error.index);
        return call.result(S_OK, "rejected");
    }
    return call.result(S_OK);
}

HRESULT Simulator::mapClientEventToSimEvent(HANDLE handle, DWORD eventId, const char* name)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_MapClientEventToSimEvent",
                   fmt::format("{}, '{}'", eventId, lf_text(name)));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const std::string event = lf_upper(name);
    if (c->clientEvents.contains(eventId)) {
        queueException(*c, SIMCONNECT_EXCEPTION_EVENT_ID_DUPLICATE, packet, 1);
        return call.result(S_OK, "duplicate id");
    }
    if (!lf_knownSimEvent(event)) {
        queueException(*c, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, packet, 2);
        return call.result(S_OK, "unknown event");
    }
    c->clientEvents[eventId] = event;
    return call.result(S_OK);
}

HRESULT Simulator::addClientEventToNotificationGroup(HANDLE handle, DWORD groupId,
                                                     DWORD eventId, BOOL maskable)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AddClientEventToNotificationGroup",
                   fmt::format("{}, {}, {}", groupId, eventId, maskable));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    if (!c->clientEvents.contains(eventId)) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return call.result(S_OK, "unknown event");
    }
    std::vector<DWORD>& events = c->groups[groupId];
    if (std::find(events.begin(), events.end(), eventId) == events.end()) {
        events.push_back(eventId);
    }
    return call.result(S_OK);
}

HRESULT Simulator::setNotificationGroupPriority(HANDLE handle, DWORD groupId, DWORD priority)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_SetNotificationGroupPriority",
                   fmt::format("{}, {}", groupId, priority));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    if (!c->groups.contains(groupId)) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown group");
    }
    c->groupPriorities[groupId] = priority;
    return call.result(S_OK);
}

HRESULT Simulator::requestDataOnSimObject(HANDLE handle, const PeriodicRequest& request)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_RequestDataOnSimObject",
                   fmt::format("{}, {}, {}, period {}, flags {}", request.requestId,
                               request.defineId, request.objectId,
                               static_cast<int>(request.period), request.flags));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const auto definition = c->definitions.find(request.defineId);
    if (definition == c->definitions.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return call.result(S_OK, "unknown definition");
    }
    const SimObject* object = findObject(request.objectId);
    if (!object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 3);
        return call.result(S_OK, "unknown object");
    }
    if (request.period > SIMCONNECT_PERIOD_SECOND) {
        queueException(*c, SIMCONNECT_EXCEPTION_INVALID_ENUM, packet, 4);
        return call.result(S_OK, "unknown period");
    }
    if (request.flags & SIMCONNECT_DATA_REQUEST_FLAG_TAGGED) {
        queueException(*c, SIMCONNECT_EXCEPTION_ERROR, packet, 5);
        return call.result(S_OK, "tagged data is not served");
    }
    // A request id names one request; a new one replaces it.
    c->requests.erase(request.requestId);
    if (request.period == SIMCONNECT_PERIOD_NEVER) return call.result(S_OK);
    PeriodicRequest r = request;
    r.objectId = object->state.id;
    if (request.period == SIMCONNECT_PERIOD_ONCE) {
        queueData(*c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, r, object->state,
                  dataOf(definition->second, object->state), 1, 1);
        return call.result(S_OK);
    }
    r.nextDue = nextFrame_;
    c->requests[r.requestId] = r;
    return call.result(S_OK);
}

HRESULT Simulator::requestDataOnSimObjectType(HANDLE handle, DWORD requestId, DWORD defineId,
                                              DWORD radius_m, SIMCONNECT_SIMOBJECT_TYPE type)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_RequestDataOnSimObjectType",
                   fmt::format("{}, {}, {} m, type {}", requestId, defineId, radius_m,
                               static_cast<int>(type)));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const auto definition = c->definitions.find(defineId);
    if (definition == c->definitions.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return call.result(S_OK, "unknown definition");
    }
    if (type < SIMCONNECT_SIMOBJECT_TYPE_USER || type > SIMCONNECT_SIMOBJECT_TYPE_GROUND) {
        queueException(*c, SIMCONNECT_EXCEPTION_INVALID_ENUM, packet, 4);
        return call.result(S_OK, "unknown type");
    }
    // The real simulator refuses a larger radius with this exception, naming the radius.
    if (radius_m > lf_maxRadius_m) {
        queueException(*c, SIMCONNECT_EXCEPTION_OUT_OF_BOUNDS, packet, 3);
        return call.result(S_OK, "radius out of bounds");
    }
    // The real call only sends the request; the simulator answers later. Building a thousand
    // replies here would cost the caller, the program's 10 ms tick, what the real one never pays.
    c->byTypeRequests.push_back({requestId, defineId, radius_m, type});
    call.note = "answered at the next dispatch";
    return call.result(S_OK);
}

void Simulator::answerByType(Connection& c, const ByTypeRequest& request)
{
    const auto definition = c.definitions.find(request.defineId);
    if (definition == c.definitions.end()) return;
    const double radius = std::min<double>(request.radius_m, config_.byTypeRadiusLimit_m);
    const ObjectState& user = objects_[userId()].state;
    std::vector<const ObjectState*> found;
    for (const auto& [id, object] : objects_) {
        const ObjectState& o = object.state;
        const bool kind =
            request.type == SIMCONNECT_SIMOBJECT_TYPE_ALL ||
            (request.type == SIMCONNECT_SIMOBJECT_TYPE_USER && o.kind == ObjectKind::user) ||
            request.type == o.type;
        if (!kind) continue;
        // Radius 0 asks for the user's aircraft alone.
        const bool near = o.kind == ObjectKind::user ||
                          (radius > 0 && distance_m(user.latitude, user.longitude, o.latitude,
                                                    o.longitude) <= radius);
        if (near) found.push_back(&o);
    }
    PeriodicRequest r;
    r.requestId = request.requestId;
    r.defineId = request.defineId;
    for (size_t i = 0; i < found.size(); ++i) {
        queueData(c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, r, *found[i],
                  dataOf(definition->second, *found[i]), static_cast<DWORD>(i + 1),
                  static_cast<DWORD>(found.size()));
    }
}

HRESULT Simulator::setDataOnSimObject(HANDLE handle, DWORD defineId, DWORD objectId, DWORD flags,
                                      DWORD arrayCount, DWORD unitSize, const void* data)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_SetDataOnSimObject",
                   fmt::format("{}, {}, flags {}, count {}, size {}", defineId, objectId,
                               flags, arrayCount, unitSize));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    if (!data) return call.result(E_INVALIDARG);
    const auto definition = c->definitions.find(defineId);
    if (definition == c->definitions.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown definition");
    }
    SimObject* object = findObject(objectId);
    if (!object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return call.result(S_OK, "unknown object");
    }
    const auto size = blockSize(definition->second);
    DWORD exception = SIMCONNECT_EXCEPTION_NONE, index = 0;
    if (flags & SIMCONNECT_DATA_SET_FLAG_TAGGED) {
        exception = SIMCONNECT_EXCEPTION_ERROR, index = 3;
    } else if (arrayCount > 1) {
        exception = SIMCONNECT_EXCEPTION_INVALID_ARRAY, index = 4;
    } else if (!size || *size != unitSize) {
        exception = SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, index = 5;
    }
    if (exception != SIMCONNECT_EXCEPTION_NONE) {
        queueException(*c, exception, packet, index);
        return call.result(S_OK, "rejected");
    }
    ObjectState& s = object->state;
    const double lat = s.latitude, lon = s.longitude, alt = s.altitude_ft;
    try {
        applyBlock(definition->second, data, s);
    } catch (const DatumError& error) {
        queueException(*c, error.exception, packet, error.index);
        return call.result(S_OK, "read-only variable");
    }
    const bool moved = s.latitude != lat || s.longitude != lon || s.altitude_ft != alt;
    if (moved && s.positionsSet == 0) {
        // The first position only places the object.
        object->restartSpeed(now_);
    } else if (s.positionsSet > 0) {
        // Over a second at least: a client that fell behind sends the positions of its missed
        // ticks back to back, and two of them microseconds apart would show many times the
        // speed it moves at.
        const double seconds = std::chrono::duration<double>(now_ - object->speedFromAt).count();
        if (seconds >= lf_speedSpan_s) {
            const double metres =
                distance_m(object->speedFromLat, object->speedFromLon, s.latitude, s.longitude);
            s.groundSpeed_kt = metres / 1852.0 / (seconds / 3600.0);
            object->restartSpeed(now_);
        }
    }
    if (moved) {
        ++s.positionsSet;
        if (s.kind == ObjectKind::user) userOnPath_ = false;
    }
    settle(*object);
    return call.result(S_OK);
}

HRESULT Simulator::transmitClientEvent(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data,
                                       DWORD groupId, DWORD flags)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_TransmitClientEvent",
                   fmt::format("{}, {}, {}, group {}, flags {}", objectId, eventId, data,
                               groupId, flags));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const auto event = c->clientEvents.find(eventId);
    if (event == c->clientEvents.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 2);
        return call.result(S_OK, "unknown event");
    }
    SimObject* object = findObject(objectId);
    if (!object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown object");
    }
    const std::string simEvent = event->second;
    applyClientEvent(simEvent, data, object->state);
    notifyGroups(*c, eventId, simEvent, data);
    call.note = simEvent;
    return call.result(S_OK);
}

void Simulator::applyClientEvent(const std::string& e, DWORD data, ObjectState& o)
{
    for (const LightEvent& light : lf_lightEvents) {
        if (e != light.name) continue;
        o.lightStates = data ? (o.lightStates | light.bit) : (o.lightStates & ~light.bit);
        return;
    }
    const DWORD position = std::min<DWORD>(data, 16383);
    if (e == "ALL_LIGHTS_TOGGLE") o.lightStates ^= lf_allLights;
    else if (e == "FREEZE_LATITUDE_LONGITUDE_SET") o.frozenLatLon = data != 0;
    else if (e == "FREEZE_ALTITUDE_SET") o.frozenAltitude = data != 0;
    else if (e == "FREEZE_ATTITUDE_SET") o.frozenAttitude = data != 0;
    else if (e == "FREEZE_LATITUDE_LONGITUDE_TOGGLE") o.frozenLatLon = !o.frozenLatLon;
    else if (e == "FREEZE_ALTITUDE_TOGGLE") o.frozenAltitude = !o.frozenAltitude;
    else if (e == "FREEZE_ATTITUDE_TOGGLE") o.frozenAttitude = !o.frozenAttitude;
    else if (e == "FLAPS_SET") o.flaps = position;
    else if (e == "FLAPS_UP") o.flaps = 0;
    else if (e == "FLAPS_DOWN") o.flaps = 16383;
    else if (e == "SPOILERS_SET") {
        o.spoilersEvent = position;
        o.spoilersHandle_pct = position * 100.0 / 16383.0;
    } else if (e == "GEAR_SET") o.gearDown = data != 0;
    else if (e == "GEAR_UP") o.gearDown = false;
    else if (e == "GEAR_DOWN") o.gearDown = true;
    else if (e == "ENGINE_AUTO_START") o.enginesRunning = true;
    else if (e == "ENGINE_AUTO_SHUTDOWN") o.enginesRunning = false;
    else if (e == "THROTTLE_SET") o.throttle_pct[0] = o.throttle_pct[1] = position / 163.83;
}

void Simulator::notifyGroups(Connection& sender, DWORD eventId, const std::string& simEvent,
                             DWORD data)
{
    for (auto& [number, c] : connections_) {
        if (c.quitQueued) continue;
        for (const auto& [groupId, events] : c.groups) {
            for (DWORD id : events) {
                const auto mapped = c.clientEvents.find(id);
                if (mapped == c.clientEvents.end()) continue;
                // A private event (no simulator event) reaches its own client only.
                const bool same = simEvent.empty()
                                      ? (&c == &sender && id == eventId && mapped->second.empty())
                                      : mapped->second == simEvent;
                if (!same) continue;
                auto record = makeRecord<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
                record.uGroupID = groupId;
                record.uEventID = id;
                record.dwData = data;
                c.inbox.emplace_back(&record, sizeof record);
            }
        }
    }
}

HRESULT Simulator::aiCreateNonAtcAircraft(HANDLE handle, const char* title,
                                          const char* tailNumber,
                                          const SIMCONNECT_DATA_INITPOSITION& p, DWORD requestId)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AICreateNonATCAircraft",
                   fmt::format("'{}', '{}', {:.6f}, {:.6f}, {:.0f} ft, hdg {:.0f}, "
                               "on ground {}, {} kt, request {}",
                               lf_text(title), lf_text(tailNumber), p.Latitude, p.Longitude,
                               p.Altitude, p.Heading, p.OnGround, p.Airspeed, requestId));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const auto livery = config_.liveries.find(title ? title : "");
    if (livery == config_.liveries.end()) {
        queueException(*c, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, packet, 1);
        return call.result(S_OK, "unknown title");
    }
    if (aiObjectCount() >= config_.objectLimit) {
        queueException(*c, SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS, packet, 0);
        return call.result(S_OK, "object limit");
    }
    const LiveryConfig& l = livery->second;
    ObjectState o;
    o.id = newObjectId();
    o.kind = ObjectKind::ai;
    o.type = l.helicopter ? SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER
                          : SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    o.title = l.title;
    o.atcId = tailNumber ? tailNumber : "";
    o.atcModel = l.atcModel;
    o.owner = c->number;
    o.staticCg_ft = l.staticCg_ft.value_or(config_.staticCg_ft);
    o.staticPitch_rad = l.staticPitch_deg.value_or(config_.staticPitch_deg) * lf_deg2rad;
    o.latitude = p.Latitude;
    o.longitude = p.Longitude;
    o.altitude_ft = p.OnGround ? config_.fieldElevation_ft + o.staticCg_ft : p.Altitude;
    o.pitch_rad = p.Pitch * lf_deg2rad;
    o.bank_rad = p.Bank * lf_deg2rad;
    o.heading_rad = std::fmod(std::fmod(p.Heading, 360.0) + 360.0, 360.0) * lf_deg2rad;
    o.airspeed_kt = p.Airspeed;
    o.gearDown = p.OnGround != 0 || p.Altitude < config_.fieldElevation_ft + 3000.0;
    o.createdAt_s = seconds();
    call.note = fmt::format("object {}", o.id);
    if (config_.createDelay_s > 0.0) {
        pending_.push_back({now_ + Nanos(static_cast<int64_t>(config_.createDelay_s * 1e9)),
                            std::move(o), c->number, requestId});
    } else {
        addObject(std::move(o), c->number, requestId);
    }
    return call.result(S_OK);
}

HRESULT Simulator::aiRemoveObject(HANDLE handle, DWORD objectId, DWORD requestId)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AIRemoveObject",
                   fmt::format("{}, request {}", objectId, requestId));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    const SimObject* object = findObject(objectId);
    if (!object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown object");
    }
    // A client removes only the AI objects it created.
    if (object->state.kind != ObjectKind::ai || object->state.owner != c->number) {
        queueException(*c, SIMCONNECT_EXCEPTION_ILLEGAL_OPERATION, packet, 1);
        return call.result(S_OK, "not this client's object");
    }
    removeObject(object->state.id);
    return call.result(S_OK);
}

HRESULT Simulator::aiReleaseControl(HANDLE handle, DWORD objectId, DWORD requestId)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AIReleaseControl",
                   fmt::format("{}, request {}", objectId, requestId));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    SimObject* object = findObject(objectId);
    if (!object) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown object");
    }
    if (object->state.kind == ObjectKind::user) {
        queueException(*c, SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE, packet, 1);
        return call.result(S_OK, "the user's aircraft");
    }
    object->state.aiControlled = false;
    return call.result(S_OK);
}

HRESULT Simulator::aiSetAircraftFlightPlan(HANDLE handle, DWORD objectId, const char* path,
                                           DWORD requestId)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_AISetAircraftFlightPlan",
                   fmt::format("{}, '{}', request {}", objectId, lf_text(path), requestId));
    Connection* c = begin(handle, call);
    if (!c) return call.value();
    const DWORD packet = send(*c, call);
    if (!path) return call.result(E_INVALIDARG);
    SimObject* object = findObject(objectId);
    if (!object || object->state.kind == ObjectKind::user) {
        queueException(*c, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, packet, 1);
        return call.result(S_OK, "unknown object");
    }
    // The extension may be left out, as with the simulator.
    std::filesystem::path file(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) file += ".pln";
    pugi::xml_document document;
    const pugi::xml_node plan =
        document.load_file(file.c_str())
            ? document.child("SimBase.Document").child("FlightPlan.FlightPlan")
            : pugi::xml_node();
    if (!plan) {
        queueException(*c, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, packet, 2);
        return call.result(S_OK, "no flight plan");
    }
    ObjectState& s = object->state;
    s.flightPlanFile = path;
    s.flightPlanType = plan.child_value("FPType");
    s.departure = plan.child_value("DepartureID");
    s.destination = plan.child_value("DestinationID");
    return call.result(S_OK);
}

}  // namespace qel::simstandin
