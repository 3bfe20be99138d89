// The order of the libraries, and the project as CMake configures it for each build of CI.
// Threads: checkAll configures each option set on a std::async thread of its own, which runs one
// cmake into its own folder and shares nothing, so takes no lock; it ends with its configure,
// and what it throws reaches the caller through the future.
#include "layering/layer_check.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace qel::layers {

namespace fs = std::filesystem;
using nlohmann::json;

// simlink sits below realtraffic because the Traffic Reader posts the blocked-callsign notice
// into the simulator's result queue, which the link owns.
const std::vector<Library> kLibraries = {
    {"platform",
     0,
     {"clock.h", "controls.h", "disk.h", "folders.h", "process.h", "terminal.h", "text.h",
      "window.h"},
     {"window_headless.h"}},
    // Each topic header is part of the foundation's contract.
    {"foundation",
     1,
     {"aircraft_filter.h", "catalogue.h",     "codes.h",   "decrypt.h",    "download.h",
      "files.h",           "geodesy.h",       "globals.h", "halfhours.h",  "log.h",
      "match_key.h",       "parameters.h",    "random.h",  "run_state.h",  "run_values.h",
      "settings.h",        "shell.h",         "strings.h", "textfile.h",   "time.h",
      "version.h",         "window_status.h", "xml.h",     "zip_archive.h"},
     {}},
    // scenery.h with the four parts it includes; the scan, the packages folder and the stand
    // snapshot that the core and the traffic manager call.
    {"scenery",
     2,
     {"scenery.h", "closest_airport.h", "park_loading.h", "stand_file.h", "stand_places.h",
      "addon_archives.h", "install.h", "scan.h", "stand_snapshot.h"},
     {"bgl.h", "bgl_view.h", "publisher.h", "scan_pool.h", "scenery_run.h", "stand_overlaps.h"}},
    // liveries.h; the database, the record every aircraft begins with and the scan as the core
    // starts it.
    {"liveries",
     2,
     {"liveries.h", "flight_data.h", "livery_db.h", "livery_scan.h"},
     {"livery_parsing.h", "scanned_liveries.h"}},
    // simconnect.h: the simulator's interface, which the stand-in simulator serves.
    {"simlink", 3, {"simlink.h", "simconnect.h"}, {"link_internal.h", "link_run.h"}},
    {"realtraffic",
     4,
     {"realtraffic.h", "records.h"},
     {"decoding.h", "readers.h", "rt_connection.h", "rt_run.h"}},
    // traffic.h; the rooms of the traffic manager, each what it offers the others.
    {"traffic",
     5,
     {"traffic.h"},
     {"air_legs.h", "curve_geometry.h", "fleet.h", "ground_motion.h", "ground_pace.h",
      "live_road.h", "motion.h", "motion_math.h", "park_airports.h", "parked_plan.h",
      "sample_stream.h", "stands.h", "taxi_corners.h", "traffic_run.h"}},
    {"ui", 6, {"ui.h"}, {"paint.h", "ui_run.h", "updater.h"}},
    {"app", 7, {"app.h"}, {"core.h"}},
};

const Library* libraryNamed(std::string_view name)
{
    const auto found = std::find_if(kLibraries.begin(), kLibraries.end(),
                                    [&](const Library& library) { return library.name == name; });
    return found == kLibraries.end() ? nullptr : &*found;
}

std::string shownPath(const fs::path& file, const fs::path& root)
{
    const fs::path canonical = fs::weakly_canonical(file);
    const fs::path inside = canonical.lexically_relative(fs::weakly_canonical(root));
    const bool within = !inside.empty() && *inside.begin() != "..";
    return (within ? inside : canonical).generic_string();
}

std::string placeOf(const fs::path& file, int line, const fs::path& root)
{
    return shownPath(file, root) + ":" + std::to_string(line);
}

