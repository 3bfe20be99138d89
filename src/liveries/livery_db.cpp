// The livery database's storage and build: the scanned liveries filed by airline and model,
// the title indexes over them, and the order of the whole build.
//
// Threads: the start-up thread builds and empties everything here while no aircraft exists;
// the main-loop thread reads it afterwards without locks. Only the clear request is atomic.
#include "liveries/livery_db.h"

#include <algorithm>

#include <fmt/format.h>

#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "liveries/flight_data.h"
#include "liveries/livery_db_build.h"

namespace qel {

std::unordered_map<uint16_t, ModelEntries> g_liveryDb;                          // start-up thread
std::array<std::unordered_map<uint16_t, ModelTitles>, 2> g_airlineModelTitles;  // start-up
std::array<ModelTitles, 2> g_modelTitles;                                       // start-up thread
std::array<ModelIdList, 3> g_categoryModels;                                    // start-up thread
std::unordered_map<uint16_t, ModelIdList> g_similarModels;                      // start-up thread
std::unordered_map<uint16_t, std::unordered_map<uint16_t, ModelIdList>>
    g_airlineSimilarModels;                    // start-up thread
std::atomic<bool> g_liveriesProcessed{false};  // atomic
std::atomic<std::size_t> g_liveryDbCount{0};   // atomic
std::atomic<uint64_t> g_shownLiveryCount{0};   // atomic
LiveryHooks g_liveryHooks;                     // written once at start, before other threads run

namespace {

constexpr std::size_t lf_airlineReserve = 2048;
constexpr std::size_t lf_modelReserve = 128;
constexpr std::size_t lf_entryReserve = 4048;
constexpr std::size_t lf_cargoAirlineReserve = 256;
constexpr std::size_t lf_paxModelReserve = 324;
constexpr std::size_t lf_cargoModelReserve = 75;
constexpr std::size_t lf_regcodeReserve = 36000;
constexpr float lf_regcodeLoadFactor = 0.7F;
constexpr std::size_t lf_excludedReserve = 4096;
constexpr std::array<std::size_t, 3> lf_categoryReserve = {64, 128, 32};

// A request from another thread to empty the database before the next build (atomic).
std::atomic<bool> clearRequested{false};

// Title → the stored view, first in map order. Built with g_liveryDb, start-up thread.
std::unordered_set<TitleView> titleIndex;

// Fills one pass: the liveries without operator, or those with one under the combined code.
class DbFiler {
public:
    void add(uint16_t airline, uint16_t model, const Livery& livery)
    {
        if (started_ && airline != airline_) {
            storeModel();
            storeAirline();
        } else if (started_ && model != model_) {
            storeModel();
        }
        started_ = true;
        airline_ = airline;
        model_ = model;
        std::string title = livery.title;
        title.shrink_to_fit();
        buffer_.push_back({std::move(title), livery.key.cargo});
    }
    void finish()
    {
        if (!started_) return;
        storeModel();
        storeAirline();
        started_ = false;
    }

private:
    // Storing never overwrites: a key already present keeps its first list.
    void storeModel()
    {
        if (buffer_.empty()) return;
        models_.try_emplace(model_, buffer_.begin(), buffer_.end());
        buffer_.clear();
    }
    void storeAirline()
    {
        g_liveryDb.try_emplace(airline_, std::move(models_));
        models_ = ModelEntries{};
        models_.reserve(lf_modelReserve);
    }

