// Replays saved fuzz inputs through one target in the ordinary build: every file under the
// folders (or the files) named on the command line, in name order. A folder that does not exist
// is skipped; finding no input at all fails, so a target without seeds is noticed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> lf_inputs(int argc, char** argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
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
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", files.size());
    return 0;
}
