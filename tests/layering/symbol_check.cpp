// The call half of the layer check. A lower library that declares a function a higher one
// defines needs neither an include nor a link of its own (the program takes both), yet calls
// upward; so each library's undefined symbols, as nm reads its archive, must be defined in the
// library itself, in a lower one or outside the project's targets (a system library). A call
// that a lower library's header makes from an inline function or a template lands in the
// archive of whichever library compiles it; the line nm names for it says whose call it is.
#include "layering/layer_check.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace qel::layers {

namespace fs = std::filesystem;

namespace {

// The stand-in simulator is, on this platform, the simulator's client library that simlink
// wraps: what it defines counts as simlink's own.
const std::vector<std::pair<std::string_view, std::string_view>> kStandIns = {
    {"simstandin", "simlink"}};

// One symbol line of nm's portable output: "lib.a[member.o]: name type value size".
struct NmLine {
    std::string file;
    std::string member;  // empty for an object file
    std::string name;
    char type = '?';
};

// The lines nm writes for `arguments`, read through a pipe; a failed nm throws, as the check
// would otherwise pass on nothing read.
std::vector<std::string> lf_nmOutput(const std::string& arguments)
{
    const std::string command = std::string("\"") + VNTQ_NM + "\" " + arguments + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::vector<std::string> lines;
    std::string line;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        for (std::size_t k = 0; k < got; ++k) {
            if (buffer[k] != '\n') {
                line += buffer[k];
            } else {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
    }
    if (pclose(pipe.release()) != 0) throw std::runtime_error("failed: " + command);
    return lines;
}

std::vector<NmLine> lf_nm(const std::string& options, const std::vector<fs::path>& files)
{
    std::string arguments = "-A -P " + options;
    for (const auto& file : files) arguments += " \"" + file.string() + "\"";
    std::vector<NmLine> symbols;
    for (const auto& line : lf_nmOutput(arguments)) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos) continue;
        NmLine symbol;
        symbol.file = line.substr(0, colon);
        if (symbol.file.ends_with(']')) {
            const auto open = symbol.file.rfind('[');
            symbol.member = symbol.file.substr(open + 1, symbol.file.size() - open - 2);
            symbol.file.resize(open);
        }
        const auto space = line.find(' ', colon + 2);
        if (space == std::string::npos || space + 1 >= line.size()) continue;
        symbol.name = line.substr(colon + 2, space - colon - 2);
        symbol.type = line[space + 1];
        symbols.push_back(std::move(symbol));
    }
    return symbols;
}

// A definition another object's reference can bind to: global, weak or unique.
bool lf_defines(char type)
{
    return (type >= 'A' && type <= 'Z' && type != 'U' && type != 'N') || type == 'u' || type == 'i';
}

std::string lf_demangled(const std::string& name)
{
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> text(
        abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status), std::free);
    return status == 0 && text ? std::string(text.get()) : name;
}

// The files that hold what a target of `binary` compiled: a static library's archive, else the
// objects in its folder of the build. A target not built there has none.
std::vector<fs::path> lf_builtFiles(const Target& target, const fs::path& binary)
{
    std::vector<fs::path> files;
    std::error_code ec;
    if (target.type == "STATIC_LIBRARY") {
        for (const auto& archive : target.archives) {
            if (fs::is_regular_file(binary / archive, ec)) files.push_back(binary / archive);
        }
        return files;
    }
    if (target.type == "UTILITY" || target.type == "INTERFACE_LIBRARY") return files;
    const fs::path objects = binary / target.buildFolder / "CMakeFiles" / (target.name + ".dir");
    if (!fs::is_directory(objects, ec)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(objects)) {
        if (entry.is_regular_file() && entry.path().extension() == ".o") {
            files.push_back(entry.path());
        }
    }
    return files;
}

// The library a target's definitions count as: its own, the one a stand-in replaces, or none.
const Library* lf_countsAs(std::string_view target)
{
    for (const auto& [standIn, library] : kStandIns) {
        if (standIn == target) return libraryNamed(library);
    }
    return libraryNamed(target);
}

