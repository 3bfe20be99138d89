// The libraries under src/ include and link one way only, lowest first, and every folder uses
// only what a library shows. This reads every #include of src/, tests/, bench/, standins/ and
// tools/ (both forms), and the link graph and include folders CMake itself builds, and names each
// edge against the order with its file and line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The libraries, lowest first; libraries on one level may not use each other. simlink sits below
// realtraffic because the Traffic Reader posts the blocked-callsign notice into the simulator's
// result queue, which the link owns.
//   shown: the headers any higher library and any other folder may include.
//   forTests: internals that the tests, fuzz targets and benchmarks drive directly; no library
//   and no stand-in or tool includes them.
// Every other header of a library is its own.
struct Library {
    std::string_view name;
    int level;
    std::vector<std::string_view> shown;
    std::vector<std::string_view> forTests;
};

const std::vector<Library> kLibraries = {
    {"platform",
     0,
     {"clock.h", "controls.h", "disk.h", "folders.h", "process.h", "text.h", "window.h"},
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
     {"fleet.h", "live_road.h", "motion.h", "motion_math.h", "park_airports.h", "parked_plan.h",
      "stands.h", "traffic_run.h"}},
    {"ui", 6, {"ui.h"}, {"paint.h", "ui_run.h", "updater.h"}},
    {"app", 7, {"app.h"}, {"core.h"}},
};

// The folders whose files are read; only tests/ and bench/ may include what is for tests.
const std::vector<std::string_view> kFolders = {"src", "tests", "bench", "standins", "tools"};

const Library* lf_library(std::string_view name)
{
    const auto found = std::find_if(kLibraries.begin(), kLibraries.end(),
                                    [&](const Library& library) { return library.name == name; });
    return found == kLibraries.end() ? nullptr : &*found;
}

bool lf_lists(const std::vector<std::string_view>& headers, std::string_view header)
{
    return std::find(headers.begin(), headers.end(), header) != headers.end();
}

// The text between the quotes or angle brackets of an include line; nothing for another line,
// and an empty text for an include whose name the check cannot read (a macro).
std::optional<std::string> lf_includedName(std::string_view line, bool& quoted)
{
    const auto skipBlanks = [&] {
        line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    };
    skipBlanks();
    if (!line.starts_with('#')) return std::nullopt;
    line.remove_prefix(1);
    skipBlanks();
    if (!line.starts_with("include")) return std::nullopt;
    line.remove_prefix(7);
    skipBlanks();
    quoted = line.starts_with('"');
    if (!quoted && !line.starts_with('<')) return std::string();
    const auto end = line.find(quoted ? '"' : '>', 1);
    if (end == std::string_view::npos) return std::string();
    return std::string(line.substr(1, end - 1));
}

// The header an include reaches, relative to the root: a quoted name beside the including file
// first, then (both forms) below src/, tests/ and the root, as the build's include folders
// have it. A name that exists nowhere counts as below src/ when it starts with a library's name,
// so that a missing header does not slip through either.
std::optional<fs::path> lf_reached(const fs::path& root, const fs::path& includer,
                                   const std::string& name, bool quoted)
{
    std::vector<fs::path> candidates;
    if (quoted) candidates.push_back(includer.parent_path() / name);
    for (const char* base : {"src", "tests", ""}) candidates.push_back(root / base / name);
    for (const auto& candidate : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) {
            return fs::weakly_canonical(candidate).lexically_relative(fs::weakly_canonical(root));
        }
    }
    const fs::path named(name);
    if (named.begin() != named.end() && lf_library(named.begin()->string()) != nullptr) {
        return fs::path("src") / named;
    }
    return std::nullopt;
}

// One fault or none for an include of `header` (src/<library>/<file>) by a file of `folder`
// (src/<from>/ for a library, else the top folder).
std::optional<std::string> lf_judge(std::string_view folder, std::string_view from,
                                    const fs::path& header)
{
    auto part = header.begin();
    if (part == header.end() || *part != "src" || ++part == header.end()) return std::nullopt;
    const Library* to = lf_library(part->string());
    if (to == nullptr || ++part == header.end()) return std::nullopt;
    fs::path inside;
    for (; part != header.end(); ++part) inside /= *part;
    const std::string file = inside.generic_string();  // "clock.h", or "rooms/fleet.h"
    const std::string shown = std::string(to->name) + "/" + file;
    if (folder == "src") {
        const Library* self = lf_library(from);
        if (self == nullptr) return std::string(from) + " is missing from the layer order";
        if (self == to) return std::nullopt;
        if (to->level >= self->level) {
            return std::string(from) + " includes " + shown + ", which is not below it";
        }
    }
    if (lf_lists(to->shown, file)) return std::nullopt;
    if (!lf_lists(to->forTests, file)) return shown + " is private to " + std::string(to->name);
    if (folder == "tests" || folder == "bench") return std::nullopt;
    return shown + " is for the tests of " + std::string(to->name) + " only";
}

