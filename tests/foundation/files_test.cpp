#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "foundation/files.h"
#include "foundation/globals.h"
#include "foundation/xml.h"
#include "platform/disk.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using Lines = std::vector<std::string>;

// Runs a test inside a folder and returns to the previous working folder afterwards.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path())
    {
        fs::current_path(folder);
    }
    ~WorkingFolder() { fs::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

TEST(Files, WritesLinesAndTextAndReportsEveryFailure)
{
    TempDir dir;
    EXPECT_TRUE(gf_writeLines({"a", "", "b"}, dir / "lines.txt"));
    EXPECT_EQ(readFile(dir / "lines.txt"), "a\n\nb\n");
    EXPECT_TRUE(gf_writeFile("text", dir / "text.txt", true));
    EXPECT_EQ(readFile(dir / "text.txt"), "text\n");
    EXPECT_TRUE(gf_writeFile("short", dir / "text.txt", false));
    EXPECT_EQ(readFile(dir / "text.txt"), "short");

    EXPECT_FALSE(gf_writeLines({"a"}, dir / "no-folder" / "lines.txt"));
    EXPECT_FALSE(gf_writeFile("a", dir / "no-folder" / "text.txt", true));
    // Opening succeeds but the data cannot be stored: the write must not pass for saved.
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(gf_writeLines(Lines(2000, std::string(100, 'x')), "/dev/full"));
        EXPECT_FALSE(gf_writeFile("x", "/dev/full", true));
    }
}

// A power loss right after a rename must not leave an empty file: the new bytes reach the disk
// before the rename, the folder's entry after it.
TEST(Files, ReplacementsSyncTheNewFileBeforeTheRenameAndTheFolderAfter)
{
    TempDir dir;
    const fs::path target = dir / "parameters.xml";
    test::writeFile(target, "old");
    std::vector<std::string> seen;
    platform::observeSyncs([&](const fs::path& path, bool folder) {
        seen.push_back((folder ? "folder " : "file ") + path.filename().string() +
                       " target=" + readFile(target));
    });
    pugi::xml_document document;
    document.append_child("root");
    EXPECT_TRUE(gf_saveXmlFile(document, target));
    test::writeFile(dir / "list.txt.tmp", "EHAM");
    EXPECT_FALSE(static_cast<bool>(gf_replaceByRename(dir / "list.txt.tmp", dir / "list.txt")));
    // A rename that fails leaves the target and no temporary file.
    test::writeFile(dir / "x.tmp", "new");
    fs::create_directories(dir / "busy" / "inside");
    EXPECT_TRUE(static_cast<bool>(gf_replaceByRename(dir / "x.tmp", dir / "busy")));
    EXPECT_FALSE(fs::exists(dir / "x.tmp"));
    platform::observeSyncs({});

    const std::string newXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root />\n";
    EXPECT_EQ(seen, (Lines{"file parameters.xml.tmp target=old",
                           "folder " + dir.path().filename().string() + " target=" + newXml,
                           "file list.txt.tmp target=" + newXml,
                           "folder " + dir.path().filename().string() + " target=" + newXml,
                           "file x.tmp target=" + newXml}));
    EXPECT_EQ(readFile(dir / "list.txt"), "EHAM");
}

TEST(Files, RemoveFileIgnoresMissingAndLogsFailure)
{
    TempDir dir;
    test::CapturedLog log;
    test::writeFile(dir / "f.xml", "x");
    gf_removeFile(dir / "f.xml");
    EXPECT_FALSE(fs::exists(dir / "f.xml"));
    gf_removeFile(dir / "missing.xml");
    EXPECT_TRUE(log.lines().empty());

    fs::create_directories(dir / "full" / "inside");
    gf_removeFile(dir / "full");
    EXPECT_EQ(log.lines(), Lines{"==> Warning: could not remove " + (dir / "full").string() +
                                 ", errorcode: Directory not empty"});
}

TEST(Files, ClearingAFolderKeepsSubFoldersAndCountsOnlyFiles)
{
    TempDir dir;
    test::writeFile(dir / "a.txt", "a");
    test::writeFile(dir / "b.xml", "b");
    fs::create_directories(dir / "sub");
    test::writeFile(dir / "sub" / "c.txt", "c");
    EXPECT_EQ(gf_countFiles(dir.path()), 2U);
    EXPECT_EQ(gf_countFiles(dir / "missing"), 0U);

    gf_removeFilesFromDirectory(dir.path());
    EXPECT_EQ(gf_countFiles(dir.path()), 0U);
    EXPECT_TRUE(fs::exists(dir / "sub" / "c.txt"));
}

TEST(Files, ClearingAMissingFolderLogsAndDoesNotThrow)
{
    TempDir dir;
    test::CapturedLog log;
    EXPECT_NO_THROW(gf_removeFilesFromDirectory(dir / "missing"));
    const Lines lines = log.lines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_TRUE(lines[0].starts_with("==> gf_removeFilesFromDirectory exception: ")) << lines[0];
}

TEST(Files, RemovesOnlyTheXmlFilesOfTheTbloFolder)
{
    TempDir dir;
    const WorkingFolder inside(dir.path());
    const fs::path folder = g_tbloDir;
    fs::create_directories(folder / "EDDL.xml");  // a folder, even with that name, stays
    // The stand files the copies were made from are not touched.
    fs::create_directories(g_myThirdpartyDir);
    test::writeFile(g_myThirdpartyDir / "EGLL.xml", "x");
    for (const char* name : {"EGLL.xml", "KJFK.XML", "LFPG.Xml", "notes.txt", "xml"}) {
        test::writeFile(folder / name, "x");
    }
    gf_removeXMLFilesFromDirectory();
    Lines left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Lines{"EDDL.xml", "notes.txt", "xml"}));
    EXPECT_TRUE(fs::exists(g_myThirdpartyDir / "EGLL.xml"));
}

}  // namespace
}  // namespace qel
