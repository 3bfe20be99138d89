// The control endpoint: each request is turned into one call of the server's public members.
#include "standins/realtraffic/rt_control.h"

#include <charconv>
#include <limits>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "standins/realtraffic/rt_standin.h"

namespace qel::standin {
namespace {

using Fields = std::map<std::string, std::string>;
using nlohmann::json;

// "count=always" keeps a fault until it is cleared.
constexpr int kAlways = std::numeric_limits<int>::max();

std::string lf_field(const Fields& fields, const char* name)
{
    const auto it = fields.find(name);
    return it == fields.end() ? std::string() : it->second;
}

// The whole field as an integer in [low, high]; none when it is missing or anything else.
std::optional<int> lf_integer(const Fields& fields, const char* name, int low, int high)
{
    const std::string text = lf_field(fields, name);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < low || value > high) return std::nullopt;
    return value;
}

ControlReply lf_answer(int httpStatus, const std::string& message)
{
    return {httpStatus, json{{"status", httpStatus}, {"message", message}}.dump()};
}

// The fault the fields describe, or the reason why they describe none.
std::optional<Fault> lf_fault(const Fields& fields, std::string& error)
{
    const std::string kind = lf_field(fields, "kind");
    if (kind == "status") {
        const auto status = lf_integer(fields, "status", -99999, 99999);
        if (!status) {
            error = "kind=status needs status=<number>";
            return std::nullopt;
        }
        return Fault::withStatus(*status, lf_field(fields, "message"));
    }
    if (kind == "empty_body") return Fault::emptyBody();
    if (kind == "invalid_json") return Fault::invalidJson();
    if (kind == "gateway_timeout") return Fault::gatewayTimeout();
    if (kind == "drop_connection") return Fault::dropConnection();
    if (kind == "stall") return Fault::stall();
    if (kind == "unauthorized") return Fault::unauthorized();
    if (kind == "body") {
        const auto http = fields.count("http") ? lf_integer(fields, "http", 100, 599) : 200;
        if (!http) {
            error = "http must be an HTTP status from 100 to 599";
            return std::nullopt;
        }
        const std::string type = lf_field(fields, "content_type");
        return Fault::withBody(lf_field(fields, "body"), *http,
                               type.empty() ? "application/json" : type);
    }
    error = fmt::format(
        "unknown kind \"{}\": status, empty_body, invalid_json, gateway_timeout, "
        "drop_connection, stall, unauthorized or body",
        kind);
    return std::nullopt;
}

ControlReply lf_addFault(RtStandin& server, const Fields& fields)
{
    std::string error;
    const auto fault = lf_fault(fields, error);
    if (!fault) return lf_answer(400, error);
    std::optional<int> count = 1;
    if (lf_field(fields, "count") == "always") {
        count = kAlways;
    } else if (fields.count("count")) {
        count = lf_integer(fields, "count", 1, 1'000'000);
    }
    if (!count) return lf_answer(400, "count must be a number from 1 to 1000000, or always");
    const std::string path = lf_field(fields, "path");
    server.addFault(path, *fault, *count);
    return lf_answer(200, fmt::format("fault {} queued for {}", lf_field(fields, "kind"),
                                      path.empty() ? "any path" : path));
}

ControlReply lf_setPacing(RtStandin& server, const Fields& fields)
{
    constexpr int kLongest_ms = 3'600'000;
    const auto rrl = fields.count("rrl_ms") ? lf_integer(fields, "rrl_ms", 0, kLongest_ms) : -1;
    const auto wrrl = fields.count("wrrl_ms") ? lf_integer(fields, "wrrl_ms", 0, kLongest_ms) : -1;
    if (!rrl || !wrrl) return lf_answer(400, "rrl_ms and wrrl_ms must be 0 to 3600000");
    server.setPacing(*rrl, *wrrl);
    return lf_answer(200, "pacing set");
}

ControlReply lf_state(const RtStandin& server)
{
    const json state{{"status", 200},
                     {"sessions", server.activeGuids().size()},
                     {"stalled", server.stalledCount()},
                     {"requests", server.requests().size()}};
    return {200, state.dump()};
}

}  // namespace

ControlReply controlRequest(RtStandin& server, const std::string& path, const Fields& fields)
{
    if (path == "/control/fault") return lf_addFault(server, fields);
    if (path == "/control/clear") {
        server.clearFaults();
        server.releaseStalls();
        return lf_answer(200, "faults cleared, stalled replies released");
    }
    if (path == "/control/release") {
        server.releaseStalls();
        return lf_answer(200, "stalled replies released");
    }
    if (path == "/control/end_sessions") {
        server.endAllSessions();
        return lf_answer(200, "every session ended");
    }
    if (path == "/control/pacing") return lf_setPacing(server, fields);
    if (path == "/control/state") return lf_state(server);
    return lf_answer(404, "unknown control: /control/fault, clear, release, end_sessions, "
                          "pacing or state");
}

}  // namespace qel::standin
