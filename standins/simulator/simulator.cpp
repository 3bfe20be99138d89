// The stand-in simulator's frame: its world and clock, the client connections with their
// inboxes, failures on demand, the call log and the controls of sim_standin.h.
#include "standins/simulator/simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

namespace qel::simstandin {
namespace {

constexpr size_t lf_callsKept = 50000;
// A client that does not call for longer than this loses the frames in between.
constexpr Nanos lf_longestCatchUp = std::chrono::minutes(10);

const char* lf_recvName(DWORD id)
{
    switch (id) {
    case SIMCONNECT_RECV_ID_EXCEPTION: return "EXCEPTION";
    case SIMCONNECT_RECV_ID_OPEN: return "OPEN";
    case SIMCONNECT_RECV_ID_QUIT: return "QUIT";
    case SIMCONNECT_RECV_ID_EVENT: return "EVENT";
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE: return "EVENT_OBJECT_ADDREMOVE";
    case SIMCONNECT_RECV_ID_EVENT_FILENAME: return "EVENT_FILENAME";
    case SIMCONNECT_RECV_ID_EVENT_FRAME: return "EVENT_FRAME";
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA: return "SIMOBJECT_DATA";
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE: return "SIMOBJECT_DATA_BYTYPE";
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID: return "ASSIGNED_OBJECT_ID";
    default: return "?";
    }
}

std::string lf_hresult(HRESULT value)
{
    if (value == S_OK) return "S_OK";
    if (value == E_FAIL) return "E_FAIL";
    if (value == E_INVALIDARG) return "E_INVALIDARG";
    return fmt::format("0x{:08X}", static_cast<uint32_t>(value));
}

void lf_copyText(char* target, size_t size, const std::string& text)
{
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

}  // namespace

// ---- Messages -------------------------------------------------------------------------------

Message::Message(const void* head, size_t headBytes, std::string_view tail)
    : bytes_(new std::byte[headBytes + tail.size()]),
      size_(static_cast<DWORD>(headBytes + tail.size()))
{
    std::memcpy(bytes_.get(), head, headBytes);
    if (!tail.empty()) std::memcpy(bytes_.get() + headBytes, tail.data(), tail.size());
    recv()->dwSize = size_;
}

DWORD Message::id() const
{
    DWORD id = 0;
    std::memcpy(&id, bytes_.get() + offsetof(SIMCONNECT_RECV, dwID), sizeof id);
    return id;
}

// ---- Call log -------------------------------------------------------------------------------

CallScope::CallScope(Simulator& sim, std::string_view function, std::string arguments)
    : sim_(sim)
{
    record_.function = std::string(function);
    record_.arguments = std::move(arguments);
}

CallScope::~CallScope()
{
    try {
        record_.packetId = packet;
        record_.note = note;
        sim_.record(std::move(record_));
    } catch (...) {
        // A call log line lost to a full memory is no reason to fail the call.
    }
}

HRESULT CallScope::result(HRESULT value, std::string_view why)
{
    record_.result = value;
    if (!why.empty()) note = std::string(why);
    return value;
}

void Simulator::record(CallRecord record)
{
    record.time_s = seconds();
    if (callLog_.is_open()) {
        callLog_ << fmt::format("{:10.3f} {}({}) -> {}", record.time_s, record.function,
                                record.arguments, lf_hresult(record.result));
        if (record.packetId) callLog_ << fmt::format(", packet {}", record.packetId);
        if (!record.note.empty()) callLog_ << fmt::format(" ({})", record.note);
        callLog_ << '\n';
    }
    calls_.push_back(std::move(record));
    if (calls_.size() > lf_callsKept) calls_.pop_front();
}

// ---- The world ------------------------------------------------------------------------------

Simulator& Simulator::instance()
{
    static Simulator simulator;
    return simulator;
}

bool Simulator::ensureWorld()
{
    if (built_) return worldOk_;
    built_ = true;
    worldOk_ = false;
    try {
        const int64_t now_s = platform::epochSeconds();
        SimConfig config;
        if (scenarioText_) {
            config = parseSimConfig(*scenarioText_, baseFolder_, now_s);
        } else {
            config = loadSimConfig(scenarioFile_.value_or(defaultScenarioPath()), now_s);
        }
        buildWorld(std::move(config));
        worldOk_ = true;
    } catch (const std::exception& e) {
        lastError_ = e.what();
        // Not fmt::print, which throws when standard error is a pipe nobody reads any more.
        std::fputs(fmt::format("stand-in simulator: {}\n", lastError_).c_str(), stderr);
    }
    return worldOk_;
}

void Simulator::buildWorld(SimConfig config)
{
    config_ = std::move(config);
    start_ = platform::steadyNow();
    startEpoch_s_ = static_cast<double>(platform::epochSeconds());
    now_ = Nanos(0);
    dispatcher_ = {};
    lastDispatch_ = Nanos(0);
    nextFrameIndex_ = 0;
    nextFrame_ = nextTrace_ = nextSecond_ = next4Seconds_ = next6Hz_ = Nanos(0);
    flightRunning_ = config_.flightRunning;
    nextObjectId_ = config_.firstObjectId;
    freedObjectIds_.clear();
    objectAddedToLose_ = config_.lostObjectAdded;
    for (const FailureRule& rule : config_.failures) rules_.push_back({rule});
    for (const FailureRule& rule : addedRules_) rules_.push_back({rule});
    addedRules_.clear();
    openOutput();

    const UserConfig& u = config_.user;
    SimObject user;
    ObjectState& s = user.state;
    s.id = userId();
    s.kind = ObjectKind::user;
    s.type = u.helicopter ? SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER
                          : SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT;
    s.title = u.title;
    s.atcId = u.atcId;
    s.atcModel = u.atcModel;
    s.latitude = u.lat;
    s.longitude = u.lon;
    s.heading_rad = u.heading_deg * 3.14159265358979323846 / 180.0;
    s.staticCg_ft = u.staticCg_ft;
    s.altitude_ft = u.alt_ft.value_or(config_.fieldElevation_ft + u.staticCg_ft);
    s.lightStates = u.lightStates;
    s.aiControlled = false;
    s.enginesRunning = true;
    objects_[s.id] = user;
    ownTrafficIds_.assign(config_.ownTraffic.size(), std::nullopt);
    ownTrafficDone_.assign(config_.ownTraffic.size(), false);
    userOnPath_ = !u.path.empty();
    moveUser();
    settle(objects_[s.id]);
    updateOwnTraffic();
}

double Simulator::scenarioSeconds() const
{
    return startEpoch_s_ + seconds() - static_cast<double>(config_.clockStart);
}

// Frame times are taken from the frame number, so that they do not drift from whole seconds.
Nanos Simulator::frameTime(uint64_t index) const
{
    return Nanos(std::llround(static_cast<double>(index) * 1e9 / config_.frameRate_hz));
}

uint64_t Simulator::frameIndexAt(Nanos t) const
{
    return static_cast<uint64_t>(std::ceil(static_cast<double>(t.count()) *
                                           config_.frameRate_hz / 1e9));
}

ZuluTime Simulator::zulu() const { return ZuluTime{startEpoch_s_ + seconds()}; }

void Simulator::advance()
{
    if (!worldOk_) return;
    const Nanos target = std::chrono::duration_cast<Nanos>(platform::steadyNow() - start_);
    if (target - nextFrame_ > lf_longestCatchUp) {
        nextFrameIndex_ = frameIndexAt(target - lf_longestCatchUp);
        nextFrame_ = frameTime(nextFrameIndex_);
    }
    while (nextFrame_ <= target) {
        stepFrame(nextFrame_);
        nextFrame_ = frameTime(++nextFrameIndex_);
    }
    now_ = std::max(now_, target);
}

Connection* Simulator::live(HANDLE handle, CallScope& call)
{
    const auto it = connections_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == connections_.end()) {
        call.result(E_FAIL, "no such connection");
        return nullptr;
    }
    if (it->second.dead || quit_) {
        call.result(E_FAIL, "the simulator has quit");
        return nullptr;
    }
    return &it->second;
}

Connection* Simulator::begin(HANDLE handle, CallScope& call)
{
    // A real simulator runs its frames in its own process: a client's call costs the client a
    // message, not a frame. So while a client dispatches, only its dispatching thread moves the
    // world on, and a call from another thread sees the world as of the last frame; had its
    // fast tick stepped the frames it met, the program's own tick would be timed with the
    // stand-in's frames and trace writes in it. A world left a tenth of a second without a
    // dispatch moves on with any call.
    const Nanos sinceDispatch =
        std::chrono::duration_cast<Nanos>(platform::steadyNow() - start_) - lastDispatch_;
    if (dispatcher_ == std::thread::id{} || dispatcher_ == std::this_thread::get_id() ||
        sinceDispatch > std::chrono::milliseconds(100)) {
        advance();
    }
    Connection* c = live(handle, call);
    HRESULT result = S_OK;
    if (!c || failsOnDemand(call, c, result)) return nullptr;
    return c;
}

bool Simulator::failsOnDemand(CallScope& call, Connection* connection, HRESULT& result)
{
    for (Rule& r : rules_) {
        if (r.rule.function != call.function()) continue;
        ++r.seen;
        if (r.seen <= r.rule.after) continue;
        if (r.rule.count >= 0 && r.fired >= r.rule.count) continue;
        ++r.fired;
        // Calls that send no packet can only fail outright.
        if (!r.rule.exception || !connection) {
            result = call.result(E_FAIL, "fails on demand");
            return true;
        }
        result = call.result(S_OK, "exception on demand");
        queueException(*connection, *r.rule.exception, send(*connection, call), 0);
        return true;
    }
    return false;
}

DWORD Simulator::send(Connection& connection, CallScope& call)
{
    call.packet = ++connection.lastPacket;
    return call.packet;
}

void Simulator::queueException(Connection& connection, DWORD exception, DWORD sendId,
                               DWORD index)
{
    auto record = makeRecord<SIMCONNECT_RECV_EXCEPTION>(SIMCONNECT_RECV_ID_EXCEPTION);
    record.dwException = exception;
    record.dwSendID = sendId;
    record.dwIndex = index;
    connection.inbox.emplace_back(&record, sizeof record);
}

void Simulator::broadcastSystemEvent(std::string_view name, DWORD data)
{
    for (auto& [number, c] : connections_) {
        if (c.quitQueued) continue;
        for (const auto& [eventId, subscribed] : c.systemEvents) {
            if (subscribed != name) continue;
            auto record = makeRecord<SIMCONNECT_RECV_EVENT>(SIMCONNECT_RECV_ID_EVENT);
            record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
            record.uEventID = eventId;
            record.dwData = data;
            c.inbox.emplace_back(&record, sizeof record);
        }
    }
}

void Simulator::broadcastAddRemove(std::string_view name, const ObjectState& object)
{
    for (auto& [number, c] : connections_) {
        if (c.quitQueued) continue;
        for (const auto& [eventId, subscribed] : c.systemEvents) {
            if (subscribed != name) continue;
            auto record = makeRecord<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(
                SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE);
            record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
            record.uEventID = eventId;
            record.dwData = object.id;
            record.eObjType = object.type;
            c.inbox.emplace_back(&record, sizeof record);
        }
    }
}

void Simulator::broadcastFileName(std::string_view name, const std::string& file)
{
    for (auto& [number, c] : connections_) {
        if (c.quitQueued) continue;
        for (const auto& [eventId, subscribed] : c.systemEvents) {
            if (subscribed != name) continue;
            auto record =
                makeRecord<SIMCONNECT_RECV_EVENT_FILENAME>(SIMCONNECT_RECV_ID_EVENT_FILENAME);
            record.uGroupID = SIMCONNECT_RECV_EVENT::UNKNOWN_GROUP;
            record.uEventID = eventId;
            lf_copyText(record.szFileName, sizeof record.szFileName, file);
            c.inbox.emplace_back(&record, sizeof record);
        }
    }
}

// ---- Connection calls -----------------------------------------------------------------------

HRESULT Simulator::open(HANDLE* handle, const char* name)
{
    std::scoped_lock lock(mutex_);
    const bool ok = ensureWorld();
    advance();
    ++openAttempts_;
    CallScope call(*this, "SimConnect_Open", fmt::format("'{}'", name ? name : ""));
    if (!handle) return call.result(E_INVALIDARG);
    *handle = nullptr;
    if (!ok) return call.result(E_FAIL, "no scenario");
    if (quit_) return call.result(E_FAIL, "not running");
    std::optional<DWORD> exception;
    for (Rule& r : rules_) {
        if (r.rule.function != "SimConnect_Open") continue;
        if (++r.seen <= r.rule.after || (r.rule.count >= 0 && r.fired >= r.rule.count)) continue;
        ++r.fired;
        if (!r.rule.exception) return call.result(E_FAIL, "fails on demand");
        exception = r.rule.exception;
        break;
    }
    if (openAttempts_ <= config_.openFailures) return call.result(E_FAIL, "not running");
    Connection& c = connections_[nextConnection_];
    c.number = nextConnection_++;
    c.name = name ? name : "";
    auto record = makeRecord<SIMCONNECT_RECV_OPEN>(SIMCONNECT_RECV_ID_OPEN);
    lf_copyText(record.szApplicationName, sizeof record.szApplicationName, config_.simName);
    record.dwApplicationVersionMajor = config_.appVersion[0];
    record.dwApplicationVersionMinor = config_.appVersion[1];
    record.dwApplicationBuildMajor = config_.appVersion[2];
    record.dwApplicationBuildMinor = config_.appVersion[3];
    record.dwSimConnectVersionMajor = config_.simConnectVersion[0];
    record.dwSimConnectVersionMinor = config_.simConnectVersion[1];
    record.dwSimConnectBuildMajor = config_.simConnectVersion[2];
    record.dwSimConnectBuildMinor = config_.simConnectVersion[3];
    c.inbox.emplace_back(&record, sizeof record);
    if (exception) queueException(c, *exception, 0, 0);
    *handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(c.number));
    call.note = fmt::format("connection {}", c.number);
    return call.result(S_OK);
}

