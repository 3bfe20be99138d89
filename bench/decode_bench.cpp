// A locationtraffic reply of 2,000 records (the 18 records of a real reply near Düsseldorf,
// each repeated under new hex ids and a little moved) read the way the Traffic Reader reads a
// poll: the reply mended and parsed, then every record of 48 elements decoded; against
// nlohmann's parse of the same bytes alone. Both free their document within the timing.
// Reports milliseconds per reply; the target is the program's reading within 1.3 times the
// parse alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "realtraffic/decoding.h"
#include "realtraffic/rt_connection.h"

namespace {

using namespace qel;
using nlohmann::json;

constexpr int kRecords = 2000;

std::string lf_reply()
{
    const auto path = std::filesystem::path(VNTQ_SOURCE_DIR) / "tests" / "data" / "realtraffic" /
                      "v4_traffic_locationtraffic_EDDL_2024-08-24.json";
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    json real = json::parse(text.str());
    json data = json::object();
    int n = 0;
    while (n < kRecords) {
        for (const auto& [key, value] : real["data"].items()) {
            if (n == kRecords) break;
            json record = value;
            if (record.is_array() && record.size() > 2 && record[1].is_number()) {
                const std::string hex = fmt::format("{:06x}", 0x400000 + n);
                record[0] = hex;
                record[1] = record[1].get<double>() + (n % 50) * 0.001;
                record[2] = record[2].get<double>() + (n % 70) * 0.001;
                data[hex] = record;
            } else {
                data[fmt::format("{}{}", key, n)] = record;
            }
            ++n;
        }
    }
    real["data"] = data;
    return real.dump();
}

rt::LiveDecodeContext lf_context()
{
    rt::LiveDecodeContext context;
    context.reference = {51.2895, 6.76678};
    context.range_nm = 80.0;
    context.parkAirport = ParkAirportReference{51.2895, 6.76678, 147.0F};
    return context;
}

// The reply read as the Traffic Reader reads a poll, up to the hand-over of the records. Out
// of line, so that an instruction count can be taken of it alone (valgrind --tool=callgrind
// --toggle-collect='*lf_readReply*').
[[gnu::noinline]] void lf_readReply(const std::string& body, const rt::LiveDecodeContext& context,
                                    rt::LiveDecodeState& decoded)
{
    const json reply = rt::gf_parseReply(body);
    const json& data = reply["data"];
    for (const auto& value : data) {
        if (value.is_array() && value.size() == rt::kLiveRecordFields) {
            rt::processLine(value, context, decoded);
        }
    }
}

[[gnu::noinline]] std::size_t lf_parseOnly(const std::string& body)
{
    const json reply = json::parse(body);
    return reply.size();
}

void BM_ReadTrafficReply(benchmark::State& state)
{
    const std::string body = lf_reply();
    const rt::LiveDecodeContext context = lf_context();
    rt::LiveDecodeState decoded;
    std::size_t kept = 0;
    for (auto _ : state) {
        lf_readReply(body, context, decoded);
        kept = decoded.records.size();
        decoded.records.clear();
    }
    state.counters["records_kept"] = static_cast<double>(kept);
    state.counters["bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_ReadTrafficReply)->Unit(benchmark::kMillisecond);

void BM_ParseTrafficReplyNlohmann(benchmark::State& state)
{
    const std::string body = lf_reply();
    for (auto _ : state) benchmark::DoNotOptimize(lf_parseOnly(body));
    state.counters["bytes"] = static_cast<double>(body.size());
}
BENCHMARK(BM_ParseTrafficReplyNlohmann)->Unit(benchmark::kMillisecond);

}  // namespace