namespace {

json lf_readModelFile(const fs::path& path)
{
    std::ifstream file(path);
    return json::parse(file);
}

// "file:line" of an entry of a target's backtrace graph.
std::string lf_backtraceAt(const json& graph, const json& entry, const fs::path& root)
{
    if (!entry.is_number_integer()) return "?";
    const json& node = graph["nodes"][entry.get<std::size_t>()];
    if (!node.contains("line")) return "?";
    fs::path file = graph["files"][node["file"].get<std::size_t>()].get<std::string>();
    if (file.is_relative()) file = root / file;
    return placeOf(file, node["line"].get<int>(), root);
}

// The spellings of g++'s flags that reach files as an #include does: a header each source
// takes ("-include", and "-imacros", whose macros do), or an include folder. A short flag takes
// the rest of its word or the next word, a long one "=" and the rest or the next word. A long
// flag comes before another it begins with.
struct FlagSpelling {
    std::string_view flag;
    bool header;
};
const FlagSpelling kFlagSpellings[] = {
    {"--include-directory-after", false},
    {"--include-directory", false},
    {"--include", true},
    {"--imacros", true},
    {"-include", true},
    {"-imacros", true},
    {"-isystem", false},
    {"-iquote", false},
    {"-idirafter", false},
    {"-I", false},
};

// The headers and include folders a compile group's flags name.
void lf_readFlags(const json& group, const json& graph, const fs::path& root, Target& target)
{
    std::vector<std::pair<std::string, std::string>> words;  // a word, the command that added it
    for (const json& fragment : group.value("compileCommandFragments", json::array())) {
        const std::string where = lf_backtraceAt(graph, fragment.value("backtrace", json()), root);
        std::istringstream text(fragment["fragment"].get<std::string>());
        for (std::string word; text >> word;) words.emplace_back(word, where);
    }
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::string& where = words[k].second;
        for (const auto& [flag, header] : kFlagSpellings) {
            if (!words[k].first.starts_with(flag)) continue;
            std::string path = words[k].first.substr(flag.size());
            if (flag.starts_with("--")) {
                if (!path.empty() && !path.starts_with('=')) continue;
                if (!path.empty()) path.erase(0, 1);
            }
            if (path.empty() && k + 1 < words.size()) path = words[++k].first;
            (header ? target.forcedIncludes : target.includeFolders).push_back({path, where});
            break;
        }
    }
}

Target lf_readTarget(const json& model, const fs::path& root)
{
    Target target;
    target.name = model["name"];
    target.type = model["type"];
    target.folder = model["paths"]["source"].get<std::string>();
    if (target.folder == ".") target.folder.clear();
    target.buildFolder = model["paths"]["build"].get<std::string>();
    const bool archived = target.type == "STATIC_LIBRARY";
    for (const json& artifact : model.value("artifacts", json::array())) {
        if (archived) target.archives.push_back(artifact["path"].get<std::string>());
    }
    const json& graph = model["backtraceGraph"];
    for (const json& source : model.value("sources", json::array())) {
        const fs::path path = source["path"].get<std::string>();
        target.sources.push_back({path.is_relative() ? root / path : path,
                                  lf_backtraceAt(graph, source.value("backtrace", json()), root)});
    }
    for (const json& group : model.value("compileGroups", json::array())) {
        for (const json& include : group.value("includes", json::array())) {
            target.includeFolders.push_back(
                {include["path"].get<std::string>(),
                 lf_backtraceAt(graph, include.value("backtrace", json()), root)});
        }
        for (const json& header : group.value("precompileHeaders", json::array())) {
            target.forcedIncludes.push_back(
                {header["header"].get<std::string>(),
                 lf_backtraceAt(graph, header.value("backtrace", json()), root)});
        }
        lf_readFlags(group, graph, root, target);
    }
    return target;
}

// Every target of the file API's reply in `build`.
std::vector<Target> lf_readTargets(const fs::path& root, const fs::path& build)
{
    const fs::path reply = build / ".cmake/api/v1/reply";
    fs::path index;
    for (const auto& entry : fs::directory_iterator(reply)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("index-") && (index.empty() || entry.path() > index)) {
            index = entry.path();
        }
    }
    if (index.empty()) throw std::runtime_error("no file API reply in " + reply.string());
    const json codemodel = lf_readModelFile(
        reply / lf_readModelFile(index)["reply"]["client-vntq"]["codemodel-v2"]["jsonFile"]
                    .get<std::string>());
    std::vector<Target> targets;
    for (const json& target : codemodel["configurations"][0]["targets"]) {
        targets.push_back(
            lf_readTarget(lf_readModelFile(reply / target["jsonFile"].get<std::string>()), root));
    }
    return targets;
}

