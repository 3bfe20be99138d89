// The livery database's similar-model lists and what the build reports per size category:
// the counts, the models, and the category options switched off when nothing is installed.
//
// Threads: the start-up thread, inside the build.
#include <algorithm>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/window_status.h"
#include "liveries/livery_db.h"
#include "liveries/livery_db_build.h"

namespace qel {

namespace {

constexpr std::size_t lf_codesPerLine = 20;
constexpr std::array<std::string_view, 6> lf_categoryNames = {"Light", "Buzjets",  "Large",
                                                              "Heavy", "HighPerf", "Rotorcraft"};

// The matching option of a category that may be missing, and the words of its log line.
struct CategoryOption {
    ControlBoolParameter* setting;
    std::string_view what;
};

std::optional<CategoryOption> lf_categoryOption(int category)
{
    switch (category) {
    case 0: return CategoryOption{&LIGHT_AIRCRAFT, "light aircraft"};
    case 4: return CategoryOption{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
    case 5: return CategoryOption{&HELICOPTERS, "Helicopters"};
    default: return std::nullopt;
    }
}

ModelIdList* lf_categoryList(int category)
{
    switch (category) {
    case 0: return &g_categoryModels[0];
    case 1: return &g_categoryModels[1];
    case 5: return &g_categoryModels[2];
    default: return nullptr;
    }
}

std::string_view lf_s(std::size_t count) { return count == 1 ? "" : "s"; }

// Lines of two spaces and up to 20 model codes separated by ",".
void lf_logModelCodes(const ModelIdList& models)
{
    for (std::size_t first = 0; first < models.size(); first += lf_codesPerLine) {
        std::string line = "  ";
        const std::size_t last = std::min(models.size(), first + lf_codesPerLine);
        for (std::size_t i = first; i < last; ++i) {
            if (i != first) line += ',';
            line += g_modelCodes.text(models[i]);
        }
        gf_log(line);
    }
}

void lf_sortUnique(ModelIdList& models)
{
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
}

void lf_enableOption(const std::optional<CategoryOption>& option, bool on)
{
    if (option && g_liveryHooks.enableOption) g_liveryHooks.enableOption(*option->setting, on);
}

// The category's option is switched off and greyed when nothing of it is installed, and
// enabled otherwise.
void lf_applyCategoryOption(int category, bool installed)
{
    const auto option = lf_categoryOption(category);
    if (!option) return;
    if (!installed && option->setting->current) {
        option->setting->current = false;
        gf_saveBoolParameter(*option->setting);
        // The check box keeps the mark it was made with: a first start would show the option
        // ticked beside its greyed label.
        gf_showBoolParameter(*option->setting);
        gf_log(fmt::format("{} temporarily switched off because you do not have {} installed",
                           option->setting->name, option->what));
    }
    lf_enableOption(option, installed);
}

void lf_reportMissingCategory(int category)
{
    gf_log(fmt::format("Category {}: No livery found",
                       lf_categoryNames.at(static_cast<std::size_t>(category))));
    lf_applyCategoryOption(category, false);
}

// Pax and cargo titles of the category's models, and the models.
std::array<std::size_t, 2> lf_categoryTitles(int category, ModelIdList* models)
{
    std::array<std::size_t, 2> titles{};
    for (std::size_t c = 0; c < 2; ++c) {
        for (const auto& [model, list] : g_modelTitles[c]) {
            if (gf_sizeCategory(model) != category) continue;
            titles[c] += list.size();
            if (models) models->push_back(model);
        }
    }
    return titles;
}

// The lines of the similar-type groups ("member,other,...") that name at least one other
// member with a livery, in ascending order.
std::set<std::string> lf_similarLines()
{
    const auto installed = [](const std::string& code) {
        const uint16_t id = gf_modelIndex(code);
        return g_modelTitles[0].contains(id) || g_modelTitles[1].contains(id);
    };
    std::set<std::string> lines;
    for (const auto& group : g_similarTypeGroups) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string line = group[i];
            for (std::size_t j = 0; j < group.size(); ++j) {
                if (j != i && installed(group[j])) line += "," + group[j];
            }
            if (line.find(',') != std::string::npos) lines.insert(std::move(line));
        }
    }
    return lines;
}

void lf_buildAirlineSimilarModels()
{
    std::vector<uint16_t> airlines;
    airlines.reserve(g_liveryDb.size());
    for (const auto& [airline, models] : g_liveryDb) airlines.push_back(airline);
    std::sort(airlines.begin(), airlines.end());
    for (const uint16_t airline : airlines) {
        std::unordered_map<uint16_t, ModelIdList> records;
        for (const auto& [model, similar] : g_similarModels) {
            if (gf_hasLivery(airline, model)) continue;
            ModelIdList collected;
            for (const uint16_t other : similar) {
                if (gf_hasLivery(airline, other)) collected.push_back(other);
            }
            if (!collected.empty()) records.emplace(model, std::move(collected));
        }
        if (!records.empty()) g_airlineSimilarModels.try_emplace(airline, std::move(records));
    }
}

}  // namespace

void lf_buildSimilarModels()
{
    for (const auto& line : lf_similarLines()) {
        std::vector<std::string> pieces;
        std::size_t start = 0;
        for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos;
             start = comma + 1) {
            pieces.push_back(line.substr(start, comma - start));
        }
        pieces.push_back(line.substr(start));
        ModelIdList others;
        for (std::size_t i = 1; i < pieces.size(); ++i) others.push_back(gf_modelIndex(pieces[i]));
        g_similarModels.try_emplace(gf_modelIndex(pieces.front()), std::move(others));
    }
    lf_buildAirlineSimilarModels();
    gf_log(fmt::format("{:5} similar model definitions", g_similarModels.size()));
}

void lf_reportCategory(int category)
{
    ModelIdList models;
    const auto titles = lf_categoryTitles(category, &models);
    if (titles[0] == 0 && titles[1] == 0) {
        lf_reportMissingCategory(category);
        return;
    }
    const std::string cargoPart =
        titles[1] == 0 ? std::string()
                       : fmt::format(" and {} cargo liverie{}", titles[1], lf_s(titles[1]));
    gf_log(fmt::format("Category {}: {} pax liverie{}{}",
                       lf_categoryNames.at(static_cast<std::size_t>(category)), titles[0],
                       lf_s(titles[0]), cargoPart));
    lf_sortUnique(models);
    if (ModelIdList* list = lf_categoryList(category)) {
        list->insert(list->end(), models.begin(), models.end());
    }
    lf_logModelCodes(models);
    lf_applyCategoryOption(category, true);
}

void lf_applyCategoryOptions()
{
    for (int category = 0; category <= 5; ++category) {
        const auto titles = lf_categoryTitles(category, nullptr);
        lf_applyCategoryOption(category, titles[0] != 0 || titles[1] != 0);
    }
}

void lf_reportGenericLiveries()
{
    const auto generic = g_airlineCodes.find("ZZZ");
    const auto airline = generic ? g_liveryDb.find(*generic) : g_liveryDb.end();
    if (airline == g_liveryDb.end()) {
        gf_log("No generic liveries");
        return;
    }
    ModelIdList models;
    for (const auto& [model, entries] : airline->second) models.push_back(model);
    lf_sortUnique(models);
    gf_log(fmt::format("{} model{} have a generic livery", models.size(), lf_s(models.size())));
    lf_logModelCodes(models);
}

}  // namespace qel
