// The libraries under src/ include one way only, lowest first. This reads every
// `#include "<folder>/..."` line between src/ folders and names each one against the order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

// Lowest first; folders on one level may not include each other. simlink sits below realtraffic
// because the Traffic Reader posts the blocked-callsign notice into the simulator's result
// queue, which the link owns.
const std::vector<std::vector<std::string_view>> kLayers = {
    {"platform"}, {"foundation"}, {"scenery", "liveries"}, {"simlink"},
    {"realtraffic"}, {"traffic"}, {"ui"}, {"app"},
};

int lf_levelOf(std::string_view folder)
{
    for (std::size_t level = 0; level < kLayers.size(); ++level) {
        const auto& names = kLayers[level];
        if (std::find(names.begin(), names.end(), folder) != names.end()) {
            return static_cast<int>(level);
        }
    }
    return -1;
}

// The folder of `#include "folder/file.h"`; empty for any other line.
std::string lf_includedFolder(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line.substr(first, 1) != "#") return {};
    line.remove_prefix(first + 1);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with("include")) return {};
    line.remove_prefix(7);
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with('"')) return {};
    line.remove_prefix(1);
    const auto slash = line.find('/');
    const auto quote = line.find('"');
    if (slash == std::string_view::npos || quote < slash) return {};
    return std::string(line.substr(0, slash));
}

// One text per include against the order: "src/ui/a.cpp:3: ui includes app/app.h, ...".
std::vector<std::string> lf_checkIncludes(const fs::path& root)
{
    std::vector<std::string> faults;
    const fs::path src = root / "src";
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        if (!entry.is_regular_file()) continue;
        const auto ext = entry.path().extension();
        if (ext != ".h" && ext != ".cpp") continue;
        const fs::path relative = fs::relative(entry.path(), root);
        const std::string from = fs::relative(entry.path(), src).begin()->string();
        const int fromLevel = lf_levelOf(from);
        std::ifstream file(entry.path());
        std::string line;
        for (int number = 1; std::getline(file, line); ++number) {
            const std::string to = lf_includedFolder(line);
            if (to.empty() || to == from || !fs::is_directory(src / to)) continue;
            const int toLevel = lf_levelOf(to);
            const std::string where = relative.generic_string() + ":" + std::to_string(number);
            if (fromLevel < 0 || toLevel < 0) {
                faults.push_back(where + ": " + from + " includes " + to +
                                 ", a folder missing from the layer order");
            } else if (toLevel >= fromLevel) {
                faults.push_back(where + ": " + from + " includes " + to + " (" + line +
                                 "), which is not below it");
            }
        }
    }
    std::sort(faults.begin(), faults.end());
    return faults;
}

TEST(IncludeOrder, EveryLibraryIncludesOnlyLowerOnes)
{
    const auto faults = lf_checkIncludes(VNTQ_SOURCE_DIR);
    for (const auto& fault : faults) ADD_FAILURE() << fault;
    EXPECT_TRUE(faults.empty());
}

TEST(IncludeOrder, NamesEveryEdgeAgainstTheOrder)
{
    test::TempDir root;
    for (const char* folder : {"platform", "foundation", "liveries", "scenery", "ui", "extra"}) {
        fs::create_directories(root / "src" / folder);
    }
    test::writeFile(root / "src/platform/clock.h", "#pragma once\n");
    test::writeFile(root / "src/ui/ui.h", "#include \"foundation/log.h\"\n");
    test::writeFile(root / "src/foundation/log.cpp",
                    "#include <vector>\n"
                    "#include \"platform/clock.h\"\n"
                    "#include \"foundation/log.h\"\n"
                    "  #  include \"ui/ui.h\"\n"
                    "// #include \"ui/ui.h\" in a comment is no include\n");
    test::writeFile(root / "src/liveries/pieces.h", "#include \"scenery/scenery.h\"\n");
    test::writeFile(root / "src/extra/x.cpp", "#include \"platform/clock.h\"\n");

    EXPECT_EQ(lf_checkIncludes(root.path()),
              (std::vector<std::string>{
                  "src/extra/x.cpp:1: extra includes platform, a folder missing from the layer "
                  "order",
                  "src/foundation/log.cpp:4: foundation includes ui (  #  include \"ui/ui.h\"), "
                  "which is not below it",
                  "src/liveries/pieces.h:1: liveries includes scenery (#include "
                  "\"scenery/scenery.h\"), which is not below it",
              }));
}

}  // namespace
}  // namespace qel