// One text per include against the rules: "src/ui/a.cpp:3: ui includes app/app.h, ...".
std::vector<std::string> lf_checkIncludes(const fs::path& root)
{
    std::vector<std::string> faults;
    for (std::string_view folder : kFolders) {
        if (!fs::is_directory(root / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".hpp" && ext != ".cpp")) {
                continue;
            }
            const fs::path relative = entry.path().lexically_relative(root);
            const std::string from =
                folder == "src" ? std::next(relative.begin())->string() : std::string(folder);
            std::ifstream file(entry.path());
            std::string line;
            for (int number = 1; std::getline(file, line); ++number) {
                bool quoted = false;
                const auto name = lf_includedName(line, quoted);
                if (!name) continue;
                const std::string where = relative.generic_string() + ":" + std::to_string(number);
                if (name->empty()) {
                    faults.push_back(where + ": an include the check cannot read: " + line);
                    continue;
                }
                const auto header = lf_reached(root, entry.path(), *name, quoted);
                if (!header) continue;
                if (const auto fault = lf_judge(folder, from, *header)) {
                    faults.push_back(where + ": " + *fault);
                }
            }
        }
    }
    std::sort(faults.begin(), faults.end());
    return faults;
}

json lf_readJson(const fs::path& path)
{
    std::ifstream file(path);
    return json::parse(file);
}

std::string lf_relative(const fs::path& file, const fs::path& root)
{
    return (file.is_absolute() ? file.lexically_relative(root) : file).generic_string();
}

// Where one link of a target was made: "src/foundation/CMakeLists.txt:2".
struct Link {
    std::string from;
    std::string to;
    std::string where;
};

// The commands that make a target link or depend on another: the project's vntq_library, an
// alias of a library, and CMake's own.
bool lf_links(const std::string& command, const json& args)
{
    if (command == "set_property") {
        return args.size() > 1 && args[0] == "TARGET";
    }
    if (command == "add_library") {
        return args.size() > 2 && args[1] == "ALIAS";
    }
    if (command == "link_libraries") return true;
    return command == "target_link_libraries" || command == "add_dependencies" ||
           command == "vntq_library" || command == "set_target_properties";
}

// The links the project's own commands make, read from the configure's trace (every command
// with its arguments expanded). A command inside a helper function (cmake/*.cmake) is named
// where the helper was called, in a CMakeLists.txt.
std::vector<Link> lf_tracedLinks(const fs::path& trace, const fs::path& root)
{
    std::vector<Link> links;
    std::vector<json> stack;  // the latest command of each global frame
    std::ifstream file(trace);
    std::string line;
    while (std::getline(file, line)) {
        const json entry = json::parse(line, nullptr, false);
        if (!entry.is_object() || !entry.contains("global_frame")) continue;
        const auto depth = entry["global_frame"].get<std::size_t>();
        stack.resize(depth);
        stack[depth - 1] = entry;
        const std::string command = entry["cmd"];
        const json& args = entry["args"];
        if (args.empty() || !lf_links(command, args)) continue;
        std::string from = args[0];
        std::size_t first = 1;
        if (command == "set_property") {  // set_property(TARGET <name> ... PROPERTY <p> <v>...)
            from = args[1];
            first = 2;
        } else if (command == "link_libraries") {  // for the targets of the folder that says it
            const fs::path folder = lf_relative(entry["file"].get<std::string>(), root);
            from = std::next(folder.begin())->string();
            first = 0;
        }
        auto frame = stack.rbegin();
        while (frame != stack.rend() &&
               fs::path((*frame)["file"].get<std::string>()).filename() != "CMakeLists.txt") {
            ++frame;
        }
        const json& at = frame == stack.rend() ? entry : *frame;
        const std::string where = lf_relative(at["file"].get<std::string>(), root) + ":" +
                                  std::to_string(at["line"].get<int>());
        // Every name in the arguments, also inside ";" lists and generator expressions
        // ("$<LINK_ONLY:ui>"); "::" belongs to a name.
        for (std::size_t k = first; k < args.size(); ++k) {
            const std::string text = args[k].get<std::string>() + ";";
            std::string token;
            for (std::size_t c = 0; c < text.size(); ++c) {
                if (std::isalnum(static_cast<unsigned char>(text[c])) != 0 || text[c] == '_') {
                    token += text[c];
                } else if (text.compare(c, 2, "::") == 0) {
                    token += "::";
                    ++c;
                } else if (!token.empty()) {
                    links.push_back({from, token, where});
                    token.clear();
                }
            }
        }
    }
    return links;
}