// The target whose definition of an undefined symbol of `library` it must not use, or nullptr
// when the library itself, a lower one or nothing in the project defines it.
const std::string* lf_wrongDefiner(const Library& library,
                                   const std::vector<const std::string*>& definers)
{
    const std::string* wrong = nullptr;
    for (const std::string* definer : definers) {
        const Library* as = lf_countsAs(*definer);
        if (as == &library || (as != nullptr && as->level < library.level)) return nullptr;
        if (wrong == nullptr) wrong = definer;
    }
    return wrong;
}

// "file:line" of each symbol nm lists for the archive with `options`, keyed "member name", from
// its line tables (nm -l names the line of a definition, or of a reference to an undefined one).
std::map<std::string, std::string> lf_symbolLines(const fs::path& archive,
                                                  const std::string& options, const fs::path& root)
{
    std::map<std::string, std::string> lines;
    const std::string prefix = archive.string() + ":";
    for (const auto& line : lf_nmOutput("-A -l " + options + " \"" + archive.string() + "\"")) {
        const auto tab = line.rfind('\t');
        const auto lineColon = line.rfind(':');
        if (!line.starts_with(prefix) || tab == std::string::npos || lineColon < tab) continue;
        const auto memberEnd = line.find(':', prefix.size());
        const std::string head = line.substr(0, tab);
        const std::string name = head.substr(head.find_last_of(' ') + 1);
        const std::string member = line.substr(prefix.size(), memberEnd - prefix.size());
        const int number = std::atoi(line.c_str() + lineColon + 1);
        lines[member + " " + name] =
            placeOf(line.substr(tab + 1, lineColon - tab - 1), number, root);
    }
    return lines;
}

// What the project's targets define, by symbol.
struct Definitions {
    std::unordered_map<std::string, std::vector<const std::string*>> any;  // target names
    std::unordered_map<std::string, std::vector<const std::string*>> strong;
    std::vector<std::pair<NmLine, const std::string*>> weak;  // the libraries' weak ones
};

Definitions lf_definitions(const Configured& configured, const fs::path& binary)
{
    std::vector<fs::path> files;
    std::unordered_map<std::string, const std::string*> targetOf;  // file -> target name
    for (const Target& target : configured.targets) {
        for (const auto& file : lf_builtFiles(target, binary)) {
            files.push_back(file);
            targetOf[file.string()] = &target.name;
        }
    }
    Definitions definitions;
    const auto add = [](std::vector<const std::string*>& names, const std::string* target) {
        if (std::find(names.begin(), names.end(), target) == names.end()) names.push_back(target);
    };
    for (NmLine& symbol : lf_nm("--defined-only", files)) {
        if (!lf_defines(symbol.type) || !targetOf.contains(symbol.file)) continue;
        const std::string* target = targetOf[symbol.file];
        add(definitions.any[symbol.name], target);
        if (symbol.type == 'W' || symbol.type == 'V') {
            if (libraryNamed(*target) != nullptr) {
                definitions.weak.emplace_back(std::move(symbol), target);
            }
        } else if (symbol.type >= 'A' && symbol.type <= 'Z') {
            add(definitions.strong[symbol.name], target);
        }
    }
    return definitions;
}

// The library whose folder holds the file of a place ("src/foundation/log.h:7"), or nullptr.
const Library* lf_libraryWriting(const std::string& place)
{
    if (!place.starts_with("src/")) return nullptr;
    const auto slash = place.find('/', 4);
    return slash == std::string::npos ? nullptr : libraryNamed(place.substr(4, slash - 4));
}