    bool started_ = false;
    uint16_t airline_ = 0;
    uint16_t model_ = 0;
    std::vector<LiveryDbEntry> buffer_ = [] {
        std::vector<LiveryDbEntry> entries;
        entries.reserve(lf_entryReserve);
        return entries;
    }();
    ModelEntries models_;
};

void lf_fillLiveryDb(const LiveryList& liveries)
{
    DbFiler plain;
    for (const auto& livery : liveries) {
        if (livery.key.operatorId == 0) plain.add(livery.key.airline, livery.key.model, livery);
    }
    plain.finish();

    // The combined code is interned once per (airline, operator) pair, not per livery.
    DbFiler operated;
    uint32_t pair = UINT32_MAX;
    uint16_t combined = 0;
    for (const auto& livery : liveries) {
        if (livery.key.operatorId == 0) continue;
        const uint32_t thisPair = uint32_t{livery.key.airline} | uint32_t{livery.key.operatorId}
                                                                     << 16;
        if (thisPair != pair) {
            pair = thisPair;
            combined = gf_liveryDbAirline(livery.key);
        }
        operated.add(combined, livery.key.model, livery);
    }
    operated.finish();
}

void lf_buildTitleIndex()
{
    titleIndex.clear();
    titleIndex.reserve(lf_entryReserve * 8);
    for (const auto& [airline, models] : g_liveryDb) {
        for (const auto& [model, entries] : models) {
            for (const auto& entry : entries) titleIndex.insert(entry.title);
        }
    }
}

void lf_buildAirlineModelTitles()
{
    for (const auto& [airline, models] : g_liveryDb) {
        std::array<ModelTitles, 2> classes;
        for (const auto& [model, entries] : models) {
            std::array<TitleList, 2> lists;
            for (const auto& entry : entries) {
                lists[entry.cargo != 0 ? 1 : 0].push_back(entry.title);
            }
            for (std::size_t c = 0; c < 2; ++c) {
                if (lists[c].empty()) continue;
                lists[c].shrink_to_fit();
                classes[c].emplace(model, std::move(lists[c]));
            }
        }
        for (std::size_t c = 0; c < 2; ++c) {
            if (classes[c].empty()) continue;
            g_airlineModelTitles[c].emplace(airline, std::move(classes[c]));
        }
    }
}

// Every title once under its model, passenger and cargo apart; within a model the titles keep
// the order of the database walk.
void lf_buildModelTitles()
{
    for (const auto& [airline, models] : g_liveryDb) {
        for (const auto& [model, entries] : models) {
            for (const auto& entry : entries) {
                g_modelTitles[entry.cargo != 0 ? 1 : 0][model].push_back(entry.title);
            }
        }
    }
    for (auto& titles : g_modelTitles) {
        for (auto& [model, list] : titles) list.shrink_to_fit();
    }
}

void lf_reserveForBuild()
{
    g_liveryDb.reserve(lf_airlineReserve);
    g_airlineModelTitles[0].reserve(lf_airlineReserve);
    g_airlineModelTitles[1].reserve(lf_cargoAirlineReserve);
    g_modelTitles[0].reserve(lf_paxModelReserve);
    g_modelTitles[1].reserve(lf_cargoModelReserve);
    g_regcodes.reserve(lf_regcodeReserve);
    g_regcodes.max_load_factor(lf_regcodeLoadFactor);
}

void lf_freeScannedList() { g_liveries.clear(); }

}  // namespace

uint16_t gf_liveryDbAirline(const MatchKey& key)
{
    if (key.operatorId == 0) return key.airline;
    return gf_airlineIndex(
        fmt::format("{}{}", g_airlineCodes.text(key.airline), g_airlineCodes.text(key.operatorId)));
}

TitleView gf_findLiveryByTitle(std::string_view title)
{
    const auto it = titleIndex.find(title);
    return it == titleIndex.end() ? TitleView{} : *it;
}

bool gf_hasLivery(uint16_t airlineId, uint16_t modelId)
{
    const auto airline = g_liveryDb.find(airlineId);
    return airline != g_liveryDb.end() && airline->second.contains(modelId);
}

uint16_t gf_randomCategoryModel(int category)
{
    const ModelIdList* list = nullptr;
    switch (category) {
    case 0: list = &g_categoryModels[0]; break;
    case 1: list = &g_categoryModels[1]; break;
    case 5: list = &g_categoryModels[2]; break;
    default: return 0;
    }
    if (list->empty()) return 0;
    return (*list)[gf_randomBelow(static_cast<uint32_t>(list->size()))];
}

void gf_clearLiveryDb()
{
    for (auto& list : g_categoryModels) list.clear();
    g_specialRegcodes.clear();
    g_specialRegistrations.clear();
    g_dontUseTitles.clear();
    g_regcodes.clear();
    g_titleRegistrations.clear();
    for (auto& titles : g_modelTitles) titles.clear();
    for (auto& titles : g_airlineModelTitles) titles.clear();
    // Lists of an earlier build would hide the similar models of the new one.
    g_similarModels.clear();
    g_airlineSimilarModels.clear();
    titleIndex.clear();
    gf_clearMatchCache();
    g_liveryDb.clear();
    g_liveriesProcessed = false;
}

void gf_requestLiveryDbClear() { clearRequested = true; }

void gf_serveLiveryDbClear()
{
    if (clearRequested.exchange(false)) gf_clearLiveryDb();
}

void gf_reserveLiveryContainers()
{
    g_excludedTitles.reserve(lf_excludedReserve);
    for (std::size_t i = 0; i < g_categoryModels.size(); ++i) {
        g_categoryModels[i].reserve(lf_categoryReserve[i]);
    }
}

void gf_buildLiveryDb(const LiveryList& liveries)
{
    lf_reserveForBuild();
    lf_fillLiveryDb(liveries);
    lf_buildTitleIndex();
    lf_buildAirlineModelTitles();
    lf_processInlineRegcodes(liveries);
    lf_processOfflineRegcodes();
    gf_log(fmt::format("{:5} registration codes", g_regcodes.size()));
    lf_buildModelTitles();
    gf_log(fmt::format("{:5} airlines, {} pax aircraft models and {} cargo aircraft models",
                       g_liveryDb.size(), g_modelTitles[0].size(), g_modelTitles[1].size()));
    lf_buildSimilarModels();
    gf_log(" ");
    for (int category = 0; category <= 5; ++category) lf_reportCategory(category);
    lf_reportGenericLiveries();
    gf_prepareMatching();
}

void lf_processScannedLiveries()
{
    if (g_liveriesProcessed) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        lf_applyCategoryOptions();
        lf_freeScannedList();
        return;
    }
    gf_readLiveriesScanned();
    g_liveryDbCount = g_liveries.size();
    if (g_liveryHooks.repaint) g_liveryHooks.repaint();
    gf_buildLiveryDb(g_liveries);
    g_liveriesProcessed = true;
    if (g_liveryHooks.repaint) g_liveryHooks.repaint();
    lf_freeScannedList();
}

}  // namespace qel