int lf_run(const std::string& command, const fs::path& output)
{
    return std::system((command + " > \"" + output.string() + "\" 2>&1").c_str());
}

}  // namespace

// The lines "run <folder> <options>..." of scripts/test, after the environment they may set.
std::vector<std::string> ciOptionSets(const fs::path& root)
{
    std::vector<std::string> sets;
    std::istringstream script(test::readFile(root / "scripts/test"));
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string word;
        while (words >> word && word.find('=') != std::string::npos) {
        }
        std::string folder;
        if (word != "run" || !(words >> folder)) continue;
        std::string options;
        while (words >> word) options += (options.empty() ? "" : " ") + word;
        sets.push_back(options);
    }
    if (sets.empty()) throw std::runtime_error("scripts/test makes no build");
    return sets;
}

Configured configure(const fs::path& root, const fs::path& build, const std::string& options)
{
    const fs::path query = build / ".cmake/api/v1/query/client-vntq/codemodel-v2";
    fs::create_directories(query.parent_path());
    test::writeFile(query, "");
    const std::string command = std::string("\"") + VNTQ_CMAKE_COMMAND + "\" -S \"" +
                                root.string() + "\" -B \"" + build.string() + "\" -G \"" +
                                VNTQ_CMAKE_GENERATOR + "\" -DCMAKE_CXX_COMPILER=\"" +
                                VNTQ_CXX_COMPILER + "\" -DVNTQ_CCACHE=OFF " + options +
                                " --trace-expand --trace-format=json-v1 --trace-redirect=\"" +
                                (build / "trace.json").string() + "\"";
    if (lf_run(command, build / "configure.txt") != 0) {
        throw std::runtime_error("configure failed: " + test::readFile(build / "configure.txt"));
    }
    return {options, build, lf_readTargets(root, build)};
}

void build(const Configured& configured, const std::vector<std::string>& targets)
{
    std::string command = std::string("\"") + VNTQ_CMAKE_COMMAND + "\" --build \"" +
                          configured.build.string() + "\" --target";
    for (const auto& target : targets) command += " " + target;
    if (lf_run(command, configured.build / "build.txt") != 0) {
        throw std::runtime_error("build failed: " + test::readFile(configured.build / "build.txt"));
    }
}

std::vector<std::string> checkAll(const fs::path& root, const fs::path& scratch,
                                  const fs::path& binary)
{
    // The configures run side by side: each is a few seconds of one core.
    const std::vector<std::string> sets = ciOptionSets(root);
    std::vector<std::future<Configured>> pending;
    for (std::size_t k = 0; k < sets.size(); ++k) {
        pending.push_back(std::async(std::launch::async, [&, k] {
            return configure(root, scratch / ("build" + std::to_string(k)), sets[k]);
        }));
    }
    std::vector<Configured> builds;
    for (auto& configured : pending) builds.push_back(configured.get());

    std::vector<std::string> faults = checkIncludes(root, builds, binary);
    std::vector<std::string> plain;
    for (const Configured& configured : builds) {
        for (std::string fault : checkLinks(root, configured)) {
            if (&configured == &builds.front()) {
                plain.push_back(fault);
            } else if (std::find(plain.begin(), plain.end(), fault) == plain.end()) {
                fault += " (configured with " + configured.options + ")";
            }
            faults.push_back(fault);
        }
    }
    if (!binary.empty()) {
        // The build in `binary` was made with one of the sets; each target is looked for there.
        Configured every = builds.front();
        for (const Configured& configured : builds) {
            for (const Target& target : configured.targets) {
                const auto same = [&](const Target& known) { return known.name == target.name; };
                if (std::none_of(every.targets.begin(), every.targets.end(), same)) {
                    every.targets.push_back(target);
                }
            }
        }
        for (const auto& fault : checkSymbols(root, every, binary)) faults.push_back(fault);
    }
    std::sort(faults.begin(), faults.end());
    faults.erase(std::unique(faults.begin(), faults.end()), faults.end());
    return faults;
}

}  // namespace qel::layers