// The faults of one library's archive: each undefined symbol that only a higher library or a
// target outside the libraries defines, and each weak definition that one of those replaces in
// the program with a strong one (the library's own calls then go there as well). A call made
// from a lower library's header is judged as that library's too.
void lf_checkArchive(const Library& library, const fs::path& archive, const Definitions& defined,
                     const fs::path& root, std::vector<std::string>& faults)
{
    const auto useLines = lf_symbolLines(archive, "-u", root);
    const auto place = [&](const std::map<std::string, std::string>& lines, const NmLine& symbol) {
        const auto line = lines.find(symbol.member + " " + symbol.name);
        return line != lines.end() ? line->second
                                   : shownPath(symbol.file, root) + "(" + symbol.member + ")";
    };
    for (const NmLine& symbol : lf_nm("-u", {archive})) {
        const auto found = defined.any.find(symbol.name);
        if (found == defined.any.end()) continue;
        const std::string where = place(useLines, symbol);
        const Library* user = &library;
        const std::string* definer = lf_wrongDefiner(library, found->second);
        const Library* writer = lf_libraryWriting(where);
        if (definer == nullptr && writer != nullptr && writer->level < library.level) {
            user = writer;
            definer = lf_wrongDefiner(*writer, found->second);
        }
        if (definer == nullptr) continue;
        faults.push_back(where + ": " + std::string(user->name) + " uses " +
                         lf_demangled(symbol.name) + ", which " + *definer + " defines");
    }
    std::vector<std::pair<NmLine, const std::string*>> replaced;
    for (const auto& [symbol, target] : defined.weak) {
        const auto found = defined.strong.find(symbol.name);
        if (*target != library.name || found == defined.strong.end()) continue;
        if (const std::string* definer = lf_wrongDefiner(library, found->second)) {
            replaced.emplace_back(symbol, definer);
        }
    }
    if (!replaced.empty()) {
        const auto lines = lf_symbolLines(archive, "--defined-only", root);
        for (const auto& [symbol, definer] : replaced) {
            faults.push_back(place(lines, symbol) + ": " + std::string(library.name) + " defines " +
                             lf_demangled(symbol.name) + " weakly, and " + *definer +
                             " replaces it");
        }
    }
}

}  // namespace

std::vector<std::string> checkSymbols(const fs::path& root, const Configured& configured,
                                      const fs::path& binary)
{
    const Definitions defined = lf_definitions(configured, binary);
    std::vector<std::string> faults;
    for (const Target& target : configured.targets) {
        const Library* library = libraryNamed(target.name);
        if (library == nullptr || target.folder != "src/" + target.name) continue;
        for (const auto& archive : target.archives) {
            if (fs::is_regular_file(binary / archive)) {
                lf_checkArchive(*library, binary / archive, defined, root, faults);
            } else {
                faults.push_back(shownPath(binary / archive, root) + ": " + target.name +
                                 " is not built, so its calls are not checked");
            }
        }
    }
    std::sort(faults.begin(), faults.end());
    return faults;
}

std::vector<std::string> checkFloors(const fs::path& archive,
                                     const std::vector<std::string_view>& floors)
{
    // By archive member: "ground_pace.cpp.o".
    std::map<std::string, std::size_t> floorOf;
    for (std::size_t k = 0; k < floors.size(); ++k) floorOf[std::string(floors[k]) + ".cpp.o"] = k;
    const auto source = [](const std::string& member) {
        return member.substr(0, member.size() - 2);
    };
    std::map<std::string, std::string> definerOf;  // function -> member
    std::set<std::string> present;
    for (const NmLine& symbol : lf_nm("--defined-only", {archive})) {
        if (!floorOf.contains(symbol.member)) continue;
        present.insert(symbol.member);
        // Strong text only: an inline function or a template that several objects emit weakly
        // is no call between them.
        if (symbol.type == 'T') definerOf[symbol.name] = symbol.member;
    }
    std::vector<std::string> faults;
    for (const auto& [member, floor] : floorOf) {
        if (!present.contains(member)) {
            faults.push_back(shownPath(archive, VNTQ_SOURCE_DIR) + " has no " + source(member));
        }
    }
    for (const NmLine& symbol : lf_nm("-u", {archive})) {
        const auto user = floorOf.find(symbol.member);
        const auto definer = definerOf.find(symbol.name);
        if (user == floorOf.end() || definer == definerOf.end()) continue;
        if (floorOf.at(definer->second) < user->second) continue;
        faults.push_back(source(symbol.member) + " calls " + lf_demangled(symbol.name) +
                         ", which " + source(definer->second) +
                         " defines, on a floor not below it");
    }
    std::sort(faults.begin(), faults.end());
    return faults;
}

}  // namespace qel::layers
