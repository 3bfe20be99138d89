// Zip archives written and read back, and the archives that must not pass for good ones.
#include "foundation/zip_archive.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qel {
namespace {

TEST(ZipArchive, EntriesRoundTripInOrderWithTheirBytes)
{
    const test::TempDir dir;
    const std::string binary("a\0b\r\n\xff", 6);
    const std::string big(3 * 1024 * 1024 + 17, 'x');  // more than one read chunk
    test::writeFile(dir / "source.bin", binary);
    {
        ZipArchive archive(dir / "out.zip");
        ASSERT_TRUE(archive.open(ZipArchive::OpenMode::New));
        ASSERT_TRUE(archive.addData("EGLL.xml", "<root/>"));
        ASSERT_TRUE(archive.addData("sub/", ""));
        ASSERT_TRUE(archive.addFile("sub/data.bin", dir / "source.bin"));
        ASSERT_TRUE(archive.addData("big.txt", big));
        ASSERT_TRUE(archive.close());
    }
    ZipArchive archive(dir / "out.zip");
    ASSERT_TRUE(archive.open(ZipArchive::OpenMode::ReadOnly));
    const auto entries = archive.getEntries();
    ASSERT_EQ(entries.size(), 4U);
    EXPECT_EQ(entries[0].getName(), "EGLL.xml");
    EXPECT_TRUE(entries[1].isDirectory());
    EXPECT_EQ(entries[2].getName(), "sub/data.bin");
    EXPECT_EQ(entries[2].getSize(), binary.size());
    EXPECT_EQ(entries[0].readAsString(), "<root/>");
    EXPECT_EQ(entries[2].readAsString(), binary);
    std::ostringstream out;
    EXPECT_EQ(entries[3].readContent(out, 4096), 0);
    EXPECT_EQ(out.str(), big);
}

TEST(ZipArchive, DamagedOrMissingArchivesAndFailingOutputsAreReported)
{
    const test::TempDir dir;
    test::writeFile(dir / "not.zip", "this is no archive");
    ZipArchive notZip(dir / "not.zip");
    EXPECT_FALSE(notZip.open(ZipArchive::OpenMode::ReadOnly));
    EXPECT_FALSE(notZip.lastError().empty());
    EXPECT_TRUE(notZip.getEntries().empty());
    ZipArchive missing(dir / "missing.zip");
    EXPECT_FALSE(missing.open(ZipArchive::OpenMode::ReadOnly));

    // An entry whose recorded CRC does not match its content: the read must fail, not pass.
    {
        ZipArchive archive(dir / "crc.zip");
        ASSERT_TRUE(archive.open(ZipArchive::OpenMode::New));
        ASSERT_TRUE(archive.addData("a.txt", std::string(64, 'a')));
        ASSERT_TRUE(archive.close());
    }
    std::string bytes = test::readFile(dir / "crc.zip");
    // The CRC stands at offset 14 of the local header and 16 of the central directory entry.
    const auto central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    for (const std::size_t at : {std::size_t{14}, central + 16}) {
        bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    }
    test::writeFile(dir / "crc.zip", bytes);
    ZipArchive damaged(dir / "crc.zip");
    ASSERT_TRUE(damaged.open(ZipArchive::OpenMode::ReadOnly));
    const auto entries = damaged.getEntries();
    ASSERT_EQ(entries.size(), 1U);
    std::ostringstream out;
    EXPECT_NE(entries[0].readContent(out), 0);
    EXPECT_FALSE(entries[0].readAsString().has_value());

    // An output that fails is no success.
    ZipArchive good(dir / "out.zip");
    ASSERT_TRUE(good.open(ZipArchive::OpenMode::New));
    ASSERT_TRUE(good.addData("a.txt", "abc"));
    ASSERT_TRUE(good.close());
    ASSERT_TRUE(good.open(ZipArchive::OpenMode::ReadOnly));
    std::ofstream closed;
    EXPECT_EQ(good.getEntries()[0].readContent(closed), ZipEntry::kWriteError);
}

}  // namespace
}  // namespace qel
