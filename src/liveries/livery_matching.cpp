// The livery matchers: one ladder of steps from the aircraft's own registration down to any
// livery of a similar aircraft, as deep as MATCHING_DEPTH allows, and the summary of the live
// matches.
//
// Threads: the main-loop thread only; the livery database is read without locks while traffic
// runs. Random choices use the calling thread's engine (g_rng), which tests seed.
#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "foundation/strings.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db.h"

namespace qel {

std::array<int, 7> g_matchCounts{};  // main-loop thread

namespace {

constexpr int lf_noStep = -1;
constexpr int lf_pickTries = 5;
constexpr std::string_view lf_summaryTitle = "live traffic livery matching summary";
constexpr int lf_summaryWidth = 100;

constexpr std::array<std::pair<std::string_view, std::string_view>, 35> lf_nameWords = {{
    {"AAL", "American"}, {"ACA", "Canada"},      {"AFR", "France"},   {"ASA", "Alaska"},
    {"ASH", "Mesa"},     {"AVA", "Avianca"},     {"BAW", "British"},  {"BOX", "Aerologic"},
    {"CAI", "Corendon"}, {"CFE", "Cityflyer"},   {"DAE", "DHL Aero"}, {"DAL", "Delta"},
    {"DHK", "DHL Air"},  {"EDV", "Endeavor"},    {"EZY", "easyjet"},  {"FDX", "FedEx"},
    {"FJO", "Flexjet"},  {"GJS", "GoJet"},       {"IBE", "Iberia"},   {"JIA", "PSA Airlines"},
    {"JZA", "Jazz"},     {"KLC", "Cityhopper"},  {"LRC", "Avianca"},  {"PDT", "Piedmont"},
    {"PRM", "Prime"},    {"QLK", "Quantaslink"}, {"QXE", "Horizon"},  {"RPA", "Republic"},
    {"RYR", "Ryanair"},  {"SWA", "Southwest"},   {"SKW", "SkyWest"},  {"UAL", "United"},
    {"UPS", "UPS"},      {"VJT", "VistaJet"},    {"WJA", "WestJet"},
}};

using ClassMap = std::unordered_map<uint16_t, ModelTitles>;

// The airline id of a code without adding the code to the table: matching runs for every
// flight, and a code that is not in the table has no livery anyway.
std::optional<uint16_t> lf_existingAirline(std::string_view code)
{
    return g_airlineCodes.find(code);
}

const TitleList* lf_titlesOf(int cls, uint16_t airline, uint16_t model)
{
    const ClassMap& airlines = g_airlineModelTitles.at(static_cast<std::size_t>(cls));
    const auto a = airlines.find(airline);
    if (a == airlines.end()) return nullptr;
    const auto m = a->second.find(model);
    return m == a->second.end() ? nullptr : &m->second;
}

bool lf_dontUse(TitleView title) { return g_dontUseTitles.contains(title); }

// "D-" of "D-ABCD", "N" of "N123AB", "-" of "-ABC"; empty for an empty registration.
std::string_view lf_prefixOf(std::string_view registration)
{
    if (registration.empty()) return {};
    const auto dash = registration.find('-');
    if (dash == std::string_view::npos || dash == 0) return registration.substr(0, 1);
    return registration.substr(0, dash + 1);
}

class Matcher {
public:
    explicit Matcher(FlightData& aircraft) : a_(aircraft) {}

    // Items 2 to 8 of the ladder; the accepted step, or lf_noStep with the title empty.
    int ladder(int level, uint8_t fallbackCargo);

private:
    bool found() const { return !a_.title.empty(); }
    // A title the simulator refused before is dropped, and the ladder goes on.
    bool accepted()
    {
        if (!found()) return false;
        if (g_liveryHooks.titleRefused && g_liveryHooks.titleRefused(a_.title)) {
            a_.title = {};
            return false;
        }
        return true;
    }

