// The RealTraffic stand-in server: routing, sessions, pacing, faults, replays and the request
// log. The payloads come from rt_replies.cpp.
//
// Threads: "listener" (started by the constructor) runs httplib's accept loop; httplib's pool
// threads run `handle` for each request. Lock: Impl::mutex only (a leaf); a request takes it to
// choose its fault, to decide its reply and to log, never while sending. A stalled request
// waits on Impl::changed (which releases the lock) until releaseStalls() or the stop. The
// destructor marks the stop, wakes the stalled requests, stops httplib and joins "listener".
// A control request (rt_control.cpp) runs on a pool thread before the lock is taken and reaches
// the state only through the public members, each of which takes it alone.
#include "standins/realtraffic/rt_standin.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fmt/format.h>
#include <httplib.h>

#include "standins/port_options.h"
#include "standins/realtraffic/rt_control.h"
#include "standins/realtraffic/rt_replies.h"

namespace qel::standin {
namespace {

using Json = ReplyJson;
using Fields = std::map<std::string, std::string>;

constexpr const char* lf_gatewayTimeoutPage =
    "<html>\r\n<head><title>504 Gateway Timeout</title></head>\r\n<body>\r\n"
    "<center><h1>504 Gateway Timeout</h1></center>\r\n</body>\r\n</html>\r\n";

int lf_hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// application/x-www-form-urlencoded: '+' is a blank, %XX a byte; a broken escape stays as is.
std::string lf_decode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && lf_hexDigit(text[i + 1]) >= 0 &&
                   lf_hexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(lf_hexDigit(text[i + 1]) * 16 + lf_hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

Fields lf_parseForm(std::string_view body)
{
    Fields fields;
    while (!body.empty()) {
        const size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const std::string key = lf_decode(pair.substr(0, eq));
        const std::string value =
            eq == std::string_view::npos ? std::string() : lf_decode(pair.substr(eq + 1));
        fields.emplace(key, value);
    }
    return fields;
}

template <typename T>
std::optional<T> lf_parseNumber(const Fields& fields, const char* key)
{
    const auto it = fields.find(key);
    if (it == fields.end()) return std::nullopt;
    const std::string& text = it->second;
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string lf_fieldOr(const Fields& fields, const char* key)
{
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

Json lf_statusReply(int status, const std::string& message)
{
    return Json{{"status", status}, {"message", message}};
}

struct Session {
    std::string guid;
    Credential credential;
    int64_t signedIn_s = 0;
    int rrl_ms = 2000;
    int wrrl_ms = 2000;
    std::optional<platform::SteadyTime> lastTraffic;  // last traffic request let through
    std::optional<platform::SteadyTime> lastWeather;  // last weather request let through
    platform::SteadyTime lastRequest;                 // the sign-in or the latest request
};

// The service ends a session that has seen no request for this long.
constexpr std::chrono::seconds kSessionLapse{120};

struct QueuedFault {
    std::string path;  // "" for any path
    Fault fault;
    int remaining = 1;
};

// What a request is answered with.
struct Reply {
    int httpStatus = 200;
    std::string contentType = "application/json";
    std::string body;
    bool drop = false;
    int status = 0;  // the JSON "status" for the log
};

Reply lf_jsonReply(const Json& json, int httpStatus = 200)
{
    Reply reply;
    reply.httpStatus = httpStatus;
    reply.body = json.dump();
    const auto status = json.find("status");
    if (status != json.end() && status->is_number_integer()) reply.status = status->get<int>();
    return reply;
}

// The "status" of a body that is not ours (a replay or a fault body), for the log.
int lf_statusOf(const std::string& body)
{
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object()) return 0;
    const auto status = json.find("status");
    return status != json.end() && status->is_number_integer() ? status->get<int>() : 0;
}

}  // namespace

struct RtStandin::Impl {
    Impl(RtStandin& steered, Scenario s, RtStandinOptions o)
        : owner(steered), scenario(std::move(s)), options(std::move(o))
    {
    }

    void handle(const httplib::Request& req, httplib::Response& res);
    Reply route(const std::string& path, const Fields& fields, platform::SteadyTime steady);
    Reply auth(const Fields& fields);
    Reply deauth(const Fields& fields);
    Reply traffic(Session& session, const Fields& fields, platform::SteadyTime steady);
    Reply nearestMetar(Session& session, const Fields& fields, platform::SteadyTime steady);
    Reply weather(Session& session, const Fields& fields, platform::SteadyTime steady);
    std::optional<Reply> paced(Session& session, bool weatherClass, platform::SteadyTime steady);
    std::optional<Fault> takeFault(const std::string& path);
    std::map<std::string, std::string>::const_iterator findReplay(const std::string& path,
                                                                  const Fields& fields) const;
    std::optional<Reply> faultReply(const Fault& fault, const Fields& fields);
    void endSessionLocked(const std::string& guid);
    // The request's session; nothing (and a lapsed one ended) when it is unknown or has seen
    // no request for kSessionLapse. A live session's clock of requests is set to `steady`.
    Session* liveSession(const Fields& fields, platform::SteadyTime steady);
    std::string newGuid();

    RtStandin& owner;  // the control endpoint steers it through its public members
    const Scenario scenario;
    const RtStandinOptions options;
    httplib::Server server;
    std::thread listener;
    int port = 0;

    mutable std::mutex mutex;  // guards everything below; a leaf lock
    mutable std::condition_variable changed;  // a stall released, a request logged or stalled
    std::vector<Credential> credentials = scenario.credentials;
    // By GUID: the active sessions. An ended session's GUID is simply gone, so it gets 401.
    std::map<std::string, Session> sessions;
    std::optional<int> rrlOverride_ms;
    std::optional<int> wrrlOverride_ms;
    std::deque<QueuedFault> faults;
    // "path" or "path?querytype" → body; the query type's own one comes first, so that live
    // and parked captures can be served side by side.
    std::map<std::string, std::string> replays;
    std::vector<LoggedRequest> log;
    std::vector<uint64_t> logIds;  // beside `log`: the number of each request
    uint64_t nextLogId = 0;
    uint64_t stallGeneration = 0;  // raised by every releaseStalls()
    size_t stalled = 0;
    bool stopping = false;
    std::mt19937_64 random{std::random_device{}()};
};

std::string LoggedRequest::field(const std::string& name) const
{
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

Fault Fault::withStatus(int status, std::string message)
{
    Fault f;
    f.kind = Kind::Status;
    f.status = status;
    f.body = message.empty() ? fmt::format("Status {}", status) : std::move(message);
    return f;
}

Fault Fault::emptyBody() { return Fault{Kind::EmptyBody}; }
Fault Fault::invalidJson() { return Fault{Kind::InvalidJson}; }
Fault Fault::gatewayTimeout() { return Fault{Kind::GatewayTimeout}; }
Fault Fault::dropConnection() { return Fault{Kind::DropConnection}; }
Fault Fault::stall() { return Fault{Kind::Stall}; }
Fault Fault::unauthorized() { return Fault{Kind::Unauthorized}; }

Fault Fault::withBody(std::string body, int httpStatus, std::string contentType)
{
    Fault f;
    f.kind = Kind::Body;
    f.body = std::move(body);
    f.httpStatus = httpStatus;
    f.contentType = std::move(contentType);
    return f;
}

std::optional<Fault> RtStandin::Impl::takeFault(const std::string& path)
{
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (!it->path.empty() && it->path != path) continue;
        Fault fault = it->fault;
        if (--it->remaining <= 0) faults.erase(it);
        return fault;
    }
    return std::nullopt;
}

std::map<std::string, std::string>::const_iterator RtStandin::Impl::findReplay(
    const std::string& path, const Fields& fields) const
{
    const std::string queryType = lf_fieldOr(fields, "querytype");
    if (!queryType.empty()) {
        const auto own = replays.find(path + "?" + queryType);
        if (own != replays.end()) return own;
    }
    return replays.find(path);
}

// The reply a fault gives at once; none for a stall, which answers normally once released.
std::optional<Reply> RtStandin::Impl::faultReply(const Fault& fault, const Fields& fields)
{
    Reply reply;
    switch (fault.kind) {
    case Fault::Kind::Status:
        return lf_jsonReply(lf_statusReply(fault.status, fault.body));
    case Fault::Kind::EmptyBody:
        return reply;
    case Fault::Kind::InvalidJson:
        reply.body = R"({"data": {"3c6469": ["3c6469", 51.212036, 6.885681, 46.71, 10225)";
        return reply;
    case Fault::Kind::GatewayTimeout:
        reply.httpStatus = 504;
        reply.contentType = "text/html";
        reply.body = lf_gatewayTimeoutPage;
        return reply;
    case Fault::Kind::DropConnection:
        reply.drop = true;
        return reply;
    case Fault::Kind::Stall:
        return std::nullopt;
    case Fault::Kind::Unauthorized:
        endSessionLocked(lf_fieldOr(fields, "GUID"));
        return lf_jsonReply(lf_statusReply(401, "Invalid GUID, please authenticate again"));
    case Fault::Kind::Body:
        reply.httpStatus = fault.httpStatus;
        reply.contentType = fault.contentType;
        reply.body = fault.body;
        reply.status = lf_statusOf(fault.body);
        return reply;
    }
    return reply;
}

void RtStandin::Impl::handle(const httplib::Request& req, httplib::Response& res)
{
    LoggedRequest entry;
    entry.steady = platform::steadyNow();
    entry.epoch_s = platform::epochSeconds();
    entry.path = req.path;
    entry.body = req.body;
    if (req.method == "GET") {
        for (const auto& [key, value] : req.params) entry.fields.emplace(key, value);
    } else {
        entry.fields = lf_parseForm(req.body);
    }
    if (options.controlEndpoint && req.path.starts_with("/control/")) {
        // Outside the request log, the faults and the pacing: it steers them.
        const ControlReply control = controlRequest(owner, req.path, entry.fields);
        res.status = control.httpStatus;
        res.set_content(control.body, "application/json");
        return;
    }

    std::unique_lock lock(mutex);
    const uint64_t id = nextLogId++;
    log.push_back(entry);
    logIds.push_back(id);
    changed.notify_all();
    bool answeredByFault = false;
    std::optional<Reply> reply;
    if (const auto replay = findReplay(req.path, entry.fields); replay != replays.end()) {
        reply = Reply{200, "application/json", replay->second, false, lf_statusOf(replay->second)};
        answeredByFault = true;
    } else if (const auto fault = takeFault(req.path)) {
        reply = faultReply(*fault, entry.fields);
        answeredByFault = reply.has_value();
        if (!reply) {
            ++stalled;
            changed.notify_all();
            const uint64_t generation = stallGeneration;
            changed.wait(lock, [&] { return stopping || stallGeneration != generation; });
            --stalled;
        }
    }
    if (!reply) reply = route(req.path, entry.fields, entry.steady);
    entry.status = reply->status;
    entry.fault = answeredByFault;
    // The log may have been cleared meanwhile (a stalled request); then there is no slot.
    for (size_t i = logIds.size(); i-- > 0;) {
        if (logIds[i] == id) {
            log[i].status = entry.status;
            log[i].fault = entry.fault;
            break;
        }
    }
    lock.unlock();

    if (options.onRequest) options.onRequest(entry);
    res.status = reply->httpStatus;
    if (reply->drop) {
        // Promises a long body, sends a few bytes of it and gives up: the client sees the
        // connection close in the middle of the reply.
        res.set_content_provider(100000, "application/json",
                                 [](size_t, size_t, httplib::DataSink& sink) {
                                     sink.write("{\"data\"", 7);
                                     return false;
                                 });
        return;
    }
    res.set_content(reply->body, reply->contentType.c_str());
}

Reply RtStandin::Impl::route(const std::string& path, const Fields& fields,
                             platform::SteadyTime steady)
{
    if (path == "/v4/auth") return auth(fields);
    if (path == "/v4/deauth") return deauth(fields);
    const bool traffic = path == "/v4/traffic";
    const bool metar = path == "/v4/nearestmetar";
    const bool weather = path == "/v4/weather";
    if (!traffic && !metar && !weather) {
        return lf_jsonReply(lf_statusReply(404, "Unknown endpoint"), 404);
    }
    Session* session = liveSession(fields, steady);
    if (session == nullptr) {
        return lf_jsonReply(lf_statusReply(401, "Invalid GUID, please authenticate again"));
    }
    if (traffic) return this->traffic(*session, fields, steady);
    if (metar) return nearestMetar(*session, fields, steady);
    return this->weather(*session, fields, steady);
}

Session* RtStandin::Impl::liveSession(const Fields& fields, platform::SteadyTime steady)
{
    const auto session = sessions.find(lf_fieldOr(fields, "GUID"));
    if (session == sessions.end()) return nullptr;
    if (steady - session->second.lastRequest > kSessionLapse) {
        const std::string guid = session->first;  // erasing must not read the erased key
        endSessionLocked(guid);
        return nullptr;
    }
    session->second.lastRequest = steady;
    return &session->second;
}

Reply RtStandin::Impl::auth(const Fields& fields)
{
    const std::string license = lf_fieldOr(fields, "license");
    if (license.empty()) return lf_jsonReply(lf_statusReply(400, "Missing license"));
    const Credential* credential = nullptr;
    for (const Credential& c : credentials) {
        if (c.license == license) credential = &c;
    }
    if (!credential || credential->behaviour == Behaviour::Unknown) {
        return lf_jsonReply(lf_statusReply(404, "License not found"));
    }
    switch (credential->behaviour) {
    case Behaviour::Expired: return lf_jsonReply(lf_statusReply(402, "License expired"));
    case Behaviour::SecondSession:
        return lf_jsonReply(lf_statusReply(405, "Another session is active for this license"));
    case Behaviour::ServerError:
        return lf_jsonReply(lf_statusReply(500, "No database connection"));
    default: break;
    }
    if (const int limit = credential->sessionLimit(); limit > 0) {
        // A lapsed session no longer holds its place, even though no request has told it so.
        const auto now = platform::steadyNow();
        std::erase_if(sessions, [&now](const auto& entry) {
            return now - entry.second.lastRequest > kSessionLapse;
        });
        const auto active = std::count_if(sessions.begin(), sessions.end(), [&](const auto& e) {
            return e.second.credential.license == license;
        });
        if (active >= limit) {
            return lf_jsonReply(lf_statusReply(405, "Another session is active for this license"));
        }
    }
    const int64_t now_s = platform::epochSeconds();
    const int rrl = rrlOverride_ms.value_or(credential->rrl_ms);
    const int wrrl = wrrlOverride_ms.value_or(credential->wrrl_ms);
    const int type = credential->behaviour == Behaviour::Professional ? 2 : 1;
    Json reply{{"status", 200}, {"rrl", rrl}, {"wrrl", wrrl}, {"type", type},
               {"expiry", credential->expiry.value_or(now_s + credential->expiry_s)}};
    if (credential->behaviour != Behaviour::NoGuid) {
        Session session{newGuid(), *credential,  now_s,
                        rrl,       wrrl,         std::nullopt,
                        std::nullopt, platform::steadyNow()};
        reply["GUID"] = session.guid;
        sessions.emplace(session.guid, session);
    }
    reply["server"] = options.serverName;
    return lf_jsonReply(reply);
}

Reply RtStandin::Impl::deauth(const Fields& fields)
{
    const Session* session = liveSession(fields, platform::steadyNow());
    if (session == nullptr) {
        return lf_jsonReply(lf_statusReply(401, "Invalid GUID, please authenticate again"));
    }
    const int64_t length_s = platform::epochSeconds() - session->signedIn_s;
    const std::string guid = session->guid;
    endSessionLocked(guid);
    return lf_jsonReply(Json{{"status", 200},
                             {"message", "Deauth success"},
                             {"Session length", length_s},
                             {"server", options.serverName}});
}

std::optional<Reply> RtStandin::Impl::paced(Session& session, bool weatherClass,
                                            platform::SteadyTime steady)
{
    const int interval_ms = weatherClass ? session.wrrl_ms : session.rrl_ms;
    auto& last = weatherClass ? session.lastWeather : session.lastTraffic;
    if (options.enforcePacing && last &&
        steady - *last + options.pacingTolerance < std::chrono::milliseconds(interval_ms)) {
        Json reply;
        if (weatherClass) reply["wrrl"] = interval_ms;
        reply["status"] = 406;
        reply["message"] = fmt::format(
            "Request rate violation: requests must be at least {} ms apart", interval_ms);
        if (!weatherClass) reply["rrl"] = interval_ms;
        return lf_jsonReply(reply);
    }
    last = steady;
    return std::nullopt;
}

Reply RtStandin::Impl::traffic(Session& session, const Fields& fields,
                               platform::SteadyTime steady)
{
    if (auto tooEarly = paced(session, false, steady)) return *tooEarly;
    const std::string querytype = lf_fieldOr(fields, "querytype");
    const bool parked = querytype == "parkedtraffic";
    const bool buffered = !parked && fields.count("buffercount") > 0;
    const auto top = lf_parseNumber<double>(fields, "top");
    const auto bottom = lf_parseNumber<double>(fields, "bottom");
    const auto left = lf_parseNumber<double>(fields, "left");
    const auto right = lf_parseNumber<double>(fields, "right");
    const auto toffset = fields.count("toffset") ? lf_parseNumber<int>(fields, "toffset") : 0;
    const auto count = buffered ? lf_parseNumber<int>(fields, "buffercount") : 1;
    const auto spacing_s = fields.count("buffertime") ? lf_parseNumber<int>(fields, "buffertime")
                                                      : std::optional<int>(10);
    if ((querytype != "locationtraffic" && !parked) || !top || !bottom || !left || !right ||
        !toffset || *toffset < 0 || !count || *count < 1 || !spacing_s || *spacing_s < 1) {
        return lf_jsonReply(lf_statusReply(400, "Parameter fault"));
    }
    const Box box{*top, *bottom, *left, *right};
    // Only a professional account goes back in time; a standard one always gets live traffic.
    const bool historic = session.credential.behaviour == Behaviour::Professional && *toffset > 0;
    const int64_t query_s = platform::epochSeconds() - (historic ? *toffset * 60 : 0);
    Json reply;
    int64_t fullCount = 0;
    if (parked) {
        reply["data"] = parkedData(scenario, box, static_cast<double>(query_s));
        fullCount = static_cast<int64_t>(scenario.parked.size());
    } else if (buffered) {
        // buffer_0 is the moment asked for, each further one `spacing_s` earlier.
        const int buffers = std::min(*count, options.maxBufferCount);
        Json data = Json::object();
        for (int k = 0; k < buffers; ++k) {
            int64_t countAt = 0;
            data[fmt::format("buffer_{}", k)] = trafficData(
                scenario, box, static_cast<double>(query_s - k * *spacing_s), countAt);
            if (k == 0) fullCount = countAt;
        }
        reply["data"] = std::move(data);
    } else {
        reply["data"] = trafficData(scenario, box, static_cast<double>(query_s), fullCount);
    }
    reply["full_count"] = fullCount;
    reply["source"] = historic || parked ? "DiskDB" : "MemoryDB";
    reply["rrl"] = session.rrl_ms;
    reply["status"] = 200;
    reply["dataepoch"] = query_s;
    if (buffered) {
        reply["endepoch"] = query_s - (std::min(*count, options.maxBufferCount) - 1) * *spacing_s;
    }
    return lf_jsonReply(reply);
}

Reply RtStandin::Impl::nearestMetar(Session& session, const Fields& fields,
                                    platform::SteadyTime steady)
{
    if (auto tooEarly = paced(session, true, steady)) return *tooEarly;
    const auto lat = lf_parseNumber<double>(fields, "lat");
    const auto lon = lf_parseNumber<double>(fields, "lon");
    const auto maxCount = fields.count("maxcount") ? lf_parseNumber<int>(fields, "maxcount") : 1;
    if (!lat || !lon || !maxCount || *maxCount < 1) {
        return lf_jsonReply(Json{{"wrrl", session.wrrl_ms}, {"status", 400},
                                 {"message", "Parameter fault"}});
    }
    const double query_s = static_cast<double>(platform::epochSeconds());
    return lf_jsonReply(Json{{"wrrl", session.wrrl_ms},
                             {"status", 200},
                             {"message", "OK"},
                             {"data", nearestMetarData(scenario, *lat, *lon,
                                                       std::min(*maxCount, 50), query_s)}});
}

Reply RtStandin::Impl::weather(Session& session, const Fields& fields,
                               platform::SteadyTime steady)
{
    if (auto tooEarly = paced(session, true, steady)) return *tooEarly;
    const auto lat = lf_parseNumber<double>(fields, "lat");
    const auto lon = lf_parseNumber<double>(fields, "lon");
    if (lf_fieldOr(fields, "querytype") != "locwx" || !lat || !lon) {
        return lf_jsonReply(Json{{"wrrl", session.wrrl_ms}, {"status", 400},
                                 {"message", "Parameter fault"}});
    }
    const double query_s = static_cast<double>(platform::epochSeconds());
    return lf_jsonReply(
        Json{{"wrrl", session.wrrl_ms},
             {"source", "MemoryDB"},
             {"status", 200},
             {"message", "OK"},
             {"data", weatherData(scenario, lf_fieldOr(fields, "airports"), *lat, *lon,
                                  query_s)}});
}

void RtStandin::Impl::endSessionLocked(const std::string& guid)
{
    sessions.erase(guid);
}

std::string RtStandin::Impl::newGuid()
{
    // A version-4 UUID, the form of the service's GUIDs.
    const uint64_t a = random();
    const uint64_t b = random();
    return fmt::format("{:08x}-{:04x}-4{:03x}-{:04x}-{:012x}", a >> 32, (a >> 16) & 0xffff,
                       a & 0xfff, 0x8000 | ((b >> 48) & 0x3fff), b & 0xffffffffffffULL);
}

RtStandin::RtStandin(Scenario scenario, RtStandinOptions options)
    : impl_(std::make_unique<Impl>(*this, std::move(scenario), std::move(options)))
{
    Impl& impl = *impl_;
    auto handler = [&impl](const httplib::Request& req, httplib::Response& res) {
        impl.handle(req, res);
    };
    impl.server.Post(R"(/.*)", handler);
    impl.server.Get(R"(/.*)", handler);
    impl.server.set_socket_options(exclusivePortOptions);
    errno = 0;
    if (impl.options.port == 0) {
        impl.port = impl.server.bind_to_any_port("127.0.0.1");
    } else if (impl.server.bind_to_port("127.0.0.1", impl.options.port)) {
        impl.port = impl.options.port;
    } else {
        impl.port = -1;
    }
    if (impl.port <= 0) {
        throw std::runtime_error(
            fmt::format("RealTraffic stand-in: cannot listen on 127.0.0.1:{}{}", impl.options.port,
                        bindFailure()));
    }
    impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
    // stop() is only heard once the accept loop runs; the socket already listens, so this
    // wait is short.
    while (!impl.server.is_running()) std::this_thread::yield();
}

RtStandin::~RtStandin()
{
    {
        std::scoped_lock lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    impl_->server.stop();
    if (impl_->listener.joinable()) impl_->listener.join();
}

int RtStandin::port() const { return impl_->port; }

std::string RtStandin::url() const { return fmt::format("http://127.0.0.1:{}", impl_->port); }

void RtStandin::addFault(const std::string& path, Fault fault, int count)
{
    if (count < 1) return;
    std::scoped_lock lock(impl_->mutex);
    impl_->faults.push_back(QueuedFault{path, std::move(fault), count});
}

void RtStandin::clearFaults()
{
    std::scoped_lock lock(impl_->mutex);
    impl_->faults.clear();
}

void RtStandin::serveBody(const std::string& path, std::string body)
{
    std::scoped_lock lock(impl_->mutex);
    impl_->replays[path] = std::move(body);
}

void RtStandin::serveFile(const std::string& path, const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::runtime_error(
            fmt::format("RealTraffic stand-in: cannot read {}", file.string()));
    }
    std::ostringstream body;
    body << in.rdbuf();
    serveBody(path, body.str());
}

void RtStandin::clearReplays()
{
    std::scoped_lock lock(impl_->mutex);
    impl_->replays.clear();
}

void RtStandin::releaseStalls()
{
    {
        std::scoped_lock lock(impl_->mutex);
        ++impl_->stallGeneration;
    }
    impl_->changed.notify_all();
}

size_t RtStandin::stalledCount() const
{
    std::scoped_lock lock(impl_->mutex);
    return impl_->stalled;
}

bool RtStandin::waitForStalled(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->stalled >= count; });
}

void RtStandin::addCredential(Credential credential)
{
    std::scoped_lock lock(impl_->mutex);
    auto& list = impl_->credentials;
    std::erase_if(list, [&](const Credential& c) { return c.license == credential.license; });
    list.push_back(std::move(credential));
}

std::vector<std::string> RtStandin::activeGuids() const
{
    std::scoped_lock lock(impl_->mutex);
    std::vector<std::string> guids;
    for (const auto& [guid, session] : impl_->sessions) guids.push_back(guid);
    return guids;
}

void RtStandin::endSession(const std::string& guid)
{
    std::scoped_lock lock(impl_->mutex);
    impl_->endSessionLocked(guid);
}

void RtStandin::endAllSessions()
{
    std::scoped_lock lock(impl_->mutex);
    impl_->sessions.clear();
}

void RtStandin::setPacing(int rrl_ms, int wrrl_ms)
{
    std::scoped_lock lock(impl_->mutex);
    if (rrl_ms >= 0) impl_->rrlOverride_ms = rrl_ms;
    if (wrrl_ms >= 0) impl_->wrrlOverride_ms = wrrl_ms;
    for (auto& [guid, session] : impl_->sessions) {
        if (rrl_ms >= 0) session.rrl_ms = rrl_ms;
        if (wrrl_ms >= 0) session.wrrl_ms = wrrl_ms;
    }
}

std::vector<LoggedRequest> RtStandin::requests() const
{
    std::scoped_lock lock(impl_->mutex);
    return impl_->log;
}

std::vector<LoggedRequest> RtStandin::requests(const std::string& path) const
{
    std::scoped_lock lock(impl_->mutex);
    std::vector<LoggedRequest> matching;
    for (const LoggedRequest& r : impl_->log) {
        if (r.path == path) matching.push_back(r);
    }
    return matching;
}

void RtStandin::clearRequests()
{
    std::scoped_lock lock(impl_->mutex);
    impl_->log.clear();
    impl_->logIds.clear();
}

bool RtStandin::waitForRequests(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->log.size() >= count; });
}

}  // namespace qel::standin
