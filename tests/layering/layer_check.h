// The layer check: the libraries under src/ include, link and call one way only, lowest first,
// and every folder uses only what a library shows. The check reads the project as its build
// sees it: every file a target compiles or includes, the link graph of each option set CI
// configures, and the symbols each library's archive leaves undefined.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qel::layers {

// One library of the order.
//   shown: the headers any higher library and any other folder may include.
//   forTests: internals that the tests, fuzz targets and benchmarks drive directly; no library
//   and no stand-in or tool includes them.
// Every other header of a library is its own.
struct Library {
    std::string_view name;
    int level;  // 0 for the lowest; libraries on one level may not use each other
    std::vector<std::string_view> shown;
    std::vector<std::string_view> forTests;
};

extern const std::vector<Library> kLibraries;

// The library of that name, or nullptr.
const Library* libraryNamed(std::string_view name);

// A path as faults name it: relative to the root when inside it. placeOf adds ":line".
std::string shownPath(const std::filesystem::path& file, const std::filesystem::path& root);
std::string placeOf(const std::filesystem::path& file, int line, const std::filesystem::path& root);

// One target of a configured build, as CMake's file API describes it. Paths are absolute.
struct Target {
    struct Placed {
        std::filesystem::path path;
        std::string where;  // the CMake command that put it there: "src/ui/CMakeLists.txt:4"
    };
    std::string name;
    std::string type;                             // "STATIC_LIBRARY", "EXECUTABLE", ...
    std::filesystem::path folder;                 // where it is defined: "src/app", "" for the root
    std::filesystem::path buildFolder;            // its folder in the build, relative to it
    std::vector<std::filesystem::path> archives;  // relative to the build: "src/ui/libui.a"
    std::vector<Placed> sources;                  // what it compiles or lists
    std::vector<Placed> includeFolders;           // also those its flags name (-I, -isystem)
    std::vector<Placed> forcedIncludes;           // what -include, -imacros or a pch brings in
};

// The project configured with one of the option sets that CI builds.
struct Configured {
    std::string options;          // "-DVNTQ_SANITIZE=thread -DVNTQ_BENCH=OFF"; empty: plain
    std::filesystem::path build;  // the configured folder, with the trace in trace.json
    std::vector<Target> targets;
};

// The options of each build scripts/test makes, in its order (the first is the plain build).
std::vector<std::string> ciOptionSets(const std::filesystem::path& root);

// Configures the project at `root` into `build` with `options`, tracing every command and
// reading back CMake's model of the targets. Throws std::runtime_error when the configure fails.
Configured configure(const std::filesystem::path& root, const std::filesystem::path& build,
                     const std::string& options);

// Builds `targets` of a configured build; throws std::runtime_error when that fails.
void build(const Configured& configured, const std::vector<std::string>& targets);

// Each check gives one text per fault, "src/ui/a.cpp:3: ui includes app/app.h, ...", sorted.
//   checkIncludes: every include of the files under src/, tests/, bench/, standins/ and tools/,
//   of every file a target compiles, and of every file those reach, judged as the folder that
//   reaches it (a file outside the libraries taken in by a library is judged as that library);
//   a file the build makes is read from `binary`, a build of the configured project, if given.
//   checkLinks: the links of the traced configure, the include folders and the sources each
//   target takes.
//   checkSymbols: each library's undefined symbols against those the project's targets define
//   in `binary`, a build of the configured project; a call from a library's header compiled
//   into a higher library counts as the header's library's.
std::vector<std::string> checkIncludes(const std::filesystem::path& root,
                                       const std::vector<Configured>& builds,
                                       const std::filesystem::path& binary);
std::vector<std::string> checkLinks(const std::filesystem::path& root, const Configured& build);
std::vector<std::string> checkSymbols(const std::filesystem::path& root, const Configured& build,
                                      const std::filesystem::path& binary);

// The objects of a library's `archive` named in `floors` (source files without ".cpp", lowest
// first) form floors: each calls only the functions that it or an object on a lower floor
// defines. One text per call sideways or up, "ground_pace.cpp calls qel::lf_startLeg(...), which
// sample_stream.cpp defines, on a floor not below it", and one per floor the archive lacks.
std::vector<std::string> checkFloors(const std::filesystem::path& archive,
                                     const std::vector<std::string_view>& floors);

// The three checks over every option set of CI (the root's scripts/test); a fault found only
// with the options of a later set names them. Files the build makes and symbols are read from
// `binary`; without one, the symbols are not checked.
std::vector<std::string> checkAll(const std::filesystem::path& root,
                                  const std::filesystem::path& scratch,
                                  const std::filesystem::path& binary);

}  // namespace qel::layers