// The libraries a library links: each with the link that leads to it, through other targets
// (a helper, an alias) but not through another library, whose own links are judged on their own.
std::vector<std::pair<const Library*, std::string>> lf_linkedLibraries(
    const std::vector<Link>& links, const Library& library)
{
    std::vector<std::pair<const Library*, std::string>> found;
    std::vector<std::pair<std::string, const Link*>> queue;  // a target, the chain's first link
    std::vector<std::string> seen{std::string(library.name)};
    for (const Link& link : links) {
        if (link.from == library.name) queue.emplace_back(link.to, &link);
    }
    for (std::size_t k = 0; k < queue.size(); ++k) {
        const auto [name, first] = queue[k];
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) continue;
        seen.push_back(name);
        if (const Library* other = lf_library(name)) {
            found.emplace_back(other, first->to == name
                                          ? first->where
                                          : first->where + " (through " + first->to + ")");
            continue;
        }
        for (const Link& link : links) {
            if (link.from == name) queue.emplace_back(link.to, first);
        }
    }
    return found;
}

// "file:line" of an entry of a target's backtrace graph.
std::string lf_where(const json& graph, const json& entry, const fs::path& root)
{
    if (!entry.is_number_integer()) return "?";
    const json& node = graph["nodes"][entry.get<std::size_t>()];
    if (!node.contains("line")) return "?";
    return lf_relative(graph["files"][node["file"].get<std::size_t>()].get<std::string>(), root) +
           ":" + std::to_string(node["line"].get<int>());
}

// Configures the project at `root` into `build`, asking CMake's file API for the code model
// and tracing every command into build/trace.json.
void lf_configure(const fs::path& root, const fs::path& build)
{
    const fs::path query = build / ".cmake/api/v1/query/client-vntq/codemodel-v2";
    fs::create_directories(query.parent_path());
    test::writeFile(query, "");
    const std::string command =
        std::string("\"") + VNTQ_CMAKE_COMMAND + "\" -S \"" + root.string() + "\" -B \"" +
        build.string() + "\" -G \"" + VNTQ_CMAKE_GENERATOR + "\" -DCMAKE_CXX_COMPILER=\"" +
        VNTQ_CXX_COMPILER + "\" -DVNTQ_CCACHE=OFF --trace-expand --trace-format=json-v1 " +
        "--trace-redirect=\"" + (build / "trace.json").string() + "\" > \"" +
        (build / "configure.txt").string() + "\" 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("configure failed: " + test::readFile(build / "configure.txt"));
    }
}

// One text per library that links (also through other targets) one that is not below it, from
// the trace, and per include folder inside a library's folder that another target takes (its
// headers would be reached by bare name, around the include check), from CMake's own model of
// the configured build.
std::vector<std::string> lf_checkLinks(const fs::path& root, const fs::path& build)
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
    const json model = lf_readJson(
        reply /
        lf_readJson(index)["reply"]["client-vntq"]["codemodel-v2"]["jsonFile"].get<std::string>());
    std::vector<json> targets;
    for (const json& target : model["configurations"][0]["targets"]) {
        targets.push_back(lf_readJson(reply / target["jsonFile"].get<std::string>()));
    }
    std::vector<std::string> faults;
    const std::vector<Link> links = lf_tracedLinks(build / "trace.json", root);
    for (const Library& library : kLibraries) {
        for (const auto& [to, where] : lf_linkedLibraries(links, library)) {
            if (to->level < library.level) continue;
            faults.push_back(where + ": " + std::string(library.name) + " links " +
                             std::string(to->name) + ", which is not below it");
        }
    }
    const fs::path src = fs::weakly_canonical(root / "src");
    for (const json& target : targets) {
        const std::string name = target["name"];
        const std::string folder = target["paths"]["source"];
        const Library* self = folder == "src/" + name ? lf_library(name) : nullptr;
        const json& graph = target["backtraceGraph"];
        for (const json& group : target.value("compileGroups", json::array())) {
            for (const json& include : group.value("includes", json::array())) {
                const fs::path path = fs::weakly_canonical(include["path"].get<std::string>());
                const fs::path inside = path.lexically_relative(src);
                if (inside.empty() || *inside.begin() == ".." || inside == ".") continue;
                if (self != nullptr && *inside.begin() == self->name) continue;
                faults.push_back(lf_where(graph, include.value("backtrace", json()), root) + ": " +
                                 name + " takes src/" + inside.generic_string() +
                                 " as an include folder");
            }
        }
    }
    std::sort(faults.begin(), faults.end());
    faults.erase(std::unique(faults.begin(), faults.end()), faults.end());
    return faults;
}

