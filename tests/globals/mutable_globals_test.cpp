// Every mutable object of static or thread storage in the libraries, whatever its namespace, read
// with nm from the built archives, against the list kept beside this file: an object added
// outside the run structs fails here until it goes into its library's run struct or is listed
// with the reason the process keeps it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace qel {
namespace {

// "name=archive" of each library, comma-separated, lowest first (from CMake).
constexpr std::string_view kLibraries = VNTQ_GLOBALS_LIBRARIES;
constexpr const char* kListFile = VNTQ_SOURCE_DIR "/tests/globals/mutable_globals.txt";

// What a listed object may be; the reason's first words.
const std::vector<std::string_view> kKinds = {
    "run struct", "setting", "lock", "hook", "table", "cache", "constant", "process", "test seam",
};

std::string_view lf_trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// The name as listed: without ABI tags, and with a function's parameters shown as "()", which
// keeps the list readable and the same whichever way a parameter type is spelt.
std::string lf_listedName(std::string_view name)
{
    constexpr std::string_view kAnonymous = "(anonymous namespace)";
    constexpr std::string_view kAbiTag = "[abi:cxx11]";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name.substr(i).starts_with(kAbiTag)) {
            i += kAbiTag.size() - 1;
        } else if (name.substr(i).starts_with(kAnonymous)) {
            out += kAnonymous;
            i += kAnonymous.size() - 1;
        } else if (name[i] == '(') {
            int depth = 0;
            for (; i < name.size(); ++i) {
                depth += name[i] == '(' ? 1 : name[i] == ')' ? -1 : 0;
                if (depth == 0) break;
            }
            out += "()";
        } else {
            out += name[i];
        }
    }
    return out;
}

// Writable storage: .data and .bss with their per-object and thread-local kinds; .data.rel.ro
// holds constants that only need relocating.
bool lf_writable(std::string_view section)
{
    if (section.starts_with(".data.rel.ro")) return false;
    return section.starts_with(".data") || section.starts_with(".bss") ||
           section.starts_with(".tdata") || section.starts_with(".tbss");
}

// The program's own objects, in whatever namespace. The compiler's are not (guard variables,
// the thread-locals' guard, exception tables' references), nor the template statics of the
// standard library and the outside libraries whose headers the program includes.
bool lf_ours(std::string_view name)
{
    for (const std::string_view others : {"guard variable for ", "_", ".", "DW.ref.",
                                          "std::", "fmt::", "nlohmann::", "pugi::", "gsl::"}) {
        if (name.starts_with(others)) return false;
    }
    return true;
}

// The writable objects nm sees in one archive, by listed name; empty when nm fails.
std::set<std::string> lf_mutableObjects(const std::string& archive)
{
    const std::string command =
        std::string(VNTQ_NM) + " -C --format=sysv --defined-only '" + archive + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
    std::set<std::string> objects;
    if (!pipe) return objects;
    std::string line;
    char chunk[4096];
    while (std::fgets(chunk, sizeof chunk, pipe.get()) != nullptr) {
        line += chunk;
        if (line.back() != '\n') continue;
        // Name|Value|Class|Type|Size|Line|Section, split from the right: a name may hold '|'.
        std::vector<std::string_view> fields;
        std::string_view rest(line);
        for (int i = 0; i < 6 && rest.find('|') != std::string_view::npos; ++i) {
            const std::size_t bar = rest.rfind('|');
            fields.push_back(lf_trim(rest.substr(bar + 1)));
            rest = rest.substr(0, bar);
        }
        const std::string_view name = lf_trim(rest);
        if (fields.size() == 6 && (fields[3] == "OBJECT" || fields[3] == "TLS") &&
            lf_writable(fields[0]) && lf_ours(name)) {
            objects.insert(lf_listedName(name));
        }
        line.clear();
    }
    return objects;
}

// "library | name" → reason, from the list.
std::map<std::string, std::string> lf_readList()
{
    std::map<std::string, std::string> listed;
    std::istringstream text(test::readFile(kListFile));
    std::string line;
    while (std::getline(text, line)) {
        if (lf_trim(line).empty() || line.starts_with("#")) continue;
        const std::size_t first = line.find(" | ");
        const std::size_t second = line.find(" | ", first == std::string::npos ? 0 : first + 3);
        if (second == std::string::npos) {
            ADD_FAILURE() << "not 'library | object | reason': " << line;
            continue;
        }
        listed[line.substr(0, second)] = std::string(lf_trim(line.substr(second + 3)));
    }
    return listed;
}

TEST(MutableGlobals, EveryMutableObjectOfTheLibrariesIsListedWithItsReason)
{
    const auto listed = lf_readList();
    std::set<std::string> found;
    std::string_view libraries = kLibraries;
    while (!libraries.empty()) {
        const std::size_t comma = libraries.find(',');
        const std::string_view entry = libraries.substr(0, comma);
        libraries = comma == std::string_view::npos ? "" : libraries.substr(comma + 1);
        const std::string library(entry.substr(0, entry.find('=')));
        const auto objects = lf_mutableObjects(std::string(entry.substr(entry.find('=') + 1)));
        // Every library holds some (its run struct, its locks): none means nm was not read.
        EXPECT_FALSE(objects.empty()) << library;
        for (const auto& name : objects) found.insert(library + " | " + name);
    }
    for (const auto& key : found) {
        EXPECT_TRUE(listed.contains(key))
            << key << ": a new mutable object; place it in its library's run struct, or list it "
            << "in tests/globals/mutable_globals.txt with the reason the process keeps it";
    }
    for (const auto& [key, reason] : listed) {
        EXPECT_TRUE(found.contains(key)) << key << ": listed but gone; take it off the list";
        bool known = false;
        for (const auto kind : kKinds) known = known || std::string_view(reason).starts_with(kind);
        EXPECT_TRUE(known) << key << ": the reason begins with none of the kinds: " << reason;
    }
}

// What the check reads of one object file: thread-local objects and objects outside the
// program's namespace are as much the process's state as the others.
TEST(MutableGlobals, SeesObjectsOfEveryStorageAndNamespace)
{
    test::TempDir folder;
    test::writeFile(folder / "objects.cpp",
                    "#include <string>\n"
                    "thread_local int g_perThread;\n"
                    "namespace { int g_hidden; }\n"
                    "namespace other { int g_counter; }\n"
                    "namespace qel { thread_local std::string g_name; }\n"
                    "const int kFixed = 1;\n"
                    "int lf_count() { static int calls; return ++calls + g_hidden + kFixed; }\n");
    const std::string compile = std::string(VNTQ_CXX_COMPILER) + " -std=c++20 -c -o '" +
                                (folder / "objects.o").string() + "' '" +
                                (folder / "objects.cpp").string() + "'";
    ASSERT_EQ(std::system(compile.c_str()), 0) << compile;
    EXPECT_EQ(lf_mutableObjects((folder / "objects.o").string()),
              (std::set<std::string>{"(anonymous namespace)::g_hidden", "g_perThread",
                                     "lf_count()::calls", "other::g_counter", "qel::g_name"}));
}

}  // namespace
}  // namespace qel
