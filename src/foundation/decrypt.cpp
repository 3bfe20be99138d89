// Deciphering the program's .enc data files: a secretstream header, then chunks of 4096 plain
// bytes each, the last one tagged final.
#include "foundation/decrypt.h"

#include <cerrno>
#include <fstream>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <sodium.h>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "platform/process.h"

namespace qel {

namespace {

constexpr std::size_t lf_headerBytes = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
constexpr std::size_t lf_chunkBytes =
    g_dataChunkPlainBytes + crypto_secretstream_xchacha20poly1305_ABYTES;

static_assert(g_dataKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(lf_headerBytes == 24 && lf_chunkBytes == 4113);

void lf_initSodium()
{
    // A function-local static runs sodium_init exactly once, whichever thread comes first.
    static const int result = sodium_init();
    if (result < 0) throw std::runtime_error("sodium_init failed");
}

// The system's reason for the write that just failed, while errno still holds it.
[[noreturn]] void lf_throwUnwritable(const std::string& inputPath, const std::string& outputPath)
{
    const int error = errno;
    std::error_code ec;
    const auto folder = std::filesystem::absolute(outputPath, ec).parent_path();
    throw DecipheredFileError(fmt::format(
        "{}, the deciphered {}, cannot be written in {}: {}. Make room there (or let the folder "
        "be written), then start {} again; {} is kept",
        outputPath, inputPath, folder.string(),
        error == 0 ? "the write failed" : platform::systemErrorText(error), g_shortName,
        inputPath));
}

std::size_t lf_read(std::ifstream& in, unsigned char* buffer, std::size_t size)
{
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(in.gcount());
}

void lf_decryptStream(const std::array<unsigned char, g_dataKeyBytes>& key,
                      const std::string& inputPath, const std::string& outputPath)
{
    lf_initSodium();
    std::ifstream in(inputPath, std::ios::binary);
    if (!in) throw std::runtime_error("Could not open input file: " + inputPath);
    errno = 0;
    std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
    if (!out) lf_throwUnwritable(inputPath, outputPath);

    std::array<unsigned char, lf_headerBytes> header{};
    crypto_secretstream_xchacha20poly1305_state state;
    if (lf_read(in, header.data(), header.size()) != header.size() ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0) {
        throw std::runtime_error("Invalid header or key");
    }

    std::array<unsigned char, lf_chunkBytes> chunk{};
    std::array<unsigned char, g_dataChunkPlainBytes> plain{};
    bool finalSeen = false;
    std::size_t n = lf_read(in, chunk.data(), chunk.size());
    while (n > 0) {
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainLength, &tag,
                                                       chunk.data(), n, nullptr, 0) != 0) {
            throw std::runtime_error("Decryption failed");
        }
        errno = 0;
        out.write(reinterpret_cast<const char*>(plain.data()),
                  static_cast<std::streamsize>(plainLength));
        if (!out) lf_throwUnwritable(inputPath, outputPath);
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            finalSeen = true;
            break;  // whatever follows the final chunk is not part of the data
        }
        n = lf_read(in, chunk.data(), chunk.size());
    }
    // A file cut off after a whole chunk authenticates chunk by chunk; only the final tag
    // tells that nothing is missing.
    if (!finalSeen) throw std::runtime_error("Decryption failed");
    errno = 0;
    out.close();
    if (!out) lf_throwUnwritable(inputPath, outputPath);
}

}  // namespace

bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output)
{
    try {
        lf_decryptStream(g_dataFileKey, input.string(), output.string());
        return true;
    } catch (const DecipheredFileError& e) {
        // Reported as a broken data file, a full disk sent the user looking for a new one.
        gf_log(fmt::format("{} exception: {}", "gf_streamDecrypt", e.what()));
        gf_removeFile(output);
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{} exception: {}", "gf_streamDecrypt", e.what()));
        gf_removeFile(output);
        return false;
    }
}

}  // namespace qel