TEST(Layers, TheTreeKeepsThem)
{
    for (const auto& fault : lf_checkIncludes(VNTQ_SOURCE_DIR)) ADD_FAILURE() << fault;
    test::TempDir build;
    lf_configure(VNTQ_SOURCE_DIR, build.path());
    for (const auto& fault : lf_checkLinks(VNTQ_SOURCE_DIR, build.path())) ADD_FAILURE() << fault;
}

TEST(Layers, NamesEveryFaultWithItsFileAndLine)
{
    test::TempDir root;
    const auto write = [&](const char* path, const std::string& text) {
        fs::create_directories((root / path).parent_path());
        test::writeFile(root / path, text);
    };
    write("src/platform/clock.h", "#pragma once\n");
    write("src/foundation/log.h", "#pragma once\n");
    write("src/traffic/traffic.h", "#include \"foundation/log.h\"\n");
    write("src/traffic/aircraft.h", "#pragma once\n");
    write("src/traffic/fleet.h", "#include \"traffic/aircraft.h\"\n");
    write("src/traffic/fleet.cpp", "#include \"fleet.h\"\n");
    write("src/ui/ui.h", "#include \"traffic/traffic.h\"\n");
    write("src/foundation/log.cpp",
          "#include <vector>\n"
          "#include \"platform/clock.h\"\n"
          "#include \"foundation/log.h\"\n"
          "#include <ui/ui.h>\n"
          "  #  include \"ui/ui.h\"\n"
          "// #include \"ui/ui.h\" in a comment is no include\n"
          "#include VNTQ_HEADER\n");
    write("src/extra/x.cpp", "#include \"platform/clock.h\"\n");
    write("tests/traffic/fleet_test.cpp",
          "#include \"traffic/fleet.h\"\n"
          "#include \"traffic/aircraft.h\"\n"
          "#include \"../../src/traffic/aircraft.h\"\n");
    write("standins/sim/sim.cpp",
          "#include \"traffic/traffic.h\"\n"
          "#include \"traffic/fleet.h\"\n");

    write("CMakeLists.txt",
          "cmake_minimum_required(VERSION 3.25)\n"
          "project(layers LANGUAGES CXX)\n"
          "include(" VNTQ_SOURCE_DIR
          "/cmake/VntqLibrary.cmake)\n"
          "add_subdirectory(src/foundation)\n"
          "add_subdirectory(src/traffic)\n"
          "add_subdirectory(tests/traffic)\n");
    write("src/foundation/CMakeLists.txt",
          "vntq_library(foundation)\n"
          "target_link_libraries(foundation\n"
          "    PUBLIC traffic)\n");
    write("src/traffic/CMakeLists.txt", "vntq_library(traffic foundation)\n");
    write("tests/traffic/CMakeLists.txt",
          "add_executable(fleet_test fleet_test.cpp)\n"
          "target_include_directories(fleet_test PRIVATE ${PROJECT_SOURCE_DIR}/src/traffic)\n");

    EXPECT_EQ(lf_checkIncludes(root.path()),
              (std::vector<std::string>{
                  "src/extra/x.cpp:1: extra is missing from the layer order",
                  "src/foundation/log.cpp:4: foundation includes ui/ui.h, which is not below it",
                  "src/foundation/log.cpp:5: foundation includes ui/ui.h, which is not below it",
                  "src/foundation/log.cpp:7: an include the check cannot read: #include "
                  "VNTQ_HEADER",
                  "standins/sim/sim.cpp:2: traffic/fleet.h is for the tests of "
                  "traffic only",
                  "tests/traffic/fleet_test.cpp:2: traffic/aircraft.h is private to traffic",
                  "tests/traffic/fleet_test.cpp:3: traffic/aircraft.h is private to traffic",
              }));
    test::TempDir build;
    lf_configure(root.path(), build.path());
    EXPECT_EQ(lf_checkLinks(root.path(), build.path()),
              (std::vector<std::string>{
                  "src/foundation/CMakeLists.txt:2: foundation links traffic, which is not below "
                  "it",
                  "tests/traffic/CMakeLists.txt:2: fleet_test takes src/traffic as an include "
                  "folder",
              }));
}

}  // namespace
}  // namespace qel
