// The link half of the layer check: the links the project's CMake commands make, read from a
// traced configure, and what CMake's model of the configured build says each target compiles
// and includes from.
#include "layering/layer_check.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>

namespace qel::layers {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Where one link of a target was made: "src/foundation/CMakeLists.txt:2".
struct Link {
    std::string from;
    std::string to;
    std::string where;
};

// How a traced command names what a target links.
enum class Naming {
    none,
    target,       // target_...(<target> ...), set_property(TARGET <target> ...): every name
    targetGenex,  // target_sources(<target> ...): the names inside generator expressions
    folder,       // link_libraries(...), add_link_options(...): for the folder's libraries
};

// The commands that make a target link or depend on another: the project's vntq_library, an
// alias of a library, CMake's own, and the link options, which may name a library's file.
Naming lf_naming(const std::string& command, const json& args)
{
    if (command == "set_property") {
        return args.size() > 1 && args[0] == "TARGET" ? Naming::target : Naming::none;
    }
    if (command == "add_library") {
        return args.size() > 2 && args[1] == "ALIAS" ? Naming::target : Naming::none;
    }
    if (command == "link_libraries" || command == "add_link_options") return Naming::folder;
    if (command == "target_sources") return Naming::targetGenex;
    for (const char* linking :
         {"target_link_libraries", "target_link_options", "target_link_directories",
          "add_dependencies", "vntq_library", "set_target_properties"}) {
        if (command == linking) return Naming::target;
    }
    return Naming::none;
}

// The text with the root's and the build's paths left out (a folder of either may be named like
// a library) and, for a genex-only command, only what lies inside generator expressions. What a
// $<LOWER_CASE:...> or $<UPPER_CASE:...> holds is read in the case it gives.
std::string lf_namingText(std::string text, const std::vector<std::string>& paths, bool genexOnly)
{
    for (const auto& path : paths) {
        for (auto at = text.find(path); at != std::string::npos; at = text.find(path, at)) {
            text.replace(at, path.size(), "/");
        }
    }
    std::string read;
    std::vector<int> cases;  // per open generator expression: -1 lower, 1 upper, 0 as written
    for (std::size_t c = 0; c < text.size(); ++c) {
        if (text.compare(c, 2, "$<") == 0) {
            int folding = cases.empty() ? 0 : cases.back();
            if (text.compare(c + 2, 11, "LOWER_CASE:") == 0) folding = -1;
            if (text.compare(c + 2, 11, "UPPER_CASE:") == 0) folding = 1;
            cases.push_back(folding);
            ++c;
            read += ' ';
        } else if (text[c] == '>' && !cases.empty()) {
            cases.pop_back();
            read += ' ';
        } else if (!genexOnly || !cases.empty()) {
            const int folding = cases.empty() ? 0 : cases.back();
            const auto letter = static_cast<unsigned char>(text[c]);
            read += static_cast<char>(folding < 0   ? std::tolower(letter)
                                      : folding > 0 ? std::toupper(letter)
                                                    : letter);
        }
    }
    return read;
}

// Every name in the text, also inside ";" lists and generator expressions ("$<LINK_ONLY:ui>");
// "::" belongs to a name. The linker's spellings of a library count as its name too: "-lui" and
// the archive's file name "libui.a", which a link folder lets the linker find.
std::vector<std::string> lf_names(const std::string& text)
{
    std::vector<std::string> names;
    std::string token;
    for (std::size_t c = 0; c <= text.size(); ++c) {
        if (c < text.size() &&
            (std::isalnum(static_cast<unsigned char>(text[c])) != 0 || text[c] == '_')) {
            token += text[c];
        } else if (c < text.size() && text.compare(c, 2, "::") == 0) {
            token += "::";
            ++c;
        } else if (!token.empty()) {
            const std::size_t start = c - token.size();
            if (start > 0 && text.compare(start - 1, 2, "-l") == 0) {
                names.push_back(token.substr(1));
            }
            if (token.starts_with("lib")) names.push_back(token.substr(3));
            names.push_back(token);
            token.clear();
        }
    }
    return names;
}

// The libraries a command of a folder reaches: those the configure defines in it or below it.
std::vector<std::string> lf_librariesOfFolder(const std::string& folder,
                                              const Configured& configured)
{
    std::vector<std::string> found;
    for (const Target& target : configured.targets) {
        const std::string own = target.folder.generic_string();
        if (libraryNamed(target.name) == nullptr || own != "src/" + target.name) continue;
        if (folder.empty() || own == folder || own.starts_with(folder + "/")) {
            found.push_back(target.name);
        }
    }
    return found;
}

// The CMakeLists.txt command that led to the traced one: a command inside a helper function or
// an included file (cmake/*.cmake) is made where that was called, in that folder's scope.
const json& lf_callerFrame(const std::vector<json>& stack, const json& entry)
{
    auto frame = stack.rbegin();
    while (frame != stack.rend() &&
           fs::path((*frame)["file"].get<std::string>()).filename() != "CMakeLists.txt") {
        ++frame;
    }
    return frame == stack.rend() ? entry : *frame;
}

// The links the project's own commands make, read from the configure's trace (every command
// with its arguments expanded).
std::vector<Link> lf_tracedLinks(const Configured& configured, const fs::path& root)
{
    const std::vector<std::string> paths = {fs::weakly_canonical(configured.build).string(),
                                            fs::weakly_canonical(root).string()};
    std::vector<Link> links;
    std::vector<json> stack;  // the latest command of each global frame
    std::ifstream trace(configured.build / "trace.json");
    std::string line;
    while (std::getline(trace, line)) {
        const json entry = json::parse(line, nullptr, false);
        if (!entry.is_object() || !entry.contains("global_frame")) continue;
        const auto depth = entry["global_frame"].get<std::size_t>();
        stack.resize(depth);
        stack[depth - 1] = entry;
        const json& args = entry["args"];
        const Naming naming = lf_naming(entry["cmd"], args);
        if (args.empty() || naming == Naming::none) continue;
        std::vector<std::string> from{args[0]};
        std::size_t first = 1;
        if (entry["cmd"] == "set_property") {  // set_property(TARGET <name> ... PROPERTY ...)
            from = {args[1]};
            first = 2;
        }
        const json& caller = lf_callerFrame(stack, entry);
        const fs::path file = caller["file"].get<std::string>();
        if (naming == Naming::folder) {
            const fs::path folder = fs::path(shownPath(file, root)).parent_path();
            from = lf_librariesOfFolder(folder.generic_string(), configured);
            first = 0;
        }
        const std::string where = placeOf(file, caller["line"].get<int>(), root);
        for (std::size_t k = first; k < args.size(); ++k) {
            const std::string text =
                lf_namingText(args[k].get<std::string>(), paths, naming == Naming::targetGenex);
            for (const auto& name : lf_names(text)) {
                for (const auto& source : from) links.push_back({source, name, where});
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
        if (const Library* other = libraryNamed(name)) {
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

// The library whose folder (in the sources or in the build) holds the path, with the path
// inside that tree ("src/ui/paint.cpp"); nullptr for a path of no library.
std::pair<const Library*, std::string> lf_libraryHolding(const fs::path& path,
                                                         const std::vector<fs::path>& bases)
{
    for (const auto& base : bases) {
        const fs::path inside = path.lexically_relative(base);
        auto part = inside.begin();
        if (part == inside.end() || *part != "src" || ++part == inside.end()) continue;
        if (const Library* library = libraryNamed(part->string())) {
            return {library, inside.generic_string()};
        }
    }
    return {nullptr, ""};
}

// A file of a library's folder, or an object its build made, is compiled by the targets of that
// folder only: taken into another target, its code would join a library it does not belong to.
void lf_checkSources(const fs::path& root, const Configured& configured,
                     std::vector<std::string>& faults)
{
    const std::vector<fs::path> bases = {fs::weakly_canonical(root),
                                         fs::weakly_canonical(configured.build)};
    for (const Target& target : configured.targets) {
        for (const auto& source : target.sources) {
            const auto [owner, path] = lf_libraryHolding(fs::weakly_canonical(source.path), bases);
            if (owner == nullptr || target.folder == "src/" + std::string(owner->name)) continue;
            faults.push_back(source.where + ": " + target.name + " builds " + path +
                             ", which belongs to " + std::string(owner->name));
        }
    }
}

// Per include folder inside a library's folder that another target takes: its headers would be
// reached by bare name, around the include check.
void lf_checkIncludeFolders(const fs::path& root, const Configured& configured,
                            std::vector<std::string>& faults)
{
    const fs::path src = fs::weakly_canonical(root / "src");
    for (const Target& target : configured.targets) {
        const Library* self =
            target.folder == "src/" + target.name ? libraryNamed(target.name) : nullptr;
        for (const auto& include : target.includeFolders) {
            const fs::path inside = fs::weakly_canonical(include.path).lexically_relative(src);
            if (inside.empty() || *inside.begin() == ".." || inside == ".") continue;
            if (self != nullptr && *inside.begin() == self->name) continue;
            faults.push_back(include.where + ": " + target.name + " takes src/" +
                             inside.generic_string() + " as an include folder");
        }
    }
}

}  // namespace

std::vector<std::string> checkLinks(const fs::path& root, const Configured& configured)
{
    std::vector<std::string> faults;
    const std::vector<Link> links = lf_tracedLinks(configured, root);
    for (const Library& library : kLibraries) {
        for (const auto& [to, where] : lf_linkedLibraries(links, library)) {
            if (to->level < library.level) continue;
            faults.push_back(where + ": " + std::string(library.name) + " links " +
                             std::string(to->name) + ", which is not below it");
        }
    }
    lf_checkSources(root, configured, faults);
    lf_checkIncludeFolders(root, configured, faults);
    std::sort(faults.begin(), faults.end());
    faults.erase(std::unique(faults.begin(), faults.end()), faults.end());
    return faults;
}

}  // namespace qel::layers