HRESULT Simulator::close(HANDLE handle)
{
    std::scoped_lock lock(mutex_);
    advance();
    CallScope call(*this, "SimConnect_Close", "");
    const auto it = connections_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == connections_.end()) return call.result(E_FAIL, "no such connection");
    HRESULT result = S_OK;
    if (failsOnDemand(call, nullptr, result)) return result;
    const uint64_t number = it->first;
    connections_.erase(it);
    // The simulator takes a client's AI objects away with the client.
    std::vector<DWORD> owned;
    for (const auto& [id, object] : objects_) {
        if (object.state.owner == number) owned.push_back(id);
    }
    for (DWORD id : owned) removeObject(id);
    std::erase_if(pending_, [number](const PendingCreation& p) { return p.creator == number; });
    return call.result(S_OK);
}

HRESULT Simulator::callDispatch(HANDLE handle, DispatchProc dispatch, void* context)
{
    std::deque<Message> batch;
    uint64_t number = 0;
    {
        std::scoped_lock lock(mutex_);
        advance();
        dispatcher_ = std::this_thread::get_id();
        lastDispatch_ = now_;
        const auto it = connections_.find(reinterpret_cast<uintptr_t>(handle));
        if (it == connections_.end() || it->second.dead) {
            // Not logged: a client polls every millisecond.
            return E_FAIL;
        }
        Connection& c = it->second;
        number = c.number;
        if (!dispatch) return E_INVALIDARG;
        bool failing = false;
        for (Rule& r : rules_) {
            if (r.rule.function != "SimConnect_CallDispatch") continue;
            if (++r.seen <= r.rule.after || (r.rule.count >= 0 && r.fired >= r.rule.count)) {
                continue;
            }
            ++r.fired;
            failing = true;
            break;
        }
        if (failing) {
            CallScope call(*this, "SimConnect_CallDispatch", "");
            return call.result(E_FAIL, "fails on demand");
        }
        for (const ByTypeRequest& request : c.byTypeRequests) answerByType(c, request);
        c.byTypeRequests.clear();
        batch.swap(c.inbox);
        if (c.quitQueued) c.dead = true;
        if (!batch.empty()) {
            std::string kinds;
            for (const Message& m : batch) {
                kinds += kinds.empty() ? "" : " ";
                kinds += lf_recvName(m.id());
            }
            CallScope call(*this, "SimConnect_CallDispatch", kinds);
        }
    }
    // The callback calls in again, so the messages are handed over without the lock. A
    // callback that throws leaves the undelivered messages for the next dispatch.
    size_t delivered = 0;
    try {
        for (; delivered < batch.size(); ++delivered) {
            Message& m = batch[delivered];
            dispatch(m.recv(), m.size(), context);
        }
    } catch (...) {
        std::scoped_lock lock(mutex_);
        const auto it = connections_.find(number);
        if (it != connections_.end()) {
            for (size_t i = batch.size(); i > delivered + 1; --i) {
                it->second.inbox.push_front(std::move(batch[i - 1]));
            }
        }
        throw;
    }
    return S_OK;
}

