#include "fuzz_support.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "support/sealed_text.h"

namespace qel::fuzz {

namespace {

struct Scratch {
    std::filesystem::path path;
    Scratch()
    {
        path = std::filesystem::temp_directory_path() /
               ("vntq-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "input");
        std::filesystem::current_path(path);
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

const std::filesystem::path& scratchDir()
{
    static Scratch scratch;
    return scratch.path;
}

std::filesystem::path writeScratch(const std::filesystem::path& name, const uint8_t* data,
                                   size_t size)
{
    const auto path = scratchDir() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

std::string encrypted(std::string_view plain, const unsigned char* key)
{
    return test::sealedText(plain, key);
}

}  // namespace qel::fuzz
