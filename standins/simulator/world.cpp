// The stand-in simulator's world from frame to frame: the user aircraft on its path, traffic of
// its own, scripted moods, frame events and periodic data, and what a person can look at
// afterwards (the CSV trace and the object states).
#include <algorithm>
#include <cmath>
#include <system_error>

#include <fmt/format.h>

#include "standins/scenario/scenario.h"
#include "standins/simulator/simulator.h"

namespace qel::simstandin {
namespace {

constexpr double lf_pi = 3.14159265358979323846;
constexpr double lf_deg2rad = lf_pi / 180.0;
constexpr double lf_rad2deg = 180.0 / lf_pi;
constexpr double lf_earthRadius_nm = 3440.065;
constexpr double lf_fpsPerKnot = 1.6878098571011957;
// An object counts as on the ground while its reference point is at most this far above its
// resting height.
constexpr double lf_groundTolerance_ft = 1.0;

const char* lf_kindName(ObjectKind kind)
{
    switch (kind) {
    case ObjectKind::user: return "user";
    case ObjectKind::ai: return "ai";
    case ObjectKind::ownTraffic: return "own";
    }
    return "?";
}

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string lf_csv(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

}  // namespace

double distance_m(double lat1, double lon1, double lat2, double lon2)
{
    return standin::distanceNm(lat1, lon1, lat2, lon2) * 1852.0;
}

void destinationPoint(double& lat, double& lon, double course_deg, double distance_nm)
{
    const double delta = distance_nm / lf_earthRadius_nm;
    const double theta = course_deg * lf_deg2rad;
    const double phi1 = lat * lf_deg2rad;
    const double lambda1 = lon * lf_deg2rad;
    const double phi2 = std::asin(std::sin(phi1) * std::cos(delta) +
                                  std::cos(phi1) * std::sin(delta) * std::cos(theta));
    const double lambda2 =
        lambda1 + std::atan2(std::sin(theta) * std::sin(delta) * std::cos(phi1),
                             std::cos(delta) - std::sin(phi1) * std::sin(phi2));
    lat = phi2 * lf_rad2deg;
    lon = std::remainder(lambda2 * lf_rad2deg, 360.0);
}

// ---- Frames ---------------------------------------------------------------------------------

void Simulator::stepFrame(Nanos t)
{
    now_ = t;
    if (quit_) return;
    runTimeline();
    if (quit_) return;
    moveUser();
    updateOwnTraffic();
    for (size_t i = 0; i < pending_.size();) {
        if (pending_[i].dueAt > t) {
            ++i;
            continue;
        }
        PendingCreation p = std::move(pending_[i]);
        pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(i));
        addObject(std::move(p.state), p.creator, p.requestId);
    }
    frameMessages(t);
    if (t >= nextTrace_) {
        traceAll();
        writeObjectStates();
        nextTrace_ = t + Nanos(static_cast<int64_t>(config_.traceInterval_s * 1e9));
    }
}

void Simulator::frameMessages(Nanos t)
{
    // Each timed event fires on the first frame at or after its time.
    auto due = [t](Nanos& next, Nanos period) {
        if (t < next) return false;
        next += period;
        if (next <= t) next = t + period;
        return true;
    };
    const bool second = due(nextSecond_, std::chrono::seconds(1));
    const bool fourSeconds = due(next4Seconds_, std::chrono::seconds(4));
    const bool sixHz = due(next6Hz_, Nanos(1'000'000'000 / 6));
    for (auto& [number, c] : connections_) {
        if (c.quitQueued) continue;
        for (const auto& [eventId, name] : c.systemEvents) {
            if (name == "frame") {
                auto record =
                    makeRecord<SIMCONNECT_RECV_EVENT_FRAME>(SIMCONNECT_RECV_ID_EVENT_FRAME);
                record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
                record.uEventID = eventId;
                record.fFrameRate = static_cast<float>(config_.frameRate_hz);
                record.fSimSpeed = 1.0f;
                c.inbox.emplace_back(&record, sizeof record);
                continue;
            }
            const bool fires = (name == "1sec" && second) || (name == "4sec" && fourSeconds) ||
                               (name == "6hz" && sixHz);
            if (!fires) continue;
            auto record = makeRecord<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
            record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
            record.uEventID = eventId;
            c.inbox.emplace_back(&record, sizeof record);
        }
        sendPeriodic(c, t);
    }
}

void Simulator::sendPeriodic(Connection& c, Nanos t)
{
    for (auto it = c.requests.begin(); it != c.requests.end();) {
        PeriodicRequest& r = it->second;
        bool tick = r.period != SIMCONNECT_PERIOD_SECOND;
        if (r.period == SIMCONNECT_PERIOD_SECOND && t >= r.nextDue) {
            tick = true;
            r.nextDue += std::chrono::seconds(1);
            if (r.nextDue <= t) r.nextDue = t + std::chrono::seconds(1);
        }
        const auto definition = c.definitions.find(r.defineId);
        const SimObject* object = findObject(r.objectId);
        // A request ends with its object, or with a definition that no longer exists.
        if (!object || definition == c.definitions.end()) {
            it = c.requests.erase(it);
            continue;
        }
        ++it;
        if (!tick) continue;
        ++r.periods;
        if (r.periods <= r.origin || (r.periods - r.origin - 1) % (r.interval + 1) != 0) continue;
        std::string data = dataOf(definition->second, object->state);
        if ((r.flags & SIMCONNECT_DATA_REQUEST_FLAG_CHANGED) && r.sent > 0 && data == r.last) {
            continue;
        }
        queueData(c, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, r, object->state, data, 1, 1);
        r.last = std::move(data);
        ++r.sent;
        if (r.limit > 0 && r.sent >= r.limit) c.requests.erase(r.requestId);
    }
}

std::string Simulator::dataOf(const std::vector<Datum>& data, const ObjectState& object) const
{
    std::string bytes;
    packBlock(data, object, zulu(), bytes);
    return bytes;
}

void Simulator::queueData(Connection& c, DWORD recvId, const PeriodicRequest& request,
                          const ObjectState& object, const std::string& data, DWORD entry,
                          DWORD outOf)
{
    auto record = makeRecord<SIMCONNECT_RECV_SIMOBJECT_DATA>(recvId);
    record.dwRequestID = request.requestId;
    record.dwObjectID = object.id;
    record.dwDefineID = request.defineId;
    record.dwFlags = request.flags;
    record.dwentrynumber = entry;
    record.dwoutof = outOf;
    record.dwDefineCount = static_cast<DWORD>(c.definitions[request.defineId].size());
    // The data starts where dwData stands; a reply always carries at least those four bytes.
    std::string tail = data;
    if (tail.size() < sizeof(DWORD)) tail.resize(sizeof(DWORD), '\0');
    c.inbox.emplace_back(&record, sizeof record - sizeof(DWORD), tail);
}

// ---- The user and the simulator's own traffic -----------------------------------------------

void Simulator::moveUser()
{
    const std::vector<PathPoint>& path = config_.user.path;
    if (!userOnPath_ || path.empty()) return;
    SimObject& user = objects_[userId()];
    ObjectState& u = user.state;
    const double s = scenarioSeconds();
    const auto later = std::upper_bound(path.begin(), path.end(), s,
                                        [](double t, const PathPoint& p) { return t < p.t_s; });
    const PathPoint& b = later == path.end() ? path.back() : *later;
    const PathPoint& a = later == path.begin() ? path.front() : *(later - 1);
    const double span = b.t_s - a.t_s;
    const double f = span > 0.0 ? std::clamp((s - a.t_s) / span, 0.0, 1.0) : 0.0;
    const double ground = config_.fieldElevation_ft + u.staticCg_ft;
    const double altA = a.alt_ft.value_or(ground);
    const double altB = b.alt_ft.value_or(ground);
    u.latitude = a.lat + f * (b.lat - a.lat);
    // The short way round, across longitude 180 too.
    u.longitude = std::remainder(a.lon + f * std::remainder(b.lon - a.lon, 360.0), 360.0);
    u.altitude_ft = altA + f * (altB - altA);
    const double distance_nm = standin::distanceNm(a.lat, a.lon, b.lat, b.lon);
    const bool moving = span > 0.0 && &a != &b && s >= a.t_s && s <= b.t_s;
    u.groundSpeed_kt = moving ? distance_nm / span * 3600.0 : 0.0;
    u.airspeed_kt = u.groundSpeed_kt;
    u.verticalSpeed_fps = moving ? (altB - altA) / span : 0.0;
    if (moving && distance_nm > 1e-6) {
        u.heading_rad = standin::bearingDeg(a.lat, a.lon, b.lat, b.lon) * lf_deg2rad;
    }
    const double speed_fps = u.groundSpeed_kt * lf_fpsPerKnot;
    // Negative is nose up, as the simulator counts pitch.
    u.pitch_rad = speed_fps > 1.0 ? -std::atan2(u.verticalSpeed_fps, speed_fps) : 0.0;
    user.restartSpeed(now_);
    settle(user);
}

void Simulator::updateOwnTraffic()
{
    const double s = scenarioSeconds();
    for (size_t i = 0; i < config_.ownTraffic.size(); ++i) {
        const OwnTrafficConfig& t = config_.ownTraffic[i];
        if (ownTrafficDone_[i] || s < t.appearAt_s) continue;
        if (t.leaveAt_s && s >= *t.leaveAt_s) {
            if (ownTrafficIds_[i]) removeObject(*ownTrafficIds_[i]);
            ownTrafficIds_[i].reset();
            ownTrafficDone_[i] = true;
            continue;
        }
        ObjectState o;
        const SimObject* present = ownTrafficIds_[i] ? findObject(*ownTrafficIds_[i]) : nullptr;
        if (present) {
            o = present->state;
        } else {
            o.id = newObjectId();
            o.kind = ObjectKind::ownTraffic;
            o.type = t.type;
            o.title = t.title;
            o.atcId = t.atcId;
            o.atcModel = t.atcModel;
            o.staticCg_ft = config_.staticCg_ft;
            o.staticPitch_rad = config_.staticPitch_deg * lf_deg2rad;
            o.heading_rad = t.heading_deg * lf_deg2rad;
            o.enginesRunning = t.speed_kt > 0.0;
            o.lightStates = 0x3;
            o.createdAt_s = seconds();
        }
        // Straight along its heading at its speed since it appeared.
        o.latitude = t.lat;
        o.longitude = t.lon;
        destinationPoint(o.latitude, o.longitude, t.heading_deg,
                         t.speed_kt * (s - t.appearAt_s) / 3600.0);
        o.altitude_ft = t.alt_ft.value_or(config_.fieldElevation_ft + o.staticCg_ft);
        o.groundSpeed_kt = o.airspeed_kt = t.speed_kt;
        if (!ownTrafficIds_[i]) {
            ownTrafficIds_[i] = o.id;
            addObject(std::move(o), 0, 0);
            continue;
        }
        SimObject& object = objects_[o.id];
        object.state = std::move(o);
        object.restartSpeed(now_);
        settle(object);
    }
}

// ---- Objects --------------------------------------------------------------------------------

void Simulator::settle(SimObject& object)
{
    ObjectState& s = object.state;
    s.groundAltitude_ft = config_.fieldElevation_ft;
    s.altAboveGround_ft = s.altitude_ft - s.groundAltitude_ft;
    s.onGround = s.altAboveGround_ft <= s.staticCg_ft + lf_groundTolerance_ft;
}

SimObject* Simulator::findObject(DWORD objectId)
{
    if (objectId == SIMCONNECT_OBJECT_ID_USER) objectId = userId();
    const auto it = objects_.find(objectId);
    return it == objects_.end() ? nullptr : &it->second;
}

DWORD Simulator::newObjectId()
{
    if (freedObjectIds_.empty()) return nextObjectId_++;
    const DWORD id = freedObjectIds_.front();
    freedObjectIds_.pop_front();
    return id;
}

int Simulator::aiObjectCount() const
{
    return static_cast<int>(objects_.size()) - 1 + static_cast<int>(pending_.size());
}

void Simulator::addObject(ObjectState state, uint64_t creator, DWORD requestId)
{
    SimObject object;
    object.state = std::move(state);
    object.restartSpeed(now_);
    settle(object);
    const DWORD id = object.state.id;
    objects_[id] = std::move(object);
    const ObjectState& added = objects_[id].state;
    if (const auto it = connections_.find(creator); it != connections_.end()) {
        auto record =
            makeRecord<SIMCONNECT_RECV_ASSIGNED_OBJECT_ID>(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
        record.dwRequestID = requestId;
        record.dwObjectID = added.id;
        it->second.inbox.emplace_back(&record, sizeof record);
    }
    if (objectAddedToLose_ > 0) {
        --objectAddedToLose_;
    } else {
        broadcastAddRemove("objectadded", added);
    }
    traceRow(added, "added");
}

void Simulator::removeObject(DWORD objectId)
{
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) return;
    const ObjectState state = it->second.state;
    objects_.erase(it);
    if (config_.reuseObjectIds) freedObjectIds_.push_back(objectId);
    broadcastAddRemove("objectremoved", state);
    traceRow(state, "removed");
}

// ---- The timeline and the controls ----------------------------------------------------------

void Simulator::runTimeline()
{
    const double s = scenarioSeconds();
    while (timelineNext_ < config_.timeline.size() && config_.timeline[timelineNext_].at_s <= s) {
        runAction(config_.timeline[timelineNext_++]);
        if (quit_) return;
    }
}

void Simulator::runAction(const TimelineEntry& entry)
{
    const std::string& a = entry.action;
    if (a == "quit") {
        quit_ = true;
        for (auto& [number, c] : connections_) {
            if (c.quitQueued) continue;
            auto record = makeRecord<SIMCONNECT_RECV_QUIT>(SIMCONNECT_RECV_ID_QUIT);
            c.inbox.emplace_back(&record, sizeof record);
            c.quitQueued = true;
        }
    } else if (a == "pause" || a == "unpause") {
        const bool paused = a == "pause";
        if (paused == paused_) return;
        paused_ = paused;
        broadcastSystemEvent("pause", paused ? 1 : 0);
        broadcastSystemEvent(paused ? "paused" : "unpaused", 0);
    } else if (a == "sim_start" || a == "sim_stop") {
        const bool running = a == "sim_start";
        if (running == flightRunning_) return;
        flightRunning_ = running;
        broadcastSystemEvent("sim", running ? 1 : 0);
        broadcastSystemEvent(running ? "simstart" : "simstop", 0);
    } else if (a == "flight_loaded") {
        if (flightRunning_) {
            broadcastSystemEvent("sim", 0);
            broadcastSystemEvent("simstop", 0);
        }
        broadcastFileName("flightloaded", entry.file);
        flightRunning_ = true;
        broadcastSystemEvent("sim", 1);
        broadcastSystemEvent("simstart", 0);
    } else if (a == "teleport") {
        SimObject& user = objects_[userId()];
        user.state.latitude = entry.lat;
        user.state.longitude = entry.lon;
        user.state.altitude_ft =
            entry.alt_ft.value_or(config_.fieldElevation_ft + user.state.staticCg_ft);
        user.state.groundSpeed_kt = user.state.airspeed_kt = user.state.verticalSpeed_fps = 0.0;
        user.restartSpeed(now_);
        userOnPath_ = false;
        settle(user);
        traceRow(user.state, "teleport");
    }
}

// ---- Observation ----------------------------------------------------------------------------

void Simulator::openOutput()
{
    if (!config_.outputFolder) return;
    const std::filesystem::path& folder = *config_.outputFolder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (config_.callLog) callLog_.open(folder / "simulator-calls.log", std::ios::trunc);
    tracePath_ = folder / "simulator-trace.csv";
    trace_.open(tracePath_, std::ios::trunc);
    if (!trace_) {
        lastError_ = fmt::format("cannot write {}", tracePath_.string());
        tracePath_.clear();
        return;
    }
    trace_ << "time_s,object_id,kind,atc_id,title,latitude,longitude,altitude_ft,"
              "alt_above_ground_ft,heading_deg,pitch_deg,bank_deg,ground_speed_kt,on_ground,"
              "lights,event\n";
}

void Simulator::traceRow(const ObjectState& o, std::string_view event)
{
    if (!trace_.is_open()) return;
    trace_ << fmt::format("{:.3f},{},{},{},{},{:.7f},{:.7f},{:.1f},{:.1f},{:.1f},{:.2f},{:.2f},"
                          "{:.1f},{},{},{}\n",
                          seconds(), o.id, lf_kindName(o.kind), lf_csv(o.atcId), lf_csv(o.title),
                          o.latitude, o.longitude, o.altitude_ft, o.altAboveGround_ft,
                          o.heading_rad * lf_rad2deg, o.pitch_rad * lf_rad2deg,
                          o.bank_rad * lf_rad2deg, o.groundSpeed_kt, o.onGround ? 1 : 0,
                          o.lightStates, event);
}

void Simulator::traceAll()
{
    // The call log is flushed here too rather than on every call: thousands a second.
    if (callLog_.is_open()) callLog_.flush();
    if (!trace_.is_open()) return;
    for (const auto& [id, object] : objects_) traceRow(object.state, "");
    trace_.flush();
}

void Simulator::writeObjectStates()
{
    if (!config_.outputFolder || !trace_.is_open()) return;
    const std::filesystem::path target = *config_.outputFolder / "simulator-objects.txt";
    const std::filesystem::path temporary = target.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        // The scenario second ties the trace's times to the reports of the RealTraffic stand-in
        // when both run on one clock start.
        out << fmt::format("simulator time {:.3f} s, scenario second {:.3f}, {} objects, {}{}\n",
                           seconds(), scenarioSeconds(), objects_.size(),
                           flightRunning_ ? "flight running" : "flight not running",
                           paused_ ? ", paused" : "");
        for (const auto& [id, object] : objects_) {
            const ObjectState& o = object.state;
            out << fmt::format(
                "{} {} '{}' '{}' model '{}' at {:.6f} {:.6f} {:.0f} ft (agl {:.0f}) hdg {:.0f} "
                "gs {:.0f} kt {} lights 0x{:X} flaps {} gear {} engines {} throttle {:.0f}/{:.0f}"
                " spoilers {:.0f} frozen {}{}{} ai {} plan '{}' {} {}-{} moved {}x\n",
                o.id, lf_kindName(o.kind), o.atcId, o.title, o.atcModel, o.latitude,
                o.longitude, o.altitude_ft, o.altAboveGround_ft, o.heading_rad * lf_rad2deg,
                o.groundSpeed_kt, o.onGround ? "ground" : "air", o.lightStates, o.flaps,
                o.gearDown ? "down" : "up", o.enginesRunning ? "on" : "off", o.throttle_pct[0],
                o.throttle_pct[1], o.spoilersHandle_pct, o.frozenLatLon ? "L" : "-",
                o.frozenAltitude ? "A" : "-", o.frozenAttitude ? "P" : "-",
                o.aiControlled ? "on" : "off", o.flightPlanFile, o.flightPlanType, o.departure,
                o.destination, o.positionsSet);
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
}

}  // namespace qel::simstandin