HRESULT Simulator::getLastSentPacketId(HANDLE handle, DWORD* sendId)
{
    std::scoped_lock lock(mutex_);
    CallScope call(*this, "SimConnect_GetLastSentPacketID", "");
    Connection* c = live(handle, call);
    if (!c) return E_FAIL;
    HRESULT result = S_OK;
    if (failsOnDemand(call, nullptr, result)) return result;
    if (!sendId) return call.result(E_INVALIDARG);
    *sendId = c->lastPacket;
    call.note = fmt::format("{}", c->lastPacket);
    return call.result(S_OK);
}

// ---- Controls -------------------------------------------------------------------------------

void Simulator::reset(std::optional<std::filesystem::path> file, std::optional<std::string> text,
                      std::filesystem::path baseFolder)
{
    std::scoped_lock lock(mutex_);
    scenarioFile_ = std::move(file);
    scenarioText_ = std::move(text);
    baseFolder_ = std::move(baseFolder);
    addedRules_.clear();
    lastError_.clear();
    built_ = worldOk_ = false;
    config_ = SimConfig{};
    timelineNext_ = 0;
    quit_ = paused_ = false;
    openAttempts_ = 0;
    connections_.clear();
    objects_.clear();
    pending_.clear();
    ownTrafficIds_.clear();
    ownTrafficDone_.clear();
    rules_.clear();
    calls_.clear();
    callLog_ = std::ofstream();
    trace_ = std::ofstream();
    tracePath_.clear();
}

