// The user aircraft as the program needs to know it: its title, shown in the main window, and
// its ICAO type, from which come its half wing span and size category, repaired from the "ATC
// MODEL" text that aircraft report; and the stock base-container map of the livery scan.
//
// Threads: lf_onUserTitle and lf_onUserModel run on "SimClient"; the title and span are read by
// other threads through gf_userTitle and gf_userHalfSpan under g_userModelMutex (a leaf lock).
#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/window_status.h"
#include "liveries/liveries.h"
#include "liveries/livery_scan.h"
#include "simlink/link_internal.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

std::atomic<uint32_t>& g_userCategory = g_simLinkRun.userCategory;
std::mutex g_userModelMutex;

// The scan's table: the simulator's base aircraft are the same whoever looks them up.
const std::map<std::string_view, std::string_view>& g_stockContainerModels = g_baseContainerModels;

namespace {

constexpr size_t kTitleBytes = 48;
constexpr std::string_view kUnknownAircraft = "Unknown (encrypted?) aircraft";

std::string& g_userTitle = g_simLinkRun.userTitle;                  // at most kTitleBytes
std::optional<double>& g_userHalfSpan = g_simLinkRun.userHalfSpan;  // nm

void lf_showUserAircraft(std::string text)
{
    g_simWindowStatus.userAircraftTitle.set(std::move(text));
    gf_invalidateArea(WindowArea::StatusStrip);
}

void lf_setHalfSpan(double span_nm)
{
    std::scoped_lock lock(g_userModelMutex);
    g_userHalfSpan = span_nm;
}

// The half wing span of a type code, nm; 0 when the database has none.
double lf_halfSpanOf(std::string_view code) { return gf_wingspan(gf_modelIndex(code)); }

// The span of a code, or the largest of the database when it has none.
double lf_spanOrFallback(std::string_view code)
{
    const double span = lf_halfSpanOf(code);
    return span > 0.0 ? span : g_maxHalfSpanNm;
}

// At most `limit` bytes of the text, never ending inside a UTF-8 character.
std::string lf_cutUtf8(std::string_view text, size_t limit)
{
    if (text.size() <= limit) return std::string(text);
    size_t end = limit;
    // Continuation bytes are 10xxxxxx; the cut goes before the character they belong to.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

// The repair rules for what aircraft put into "ATC MODEL", first match wins.
std::string lf_repairModel(const std::string& model, const std::string& title)
{
    if (model == "A350-900") return "A359";
    if (model == "N738B") return "B38M";
    if (model == "777") return "772";
    if (model == "A330-200 (RR)") return "A332";
    if (const size_t p = model.find(".0.text"); p != std::string::npos) {
        for (const size_t n : {4U, 3U, 2U}) {
            if (n > p) continue;
            const std::string code = model.substr(p - n, n);
            if (lf_halfSpanOf(code) != 0.0) return code;
        }
        return model;
    }
    if (model.starts_with("$$:") && model.size() >= 5) return model.substr(3);
    if (model == "737") {
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> dg = {
            {{"DG 737-800", "B738"},
             {"DG 737-700", "B737"},
             {"DG 737-600", "B736"},
             {"DG 737-900", "B739"}}};
        for (const auto& [name, code] : dg) {
            if (title.find(name) != std::string::npos) return std::string(code);
        }
    }
    return model;
}

// The Aerosoft Airbus family names no usable model; its title does.
std::optional<std::string> lf_modelFromTitle(const std::string& title)
{
    for (const char* code : {"A319", "A320", "A321"}) {
        if (title.starts_with(fmt::format("Aerosoft {}", code))) return std::string(code);
    }
    return std::nullopt;
}

}  // namespace

std::string_view lf_categoryName(uint32_t category)
{
    static constexpr std::array<std::string_view, 6> names = {"Light", "Buzjets",  "Large",
                                                              "Heavy", "HighPerf", "Rotorcraft"};
    return category < names.size() ? names[category] : "Unknown";
}

void lf_onUserTitle(std::string_view received)
{
    if (received.empty()) {
        gf_log("! Title of your aircraft is empty?");
        return;
    }
    std::string title = lf_cutUtf8(received, kTitleBytes);
    {
        std::scoped_lock lock(g_userModelMutex);
        if (title == g_userTitle) return;
        g_userTitle = title;
    }
    lf_showUserAircraft(title);
    gf_logIndented("SimConnect: User aircraft title: " + title);
}

void lf_onUserModel(std::string_view received)
{
    if (received.empty()) {
        lf_showUserAircraft(std::string(kUnknownAircraft));
        gf_setMessage(
            "171: No model info from your user aircraft received in SimConnect, CRJ7 "
            "is taken instead",
            true);
        lf_setHalfSpan(lf_spanOrFallback("CRJ7"));
        return;
    }
    gf_logIndented(fmt::format("model raw: {}", received));
    const std::string title = gf_userTitle();
    std::string model = lf_repairModel(std::string(received), title);
    std::string summary = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos ||
        model.find("Crew Vessel") != std::string::npos) {
        // A camera or a ship: the size of a regional jet keeps traffic clear of it.
        g_simWindowStatus.userSizeKnown = true;
        gf_invalidateArea(WindowArea::StatusStrip);
        lf_setHalfSpan(lf_spanOrFallback("E190"));
        g_userCategory = 0;
        gf_logIndented(summary);
        return;
    }
    // A span of 0 is no span: the database does not know the type. Tracked apart from the
    // fallback value, which the largest type of the database also has.
    double span = model.size() < 5 ? lf_halfSpanOf(model) : 0.0;
    if (span == 0.0) {
        if (const auto fromTitle = lf_modelFromTitle(title)) {
            model = *fromTitle;
            summary = "SimConnect: User aircraft model deduced from title: " + model;
            span = lf_halfSpanOf(model);
        }
    }
    g_simWindowStatus.userSizeKnown = span > 0.0;
    if (span > 0.0) {
        lf_setHalfSpan(span);
        summary += fmt::format(", half wing span: {:.1F} meter", span * 1852.0);
    } else {
        lf_setHalfSpan(g_maxHalfSpanNm);
        gf_setMessage(
            "User aircraft wing span unknown, max is taken instead, please report in my Forum!",
            true);
    }
    gf_invalidateArea(WindowArea::StatusStrip);
    const auto category = static_cast<uint32_t>(gf_sizeCategory(gf_modelIndex(model)));
    g_userCategory = category;
    summary += fmt::format(", category: {}", lf_categoryName(category));
    gf_logIndented(summary);
}

std::string gf_userTitle()
{
    std::scoped_lock lock(g_userModelMutex);
    return g_userTitle;
}

std::optional<double> gf_userHalfSpan()
{
    std::scoped_lock lock(g_userModelMutex);
    return g_userHalfSpan;
}

}  // namespace qel
