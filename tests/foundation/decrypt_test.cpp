// Deciphering .enc data files made by a test encryptor with the program's key.
#include "foundation/decrypt.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sodium.h>

#include "foundation/log.h"
#include "support/test_support.h"

namespace qel {
namespace {

using Key = std::array<unsigned char, g_dataKeyBytes>;

// The plain text as the data-file builder stores it: the header, then one chunk per piece, the
// last piece tagged final. `pieces` lists the piece lengths; the last may be 0.
std::string encrypt(const std::string& plain, const std::vector<std::size_t>& pieces,
                    const Key& key = g_dataFileKey, bool tagLastFinal = true)
{
    EXPECT_GE(sodium_init(), 0);
    crypto_secretstream_xchacha20poly1305_state state;
    std::string out(crypto_secretstream_xchacha20poly1305_HEADERBYTES, '\0');
    crypto_secretstream_xchacha20poly1305_init_push(
        &state, reinterpret_cast<unsigned char*>(out.data()), key.data());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const bool last = i + 1 == pieces.size();
        const unsigned char tag = last && tagLastFinal
                                      ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                      : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        std::string chunk(pieces[i] + crypto_secretstream_xchacha20poly1305_ABYTES, '\0');
        unsigned long long length = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, reinterpret_cast<unsigned char*>(chunk.data()), &length,
            reinterpret_cast<const unsigned char*>(plain.data() + offset), pieces[i], nullptr, 0,
            tag);
        out.append(chunk, 0, length);
        offset += pieces[i];
    }
    EXPECT_EQ(offset, plain.size());
    return out;
}

// The builder's way: 4096-byte pieces, the remainder (possibly empty) last.
std::string encryptData(const std::string& plain)
{
    std::vector<std::size_t> pieces(plain.size() / 4096, 4096);
    pieces.push_back(plain.size() % 4096);
    return encrypt(plain, pieces);
}

std::string sampleText(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + 7) % 251);
    return text;
}

class StreamDecrypt : public ::testing::Test {
protected:
    test::CapturedLog log_;
    test::TempDir dir_;
    std::filesystem::path input_ = dir_ / "dbase.enc";
    std::filesystem::path output_ = dir_ / "dbase.xml";
};

TEST_F(StreamDecrypt, ReadsBackWhatWasStored)
{
    const std::string exact = sampleText(8192);
    const struct {
        std::string name;
        std::string file;
        std::string plain;
    } cases[] = {
        {"empty", encryptData(""), ""},
        {"short", encryptData("<root/>"), "<root/>"},
        {"8192 as two full chunks and an empty final", encrypt(exact, {4096, 4096, 0}), exact},
        {"8192 as one full chunk and a full final", encrypt(exact, {4096, 4096}), exact},
        {"three chunks", encryptData(sampleText(10000)), sampleText(10000)},
        // The reader takes 4113 bytes at a time, so only bytes after a full final chunk can
        // be told apart from it.
        {"bytes after the final chunk", encrypt(exact, {4096, 4096}) + "trailing junk", exact},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(input_, c.file);
        EXPECT_TRUE(gf_streamDecrypt(input_, output_));
        ASSERT_TRUE(std::filesystem::exists(output_));
        EXPECT_EQ(test::readFile(output_), c.plain);
    }
    EXPECT_EQ(encryptData("").size(), 24u + 17u);
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(StreamDecrypt, FailsWithoutLeavingAnOutputFile)
{
    const std::string plain = sampleText(3 * 4096 + 100);
    const std::string good = encryptData(plain);
    std::string tampered = good;
    tampered[24 + 4113 + 50] ^= 0x01;
    Key wrongKey = g_dataFileKey;
    wrongKey[0] ^= 0xff;
    const struct {
        std::string name;
        std::string file;
        std::string message;
    } cases[] = {
        {"tampered middle chunk", tampered, "Decryption failed"},
        {"ends after a chunk without the final tag", good.substr(0, 24 + 2 * 4113),
         "Decryption failed"},
        {"last chunk not tagged final", encrypt(plain, {4096, 4096, 4096, 100}, g_dataFileKey,
                                                false),
         "Decryption failed"},
        {"cut inside the final chunk", good.substr(0, good.size() - 5), "Decryption failed"},
        {"header alone", good.substr(0, 24), "Decryption failed"},
        {"bytes after a short final chunk", encryptData("<root/>") + "junk", "Decryption failed"},
        {"short header", good.substr(0, 23), "Invalid header or key"},
        {"empty file", "", "Invalid header or key"},
        {"wrong key", encrypt(plain, {4096, 4096, 4096, 100}, wrongKey), "Decryption failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeFile(input_, c.file);
        test::writeFile(output_, "an older file");
        EXPECT_FALSE(gf_streamDecrypt(input_, output_));
        EXPECT_FALSE(std::filesystem::exists(output_));
        const auto lines = log_.lines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "gf_streamDecrypt exception: " + c.message);
    }
}

TEST_F(StreamDecrypt, ReportsFilesThatCannotBeOpened)
{
    test::writeFile(output_, "an older file");
    EXPECT_FALSE(gf_streamDecrypt(dir_ / "missing.enc", output_));
    EXPECT_FALSE(std::filesystem::exists(output_));

    test::writeFile(input_, encryptData("<root/>"));
    // Not the data file's fault: said as such, not as a file that does not decipher.
    const auto unreachable = dir_ / "no such folder" / "dbase.xml";
    EXPECT_THROW(gf_streamDecrypt(input_, unreachable), DecipheredFileError);

    const std::vector<std::string> expected = {
        "gf_streamDecrypt exception: Could not open input file: " + (dir_ / "missing.enc").string(),
        "gf_streamDecrypt exception: " + unreachable.string() + ", the deciphered " +
            input_.string() + ", cannot be written in " + (dir_ / "no such folder").string() +
            ": No such file or directory. Make room there (or let the folder be written), then "
            "start VNTQ again; " +
            input_.string() + " is kept",
    };
    EXPECT_EQ(log_.lines(), expected);
}

}  // namespace
}  // namespace qel