std::string Simulator::lastError()
{
    std::scoped_lock lock(mutex_);
    return lastError_;
}

void Simulator::addFailure(const FailureRule& rule)
{
    std::scoped_lock lock(mutex_);
    if (built_) {
        rules_.push_back({rule});
    } else {
        addedRules_.push_back(rule);
    }
}

void Simulator::clearFailures()
{
    std::scoped_lock lock(mutex_);
    rules_.clear();
    addedRules_.clear();
}

void Simulator::quit()
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    runAction(TimelineEntry{seconds(), "quit"});
}

void Simulator::setFlightRunning(bool running)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    runAction(TimelineEntry{seconds(), running ? "sim_start" : "sim_stop"});
}

void Simulator::setPaused(bool paused)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    runAction(TimelineEntry{seconds(), paused ? "pause" : "unpause"});
}

void Simulator::loadFlight(const std::string& file)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    TimelineEntry entry{seconds(), "flight_loaded"};
    entry.file = file;
    runAction(entry);
}

void Simulator::teleportUser(double latitude, double longitude, std::optional<double> altitude_ft)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    TimelineEntry entry{seconds(), "teleport"};
    entry.lat = latitude;
    entry.lon = longitude;
    entry.alt_ft = altitude_ft;
    runAction(entry);
}

