// Replays saved fuzz inputs through one target in the ordinary build:
//   vntq_fuzz_replay <target> <folder or file>...
// feeds the target every file under the folders (or the files) named, in name order. A folder
// that does not exist is skipped; finding no input at all fails, so a target without seeds is
// noticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// The build lists every target as VNTQ_FUZZ_TARGET(name), its entry renamed vntq_fuzz_<name>.
#define VNTQ_FUZZ_TARGET(name) extern "C" int vntq_fuzz_##name(const uint8_t* data, size_t size);
#include "fuzz_targets.inc"
#undef VNTQ_FUZZ_TARGET

namespace {

struct Target {
    std::string_view name;
    int (*run)(const uint8_t* data, size_t size);
};

constexpr Target kTargets[] = {
#define VNTQ_FUZZ_TARGET(name) {#name, vntq_fuzz_##name},
#include "fuzz_targets.inc"
#undef VNTQ_FUZZ_TARGET
};

std::vector<std::filesystem::path> lf_inputs(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 2; i < argc; ++i) {
        // Absolute, as a target may change the working folder.
        const std::filesystem::path root = std::filesystem::absolute(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_regular_file(root, ec)) {
            files.push_back(root);
            continue;
        }
        if (!std::filesystem::is_directory(root, ec)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view name = argc > 1 ? argv[1] : "";
    const auto target = std::find_if(std::begin(kTargets), std::end(kTargets),
                                     [&](const Target& t) { return t.name == name; });
    if (target == std::end(kTargets)) {
        std::fprintf(stderr,
                     "usage: vntq_fuzz_replay <target> <folder or file>...; no target '%s'\n",
                     std::string(name).c_str());
        return 1;
    }
    const auto files = lf_inputs(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "no fuzz inputs found\n");
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        // Each input on stderr first, so a crash names the file that caused it.
        std::fprintf(stderr, "%s\n", file.string().c_str());
        target->run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", files.size());
    return 0;
}
