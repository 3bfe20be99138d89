// The livery database: the installed liveries by airline and model, the title indexes the
// matchers search, the similar-model and per-category model lists, and the registration-code
// table that ties a real aircraft to the livery showing it.
//
// Threads: built and emptied on the start-up thread while no aircraft exists; read without locks
// by the main-loop thread (the matchers) afterwards. Other threads only raise the atomic request
// flag of gf_requestLiveryDbClear. Every title view of this subsystem and every FlightData title
// points into the titles of g_liveryDb, so those strings stay in place from the build until
// gf_clearLiveryDb.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "foundation/settings.h"
#include "liveries/liveries.h"
#include "liveries/scanned_liveries.h"

namespace qel {

// A livery title by pointer and length into g_liveryDb.
using TitleView = std::string_view;
using TitleList = std::vector<TitleView>;
using ModelIdList = std::vector<uint16_t>;

// One installed livery under its airline and model.
struct LiveryDbEntry {
    std::string title;  // "FSLTL A320 Air France SL", capacity shrunk to its length
    uint8_t cargo = 0;  // 1 for a freighter livery
};

using ModelEntries = std::unordered_map<uint16_t, std::vector<LiveryDbEntry>>;
using ModelTitles = std::unordered_map<uint16_t, TitleList>;

// ---- The database (start-up thread builds, main-loop thread reads) --------------------------

// Airline id → model id → entries. A livery flown by an operator for an airline is filed under
// the combined code (airline code followed by operator code, e.g. "AALJIA"); "ZZZ" holds the
// generic liveries.
extern std::unordered_map<uint16_t, ModelEntries> g_liveryDb;
// [0] passenger, [1] cargo: airline id → model id → titles. An airline is present in a class
// only with at least one title of that class.
extern std::array<std::unordered_map<uint16_t, ModelTitles>, 2> g_airlineModelTitles;
// [0] passenger, [1] cargo: model id → titles of every airline.
extern std::array<ModelTitles, 2> g_modelTitles;
// Models with at least one livery, sorted and unique, of size category 0 (Light), 1 (Buzjets)
// and 5 (Rotorcraft), in that order.
extern std::array<ModelIdList, 3> g_categoryModels;
// Model id → its similar models that have at least one livery installed.
extern std::unordered_map<uint16_t, ModelIdList> g_similarModels;
// Airline id → model id the airline has no livery of → its similar models the airline has.
extern std::unordered_map<uint16_t, std::unordered_map<uint16_t, ModelIdList>>
    g_airlineSimilarModels;
// The build has run (atomic); a rebuild needs gf_requestLiveryDbClear first.
extern std::atomic<bool> g_liveriesProcessed;
// Livery counts for the window: liveries read at the last build (atomic).
extern std::atomic<std::size_t> g_liveryDbCount;
// The liveries known as the window's status strip shows them; the core writes it when a scan
// or a build ends. The process's: a restart keeps it (atomic).
extern std::atomic<uint64_t> g_shownLiveryCount;

// ---- The registration-code table (same threads as the database) -----------------------------

using RegcodeMap =
    std::unordered_map<std::string, TitleView, TransparentStringHash, std::equal_to<>>;
extern RegcodeMap g_regcodes;                                            // registration → title
extern std::unordered_map<TitleView, std::string> g_titleRegistrations;  // in-line codes only
extern std::set<std::string, std::less<>> g_specialRegcodes;  // every code of a special record
// The single code of each special record with exactly one code: matched as step 0.
extern std::set<std::string, std::less<>> g_specialRegistrations;
// Titles of special records: reached only through their registrations, never picked at random
// while another title is left.
extern std::unordered_set<TitleView> g_dontUseTitles;
// Titles the regcode files list without a code; the livery scan leaves them out. Managed by the
// scan, not emptied by gf_clearLiveryDb.
extern std::vector<std::string> g_excludedTitles;
// Report lines of the offline regcode processing (OfflineRegcodes.txt).
extern std::vector<std::string> g_regcodeReport;

// ---- What the database needs of the layers above, filled in by the program at start ---------

struct LiveryHooks {
    // The simulator refused to create this title before (the simulator link's failed list).
    std::function<bool(std::string_view title)> titleRefused;
    // Texts of the aircraft the simulator could not create, for the match summary.
    std::function<std::vector<std::string>()> uncreatedAircraft;
    // A category option's check box enabled or disabled.
    std::function<void(const ControlBinding& option, bool on)> enableOption;
    // The window's livery count changed; repaint its status.
    std::function<void()> repaint;
    // A text for the window's message line.
    std::function<void(std::string_view text)> showMessage;
};
// Written once at start before any other thread runs; empty hooks do nothing.
extern LiveryHooks g_liveryHooks;

// ---- Operations ------------------------------------------------------------------------------

// The whole build from LiveriesScanned.xml, once per start of the traffic engine (start-up
// thread): skips when already built, always frees the scanned list.
// Throws qel::UserErrorException from reading the scanned list.
void lf_processScannedLiveries();
// Steps of the build after the scanned list was read: the database, its indexes, the
// registration codes, the similar-model and category lists, with their log lines. Start-up
// thread, on an empty database.
void gf_buildLiveryDb(const LiveryList& liveries);
// Empties the database, its indexes, the registration-code table and the similar-model lists.
// Start-up thread only, while no aircraft, create request or pending creation holds a title.
void gf_clearLiveryDb();
// Any thread (the window's handlers): the database is to be emptied and built again in the
// next run, whose scan may bring new liveries.
void gf_requestLiveryDbClear();
// Empties the database when a clear was asked for. Start-up thread, where no aircraft, create
// request or pending creation holds a title: after close-down's traffic reset, and at the start
// of a run before its scan. A request made during a run is so never served by that run's own
// build, which may read the scan the request means to replace.
void gf_serveLiveryDbClear();
// Reserves the database's containers once per process.
void gf_reserveLiveryContainers();

// The stored view of the title, equal byte for byte; empty when not installed. The first in
// map order wins, as a walk of g_liveryDb would find it.
TitleView gf_findLiveryByTitle(std::string_view title);
// g_liveryDb has entries for the airline and model.
bool gf_hasLivery(uint16_t airlineId, uint16_t modelId);
// A random model with liveries of category 0, 1 or 5; 0 when there is none or for another
// category. Uses the calling thread's engine.
uint16_t gf_randomCategoryModel(int category);
// The airline id under which the database files a livery: the airline's, or for an operator
// flying for it the combined code's. Interns the combined code.
uint16_t gf_liveryDbAirline(const MatchKey& key);

// The registrations the scanned liveries carry into g_regcodes and g_titleRegistrations; the
// clashes go to InlineRegcodes.txt.
void lf_processInlineRegcodes(const LiveryList& liveries);
// Regcode records (title, codes, special flag) merged into the table; report lines added.
void gf_mergeRegcodeRecords(const std::vector<RegcodeRecord>& records);
// The AIG file and the my_regcodes folder into the table; writes OfflineRegcodes.txt.
void lf_processOfflineRegcodes();
// Don't-use titles (records without codes) into g_excludedTitles, for the livery scan.
void lf_readDontUseTitlesAig();
void lf_readDontUseTitlesFolder();

}  // namespace qel