void Simulator::dropObject(DWORD id)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    const SimObject* object = findObject(id);
    if (!object || object->state.kind == ObjectKind::user) return;
    // One of its own traffic is done for good; it does not come back at its next update.
    for (size_t i = 0; i < ownTrafficIds_.size(); ++i) {
        if (ownTrafficIds_[i] != id) continue;
        ownTrafficIds_[i].reset();
        ownTrafficDone_[i] = true;
    }
    removeObject(id);
}

void Simulator::announceRemoval(DWORD id)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return;
    advance();
    ObjectState named;
    named.id = id;
    broadcastAddRemove("objectremoved", named);
}

std::vector<CallRecord> Simulator::calls()
{
    std::scoped_lock lock(mutex_);
    return {calls_.begin(), calls_.end()};
}

std::vector<ObjectState> Simulator::objects()
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return {};
    advance();
    std::vector<ObjectState> states;
    for (const auto& [id, object] : objects_) states.push_back(object.state);
    return states;
}

std::optional<ObjectState> Simulator::object(DWORD id)
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return std::nullopt;
    advance();
    const auto it = objects_.find(id);
    if (it == objects_.end()) return std::nullopt;
    return it->second.state;
}

double Simulator::simTime_s()
{
    std::scoped_lock lock(mutex_);
    if (!ensureWorld()) return 0.0;
    advance();
    return seconds();
}

std::filesystem::path Simulator::tracePath()
{
    std::scoped_lock lock(mutex_);
    ensureWorld();
    return tracePath_;
}

int Simulator::openAttempts()
{
    std::scoped_lock lock(mutex_);
    return openAttempts_;
}

}  // namespace qel::simstandin
