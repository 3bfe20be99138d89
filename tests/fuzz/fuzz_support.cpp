#include "fuzz_support.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

#include <algorithm>
#include <stdexcept>

#include <sodium.h>
#include <unistd.h>

#include "foundation/decrypt.h"

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
    if (sodium_init() < 0) throw std::runtime_error("sodium_init failed");
    crypto_secretstream_xchacha20poly1305_state state;
    std::string bytes(crypto_secretstream_xchacha20poly1305_HEADERBYTES, '\0');
    crypto_secretstream_xchacha20poly1305_init_push(
        &state, reinterpret_cast<unsigned char*>(bytes.data()), key);
    std::size_t position = 0;
    bool last = false;
    while (!last) {
        const std::size_t length = std::min(g_dataChunkPlainBytes, plain.size() - position);
        last = position + length == plain.size();
        std::string chunk(length + crypto_secretstream_xchacha20poly1305_ABYTES, '\0');
        unsigned long long chunkLength = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, reinterpret_cast<unsigned char*>(chunk.data()), &chunkLength,
            reinterpret_cast<const unsigned char*>(plain.data()) + position, length, nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        bytes.append(chunk, 0, chunkLength);
        position += length;
    }
    return bytes;
}

}  // namespace qel::fuzz