    bool matchRegcode();
    bool matchKey(const MatchKey& key);
    bool matchKeyClass(const MatchKey& key, int cls);
    bool matchAirlineModel(int cls, uint16_t airline, uint16_t model);
    bool matchTitleWord(int cls, uint16_t airline, uint16_t model, uint16_t otherAirline);
    bool matchPrivateByPrefix(int cls, uint16_t airline, uint16_t model);
    bool matchModelByPrefix(uint16_t model);
    bool pickByPrefixes(const TitleList& titles);
    bool matchSimilarModel(const MatchKey& key);
    bool matchFallback(uint8_t cargo, int& step);
    bool pickRandomTitle(const TitleList& titles);

    FlightData& a_;
};

int Matcher::ladder(int level, uint8_t fallbackCargo)
{
    a_.title = {};
    if (matchRegcode() && accepted()) {
        return g_specialRegistrations.contains(a_.registration) ? 0 : 1;
    }
    if (level < 2) return lf_noStep;
    if (g_airlineCodes.text(a_.key.airline) == "PVT") {
        if (const auto generic = lf_existingAirline("ZZZ")) {
            MatchKey key = a_.key;
            key.airline = *generic;
            if (matchKey(key) && accepted()) return 4;
        }
    }
    if (matchKey(a_.key) && accepted()) return 2;
    if (level < 3) return lf_noStep;
    if (matchSimilarModel(a_.key) && accepted()) return 3;
    if (level < 4) return lf_noStep;
    int step = lf_noStep;
    if (matchFallback(fallbackCargo, step) && accepted()) return step;
    a_.title = {};
    return lf_noStep;
}

bool Matcher::matchRegcode()
{
    if (a_.registration.empty()) return false;
    const auto it = g_regcodes.find(a_.registration);
    a_.title = it == g_regcodes.end() ? TitleView{} : it->second;
    return found();
}

bool Matcher::matchKey(const MatchKey& key)
{
    const int cls = key.cargo != 0 ? 1 : 0;
    if (matchKeyClass(key, cls)) return true;
    return cls == 1 && matchKeyClass(key, 0);
}

bool Matcher::matchKeyClass(const MatchKey& key, int cls)
{
    const uint16_t a = key.airline;
    const uint16_t b = key.operatorId;
    const uint16_t m = key.model;
    if (b == 0) {
        if (g_airlineCodes.text(a) == "PVT" && matchPrivateByPrefix(cls, a, m)) return true;
        return matchAirlineModel(cls, a, m);
    }
    const auto combined = lf_existingAirline(g_airlineCodes.text(a) + g_airlineCodes.text(b));
    if (combined && matchAirlineModel(cls, *combined, m)) return true;
    return matchTitleWord(cls, b, m, a) || matchTitleWord(cls, a, m, b) ||
           matchAirlineModel(cls, b, m) || matchAirlineModel(cls, a, m);
}

bool Matcher::matchAirlineModel(int cls, uint16_t airline, uint16_t model)
{
    const TitleList* titles = lf_titlesOf(cls, airline, model);
    return titles != nullptr && pickRandomTitle(*titles);
}

bool Matcher::matchTitleWord(int cls, uint16_t airline, uint16_t model, uint16_t otherAirline)
{
    const TitleList* titles = lf_titlesOf(cls, airline, model);
    if (titles == nullptr) return false;
    const std::string_view word = gf_airlineNameWord(g_airlineCodes.text(otherAirline));
    for (const TitleView title : *titles) {
        if (title.size() < word.size() || title.find(word) == TitleView::npos) continue;
        a_.title = title;
        return true;
    }
    return false;
}

bool Matcher::pickRandomTitle(const TitleList& titles)
{
    if (titles.empty()) return found();
    const auto n = static_cast<uint32_t>(titles.size());
    for (int i = 0; i < lf_pickTries; ++i) {
        a_.title = titles[n > 1 ? gf_randomBelow(n) : 0];
        if (g_dontUseTitles.empty() || !lf_dontUse(a_.title)) return true;
    }
    TitleList usable;
    std::copy_if(titles.begin(), titles.end(), std::back_inserter(usable),
                 [](TitleView title) { return !lf_dontUse(title); });
    // With every title a don't-use title the last rejected try stays chosen.
    if (!usable.empty()) a_.title = usable[gf_randomBelow(static_cast<uint32_t>(usable.size()))];
    return true;
}

// The prefix choices already made, by title list and prefix: a re-plan asks the same few
// questions for hundreds of aircraft. Lists stay in place until gf_clearLiveryDb, which empties
// this too; bounded so that an unusual run cannot grow it without end. Main-loop thread.
constexpr std::size_t lf_prefixCacheLimit = 20000;
std::unordered_map<std::string, TitleList> prefixCache;
// The in-line registration of each title by the address of its text: every list holds views
// of the database's own strings, and an address hashes far faster than a title's bytes.
std::unordered_map<const char*, std::string_view> registrationByTitle;

// The titles whose in-line registration begins with the prefix, in list order.
const TitleList& gf_titlesWithPrefix(const TitleList& titles, std::string_view prefix)
{
    std::string cacheKey(sizeof(const TitleList*), '\0');
    const TitleList* list = &titles;
    std::memcpy(cacheKey.data(), static_cast<const void*>(&list), sizeof list);
    cacheKey += prefix;
    if (const auto it = prefixCache.find(cacheKey); it != prefixCache.end()) return it->second;
    if (prefixCache.size() >= lf_prefixCacheLimit) prefixCache.clear();
    TitleList result;
    for (const TitleView title : titles) {
        const auto it = registrationByTitle.find(title.data());
        if (it != registrationByTitle.end() && it->second.starts_with(prefix)) {
            result.push_back(title);
        }
    }
    result.shrink_to_fit();
    return prefixCache.emplace(std::move(cacheKey), std::move(result)).first->second;
}

// Own prefix first, then the prefixes of its group in random order.
bool Matcher::pickByPrefixes(const TitleList& titles)
{
    const std::string_view prefix = lf_prefixOf(a_.registration);
    if (prefix.empty()) return false;
    if (pickRandomTitle(gf_titlesWithPrefix(titles, prefix))) return true;
    for (const auto& other : gf_similarPrefixes(prefix)) {
        if (pickRandomTitle(gf_titlesWithPrefix(titles, other))) return true;
    }
    return false;
}

bool Matcher::matchPrivateByPrefix(int cls, uint16_t airline, uint16_t model)
{
    const TitleList* titles = lf_titlesOf(cls, airline, model);
    return titles != nullptr && !titles->empty() && pickByPrefixes(*titles);
}

bool Matcher::matchModelByPrefix(uint16_t model)
{
    const ModelTitles& models = g_modelTitles.at(a_.key.cargo != 0 ? 1 : 0);
    const auto it = models.find(model);
    if (it == models.end() || it->second.empty()) return false;
    return pickByPrefixes(it->second) || pickRandomTitle(it->second);
}

bool Matcher::matchSimilarModel(const MatchKey& key)
{
    const uint16_t owner = key.operatorId != 0 ? key.operatorId : key.airline;
    const auto airline = g_airlineSimilarModels.find(owner);
    if (airline == g_airlineSimilarModels.end()) return false;
    const auto list = airline->second.find(key.model);
    if (list == airline->second.end()) return false;
    ModelIdList models = list->second;
    gf_shuffle(models);
    const int cls = key.cargo != 0 ? 1 : 0;
    for (const uint16_t model : models) {
        if (gf_sizeCategory(model) != static_cast<int>(a_.weightClass)) continue;
        MatchKey similar = key;
        similar.model = model;
        if (matchKeyClass(similar, cls) || (cls == 1 && matchKeyClass(similar, 0))) return true;
    }
    return false;
}

bool Matcher::matchFallback(uint8_t cargo, int& step)
{
    if (const auto generic = lf_existingAirline("ZZZ")) {
        MatchKey key = a_.key;
        key.cargo = (a_.key.cargo != 0 || cargo != 0) ? 1 : 0;
        key.airline = *generic;
        if (matchKey(key)) {
            step = 4;
            return true;
        }
    }
    const int category = static_cast<int>(a_.weightClass);
    if (category != 0 && category != 1 && category != 5) return false;
    if (matchModelByPrefix(a_.key.model)) {
        step = 5;
        return true;
    }
    ModelIdList candidates;
    if (const auto similar = g_similarModels.find(a_.key.model); similar != g_similarModels.end()) {
        candidates = similar->second;
        gf_shuffle(candidates);
    } else if (const uint16_t model = gf_randomCategoryModel(gf_sizeCategory(a_.key.model));
               model != 0) {
        candidates.push_back(model);
    }
    for (const uint16_t model : candidates) {
        if (matchModelByPrefix(model)) {
            step = 6;
            return true;
        }
    }
    return false;
}

int lf_matchingLevel() { return std::clamp(MATCHING_DEPTH.current.load(), 1, 4); }

void lf_logAccepted(const FlightData& aircraft, int step)
{
    gf_log(
        fmt::format("          {} ={}= {}", gf_flightDescription(aircraft), step, aircraft.title));
}

void gf_acceptLiveMatch(FlightData& aircraft, int step)
{
    ++g_matchCounts.at(static_cast<std::size_t>(step));
    lf_logAccepted(aircraft, step);
    aircraft.fsltl = aircraft.title.find("FSLTL_") != TitleView::npos ? 1 : 0;
}

}  // namespace

void gf_clearMatchCache()
{
    prefixCache.clear();
    registrationByTitle.clear();
}

void gf_prepareMatching()
{
    gf_clearMatchCache();
    registrationByTitle.reserve(g_titleRegistrations.size());
    for (const auto& [title, registration] : g_titleRegistrations) {
        registrationByTitle.emplace(title.data(), registration);
    }
}

std::string_view gf_airlineNameWord(std::string_view code)
{
    static const std::unordered_map<std::string_view, std::string_view> words(lf_nameWords.begin(),
                                                                              lf_nameWords.end());
    const auto it = words.find(code);
    return it == words.end() ? std::string_view("not found") : it->second;
}

bool gf_matchLiveLivery(FlightData& aircraft)
{
    const int step = Matcher(aircraft).ladder(lf_matchingLevel(), 0);
    if (step == lf_noStep) return false;
    gf_acceptLiveMatch(aircraft, step);
    return true;
}

bool gf_matchLivery(FlightData& aircraft, const ParkCandidate& candidate)
{
    if (!aircraft.title.empty()) {
        gf_log(fmt::format("          {} =s= {}", gf_flightDescription(aircraft), aircraft.title));
        return true;
    }
    const int step = Matcher(aircraft).ladder(lf_matchingLevel(), candidate.cargo);
    if (step != lf_noStep) {
        lf_logAccepted(aircraft, step);
        return true;
    }
    gf_log(fmt::format("{:8}: {} no livery match ...", candidate.text,
                       gf_flightShortDescription(aircraft)));
    return false;
}

void gf_writeMatchSummary()
{
    if (std::none_of(g_matchCounts.begin(), g_matchCounts.end(), [](int n) { return n > 0; })) {
        return;
    }
    // The stars around the title take the width less the title's length.
    const int stars = lf_summaryWidth - static_cast<int>(lf_summaryTitle.size());
    std::string text = gf_starBanner(stars, 0, false, false, lf_summaryTitle);
    text += "\nMatches at step: ";
    for (std::size_t step = 0; step < g_matchCounts.size(); ++step) {
        text += fmt::format("\n  {}: {}", step, g_matchCounts[step]);
    }
    const auto uncreated = g_liveryHooks.uncreatedAircraft ? g_liveryHooks.uncreatedAircraft()
                                                           : std::vector<std::string>{};
    if (!uncreated.empty()) {
        text += "\n\nCould not be created";
        for (const auto& line : uncreated) text += "\n  " + line;
    }
    text += "\n" + gf_starBanner(lf_summaryWidth, 0, false, false, "");
    // One write, so that no other thread's line lands inside the summary.
    gf_log(text);
}

}  // namespace qel
