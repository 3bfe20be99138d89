#include "support/sealed_text.h"

#include <algorithm>
#include <stdexcept>

#include <sodium.h>

#include "foundation/decrypt.h"

namespace qel::test {

std::string sealedText(std::string_view plain, const unsigned char* key)
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

}  // namespace qel::test
