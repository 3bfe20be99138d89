// Writing the .enc container: libsodium's secretstream in push mode, 4096 plain bytes a piece.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

#include <fmt/format.h>
#include <sodium.h>

#include "tools/datafile_builder.h"

namespace qel::datafile {

std::string documentText(const pugi::xml_document& document)
{
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    document.save(out, "  ", pugi::format_indent | pugi::format_no_declaration,
                  pugi::encoding_utf8);
    return out.str();
}

void encipherToFile(std::string_view plain, const std::filesystem::path& path,
                    const std::array<unsigned char, g_dataKeyBytes>& key)
{
    static_assert(g_dataKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);
    if (sodium_init() < 0) throw SourceError("sodium_init failed");
    crypto_secretstream_xchacha20poly1305_state state;
    std::array<unsigned char, crypto_secretstream_xchacha20poly1305_HEADERBYTES> header{};
    crypto_secretstream_xchacha20poly1305_init_push(&state, header.data(), key.data());

    std::filesystem::path partial = path;
    partial += ".part";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) throw SourceError(fmt::format("cannot write {}", partial.string()));
    out.write(reinterpret_cast<const char*>(header.data()),
              static_cast<std::streamsize>(header.size()));
    std::vector<unsigned char> chunk(g_dataChunkPlainBytes +
                                     crypto_secretstream_xchacha20poly1305_ABYTES);
    const auto* bytes = reinterpret_cast<const unsigned char*>(plain.data());
    std::size_t pos = 0;
    bool last = false;
    // An empty text still gets one (empty) final piece: the reader needs the final tag.
    while (!last) {
        const std::size_t n = std::min(g_dataChunkPlainBytes, plain.size() - pos);
        last = pos + n == plain.size();
        unsigned long long written = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, chunk.data(), &written, bytes + pos, n, nullptr, 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  static_cast<std::streamsize>(written));
        pos += n;
    }
    out.close();
    if (!out) throw SourceError(fmt::format("cannot write {}", partial.string()));
    std::filesystem::rename(partial, path);
}

}  // namespace qel::datafile
