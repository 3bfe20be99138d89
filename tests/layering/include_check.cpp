// The include half of the layer check: every file the build compiles or includes, whatever its
// name ends in, is read, and each of its includes is judged as the folder that reaches it.
#include "layering/layer_check.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <optional>
#include <set>
#include <utility>

namespace qel::layers {

namespace fs = std::filesystem;

namespace {

// The folders whose sources are read even when no target compiles them; only tests/ and bench/
// may include what is for tests. Any other file is read when the build compiles or includes it.
const std::vector<std::string_view> kReadFolders = {"src", "tests", "bench", "standins", "tools"};
const std::vector<std::string_view> kSourceExtensions = {".h", ".hpp", ".cpp"};

// Whose rules a file's includes follow: a library ("src", its name), or another top folder
// ("tests", "tests"); "" for the root.
struct Owner {
    std::string folder;
    std::string from;
    auto operator<=>(const Owner&) const = default;
};

bool lf_lists(const std::vector<std::string_view>& headers, std::string_view header)
{
    return std::find(headers.begin(), headers.end(), header) != headers.end();
}

bool lf_within(const fs::path& inside)
{
    return !inside.empty() && *inside.begin() != ".." && inside.is_relative();
}

// The owner a path inside the root has by its place: src/<name>/... belongs to <name>, a file
// elsewhere to its top folder. Nothing for a path outside the root.
std::optional<Owner> lf_ownerByPlace(const fs::path& relative)
{
    if (!lf_within(relative)) return std::nullopt;
    auto part = relative.begin();
    const std::string top = part->string();
    if (std::next(part) == relative.end()) return Owner{"", ""};
    if (top == "src") {
        const std::string name = std::next(part)->string();
        if (std::next(part, 2) != relative.end()) return Owner{"src", name};
    }
    return Owner{top, top};
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

// One fault or none for an include of `header` (src/<library>/<file>, relative to the root) by a
// file that `owner` owns.
std::optional<std::string> lf_judge(const Owner& owner, const fs::path& header)
{
    auto part = header.begin();
    if (part == header.end() || *part != "src" || ++part == header.end()) return std::nullopt;
    const Library* to = libraryNamed(part->string());
    if (to == nullptr || ++part == header.end()) return std::nullopt;
    fs::path inside;
    for (; part != header.end(); ++part) inside /= *part;
    const std::string file = inside.generic_string();  // "clock.h", or "rooms/fleet.h"
    const std::string shown = std::string(to->name) + "/" + file;
    if (owner.folder == "src") {
        const Library* self = libraryNamed(owner.from);
        if (self == nullptr) return owner.from + " is missing from the layer order";
        if (self == to) return std::nullopt;
        if (to->level >= self->level) {
            return owner.from + " includes " + shown + ", which is not below it";
        }
    }
    if (lf_lists(to->shown, file)) return std::nullopt;
    if (!lf_lists(to->forTests, file)) return shown + " is private to " + std::string(to->name);
    if (owner.folder == "tests" || owner.folder == "bench") return std::nullopt;
    return shown + " is for the tests of " + std::string(to->name) + " only";
}

class IncludeWalk {
public:
    IncludeWalk(const fs::path& root, const std::vector<Configured>& builds, const fs::path& binary)
        : root_(fs::weakly_canonical(root)),
          binary_(binary.empty() ? fs::path() : fs::weakly_canonical(binary))
    {
        for (const char* base : {"src", "tests", ""}) bases_.push_back(root_ / base);
        for (const Configured& configured : builds) {
            buildFolders_.push_back(fs::weakly_canonical(configured.build));
            for (const Target& target : configured.targets) {
                for (const auto& folder : target.includeFolders) addBase(folder.path);
            }
        }
    }

    void seedFolders()
    {
        for (std::string_view folder : kReadFolders) {
            if (!fs::is_directory(root_ / folder)) continue;
            for (const auto& entry : fs::recursive_directory_iterator(root_ / folder)) {
                if (!entry.is_regular_file() ||
                    !lf_lists(kSourceExtensions, entry.path().extension().string())) {
                    continue;
                }
                const fs::path file = fs::weakly_canonical(entry.path());
                queue(file, *lf_ownerByPlace(file.lexically_relative(root_)));
            }
        }
    }

    // A file a target compiles follows the rules of the target's folder, unless it lies in a
    // library's folder, whose rules it always follows.
    void seedTargets(const std::vector<Configured>& builds)
    {
        for (const Configured& configured : builds) {
            for (const Target& target : configured.targets) {
                const Owner owner = *lf_ownerByPlace(target.folder / "CMakeLists.txt");
                for (const auto& source : target.sources) {
                    if (const auto file = readable(source.path)) reach(*file, owner);
                }
                for (const auto& forced : target.forcedIncludes) {
                    judge(owner, forced.path, forced.where);
                }
            }
        }
    }

    std::vector<std::string> walk()
    {
        while (!pending_.empty()) {
            const auto [file, owner] = pending_.front();
            pending_.pop_front();
            read(file, owner);
        }
        std::sort(faults_.begin(), faults_.end());
        faults_.erase(std::unique(faults_.begin(), faults_.end()), faults_.end());
        return std::move(faults_);
    }

private:
    void addBase(const fs::path& folder)
    {
        const fs::path canonical = fs::weakly_canonical(folder);
        if (!inProject(canonical)) return;
        if (std::find(bases_.begin(), bases_.end(), canonical) == bases_.end()) {
            bases_.push_back(canonical);
        }
    }

    // The file as the check can read it: where the configure left it, or, for one the build
    // makes (a generated source), in the build at binary_ that made it.
    std::optional<fs::path> readable(const fs::path& path) const
    {
        std::error_code ec;
        if (fs::is_regular_file(path, ec)) return fs::weakly_canonical(path);
        if (binary_.empty()) return std::nullopt;
        const fs::path canonical = fs::weakly_canonical(path);
        for (const auto& build : buildFolders_) {
            const fs::path inside = canonical.lexically_relative(build);
            if (lf_within(inside) && fs::is_regular_file(binary_ / inside, ec)) {
                return binary_ / inside;
            }
        }
        return std::nullopt;
    }

    // Inside the root or one of the builds: the files that are the project's own.
    bool inProject(const fs::path& canonical) const
    {
        if (lf_within(canonical.lexically_relative(root_))) return true;
        if (!binary_.empty() && lf_within(canonical.lexically_relative(binary_))) return true;
        return std::any_of(buildFolders_.begin(), buildFolders_.end(), [&](const fs::path& build) {
            return lf_within(canonical.lexically_relative(build));
        });
    }

    void queue(const fs::path& file, const Owner& owner)
    {
        if (seen_.insert({file.string(), owner}).second) pending_.emplace_back(file, owner);
    }

    // A file of a library's folder follows that library's rules; any other file the rules of
    // whoever reaches it, so that a library cannot include through a file outside its folder.
    void reach(const fs::path& file, const Owner& from)
    {
        if (!inProject(file)) return;
        const auto byPlace = lf_ownerByPlace(file.lexically_relative(root_));
        queue(file, byPlace && byPlace->folder == "src" ? *byPlace : from);
    }

    // The file an include reaches: a quoted name beside the including file first, then (both
    // forms) below src/, tests/ and the root, then the other include folders of the build.
    std::optional<fs::path> reached(const fs::path& includer, const std::string& name,
                                    bool quoted) const
    {
        std::vector<fs::path> candidates;
        if (quoted) candidates.push_back(includer.parent_path() / name);
        for (const auto& base : bases_) candidates.push_back(base / name);
        for (const auto& candidate : candidates) {
            if (const auto file = readable(candidate)) return file;
        }
        return std::nullopt;
    }

    // An include of `name`, reached as `header` if it exists, by a file of `owner`.
    void judge(const Owner& owner, const fs::path& name, const std::optional<fs::path>& header,
               const std::string& where)
    {
        // A name that exists nowhere counts as below src/ when it starts with a library's
        // name, so that a missing header does not slip through either.
        fs::path judged;
        if (header) {
            judged = header->lexically_relative(root_);
        } else if (name.begin() != name.end() && libraryNamed(name.begin()->string()) != nullptr) {
            judged = fs::path("src") / name;
        }
        if (const auto fault = lf_judge(owner, judged)) faults_.push_back(where + ": " + *fault);
        if (header) reach(*header, owner);
    }

    // A header a target's flags include into each of its sources.
    void judge(const Owner& owner, const fs::path& forced, const std::string& where)
    {
        judge(owner, forced, readable(forced), where);
    }

    void read(const fs::path& file, const Owner& owner)
    {
        std::ifstream stream(file, std::ios::binary);
        std::string line;
        for (int number = 1; std::getline(stream, line); ++number) {
            bool quoted = false;
            const auto name = lf_includedName(line, quoted);
            if (!name) continue;
            const std::string where = placeOf(file, number, root_);
            if (name->empty()) {
                faults_.push_back(where + ": an include the check cannot read: " + line);
                continue;
            }
            judge(owner, *name, reached(file, *name, quoted), where);
        }
    }

    fs::path root_;
    std::vector<fs::path> bases_;
    fs::path binary_;
    std::vector<fs::path> buildFolders_;
    std::set<std::pair<std::string, Owner>> seen_;
    std::deque<std::pair<fs::path, Owner>> pending_;
    std::vector<std::string> faults_;
};

}  // namespace

std::vector<std::string> checkIncludes(const fs::path& root, const std::vector<Configured>& builds,
                                       const fs::path& binary)
{
    IncludeWalk walk(root, builds, binary);
    walk.seedFolders();
    walk.seedTargets(builds);
    return walk.walk();
}

}  // namespace qel::layers
