// The start-up's update check against the download server stand-in: nothing new, new data
// versions, a new program version that stops the program, and a server that is down.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/zip_archive.h"
#include "platform/disk.h"
#include "platform/scoped_env.h"
#include "standins/download/download_standin.h"
#include "ui/program_folder.h"
#include "ui/ui.h"
#include "ui/window_fixture.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

const std::string kInstallerBytes(200000, '\x5a');

class Updater : public test::WindowTest {
protected:
    void SetUp() override
    {
        test::WindowTest::SetUp();
        g_isMsfs2020 = true;
        g_restartDelay = 0;
        fs::create_directories("input");
        fs::create_directories("output");
        server_ = std::make_unique<standin::DownloadStandin>(serverRoot_.path());
        url_.emplace("VNTQ_DOWNLOAD_URL", server_->downloadsUrl());
    }

    void TearDown() override
    {
        url_.reset();
        server_.reset();
        g_isMsfs2020 = true;
        g_restartDelay = 0;
        test::WindowTest::TearDown();
    }

    // A file of the server's downloads folder.
    void serve(const std::string& relative, const std::string& bytes)
    {
        const fs::path file = serverRoot_ / "downloads" / relative;
        fs::create_directories(file.parent_path());
        test::writeFile(file, bytes);
    }

    static std::string version(int major, int minor, int patch)
    {
        return fmt::format(R"({{"major":{},"minor":{},"patch":{}}})", major, minor, patch);
    }

    void serveEncrypted(const std::string& relative, const std::string& plain)
    {
        const fs::path file = serverRoot_ / "downloads" / relative;
        fs::create_directories(file.parent_path());
        test::writeEncrypted(file, plain);
    }

    void serveZip(const std::string& relative,
                  const std::vector<std::pair<std::string, std::string>>& entries)
    {
        const fs::path file = serverRoot_ / "downloads" / relative;
        fs::create_directories(file.parent_path());
        ZipArchive archive(file);
        ASSERT_TRUE(archive.open(ZipArchive::OpenMode::New));
        for (const auto& [name, bytes] : entries) ASSERT_TRUE(archive.addData(name, bytes));
        ASSERT_TRUE(archive.close());
    }

    // Every item at the versions the settings and files below hold: nothing to do.
    void serveCurrentVersions()
    {
        serve("versions.json",
              fmt::format(R"({{"msfs":{},"simaddon":{},"airports":{},"aig":{},"liveries":{},)"
                          R"("addons":{},"dbase":{}}})",
                          version(11, 14, 0), version(1, 0, 0), version(3, 1, 0),
                          version(2, 0, 0), version(5, 0, 0), version(4, 0, 0),
                          version(6, 2, 1)));
        AIRPORTS_VERSION.assign("3.1.0");
        AIG_VERSION.assign("2.0.0");
        LIV_SCAN_VERSION.assign("5.0.0");
        ADDONS_SCAN_VERSION.assign("4.0.0");
        DBASE_VERSION.assign("6.2.1");
        DIROVERAZO24_VERSION.assign("1.0.0");
        for (const char* file : {"input/airports.enc", "input/AIG-regcodes.enc",
                                 "input/dbase.enc", "output/LiveriesScanned.xml"}) {
            test::writeFile(file, "old");
        }
        SCAN_LIVERIES.current = false;
        SCAN_AIRPORTS.current = false;
    }

    // Flips the recorded CRC of the archive's first entry (local header and central directory),
    // so that unpacking it fails its check.
    void breakFirstCrc(const std::string& relative)
    {
        const fs::path file = serverRoot_ / "downloads" / relative;
        std::string bytes = test::readFile(file);
        const auto central = bytes.find(std::string("PK\x01\x02", 4));
        ASSERT_NE(central, std::string::npos);
        for (const std::size_t at : {std::size_t{14}, central + 16}) {
            bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
        }
        test::writeFile(file, bytes);
    }

    std::vector<std::string> requestedPaths()
    {
        std::vector<std::string> paths;
        for (const auto& request : server_->requests()) paths.push_back(request.path);
        return paths;
    }

    std::optional<std::string> saved(const std::string& key)
    {
        return test::savedParameter(file(), key);
    }

    test::ProgramFolder folder_;
    test::TempDir serverRoot_;
    std::unique_ptr<standin::DownloadStandin> server_;
    std::optional<test::ScopedEnv> url_;
};

TEST_F(Updater, NothingNewFetchesOnlyTheVersionList)
{
    serveCurrentVersions();
    const auto before = log_.lines().size();

    EXPECT_TRUE(gf_checkVersions());

    EXPECT_EQ(requestedPaths(), std::vector<std::string>{"/downloads/versions.json"});
    const auto lines = log_.lines();
    const std::vector<std::string> expected{
        "msfs program version at web = 11.14.0", "msfs version up-to-date",
        "airports version up-to-date",           "aig version up-to-date",
        "liveries version up-to-date",           "addons version up-to-date",
        "dbase version up-to-date"};
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              expected);
    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_FALSE(g_stopRequested);
}

TEST_F(Updater, NewDataVersionsAreFetchedAndStored)
{
    serveCurrentVersions();
    serve("versions.json",
          fmt::format(R"({{"msfs":{},"airports":{},"aig":{},"liveries":{},"addons":{},)"
                      R"("dbase":{}}})",
                      version(11, 13, 9), version(3, 2, 0), version(2, 0, 0), version(5, 0, 1),
                      version(4, 0, 0), version(7, 0, 0)));
    serveEncrypted("11/airports.enc", "<root><airports/></root>");
    serveEncrypted("11/AIG-regcodes.enc", "<root><aig/></root>");
    // dbase.enc is not on the server: its version must stay for the next start to try again.
    fs::remove("input/AIG-regcodes.enc");
    LIV_SCAN_VERSION.assign("");
    // The folder's entries are flushed after the new file took the old one's name, so that
    // a power loss cannot bring the old file back under a new version.
    std::vector<std::string> folderSyncs;
    platform::observeSyncs([&](const fs::path& path, bool folder) {
        if (folder && path.filename() == "input") {
            for (const char* name : {"input/airports.enc", "input/AIG-regcodes.enc"}) {
                if (fs::exists(name)) folderSyncs.push_back(test::readFile(name));
            }
        }
    });
    EXPECT_TRUE(gf_checkVersions());
    platform::observeSyncs({});

    struct Item {
        const StringParameter* setting;
        std::string stored;
        std::string file;
        std::string content;
    };
    const auto served = [this](const char* name) {
        return test::readFile(serverRoot_ / "downloads/11" / name);
    };
    for (const Item& item :
         {Item{&AIRPORTS_VERSION, "3.2.0", "input/airports.enc", served("airports.enc")},
          Item{&AIG_VERSION, "2.0.0", "input/AIG-regcodes.enc", served("AIG-regcodes.enc")},
          Item{&DBASE_VERSION, "6.2.1", "input/dbase.enc", "old"}}) {
        SCOPED_TRACE(item.setting->name);
        EXPECT_EQ(item.setting->value(), item.stored);
        EXPECT_EQ(test::readFile(item.file), item.content);
    }
    for (const char* name : {"airports.enc", "AIG-regcodes.enc"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(std::find(folderSyncs.begin(), folderSyncs.end(), served(name)),
                  folderSyncs.end());
    }
    EXPECT_EQ(saved("AIRPORTS_VERSION"), "3.2.0");
    EXPECT_EQ(saved("AIG_VERSION"), "2.0.0");
    EXPECT_NE(saved("DBASE_VERSION"), "7.0.0");
    EXPECT_TRUE(log_.contains("msfs version up-to-date"));
    EXPECT_TRUE(log_.contains("airports updated to 3.2.0"));
    EXPECT_TRUE(log_.contains("aig updated to 2.0.0"));
    EXPECT_FALSE(log_.contains("dbase updated to 7.0.0"));
    EXPECT_TRUE(log_.contains(
        fmt::format("==> Downloading '{}11/dbase.enc' failed !", server_->downloadsUrl())));
    EXPECT_FALSE(log_.contains("==> simaddon version not found"));  // MSFS 2020
    // The liveries rule is newer: the scan runs in this start.
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_TRUE(control(SCAN_LIVERIES).checked());
    EXPECT_EQ(saved("SCAN_LIVERIES"), "true");
    EXPECT_EQ(saved("LIV_SCAN_VERSION"), "5.0.1");
    EXPECT_FALSE(SCAN_AIRPORTS.current);
    EXPECT_TRUE(log_.contains("addons version up-to-date"));
}

TEST_F(Updater, DamagedDataFilesKeepTheOldFileAndVersion)
{
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"airports":{},"aig":{},"dbase":{}}})",
                                       version(3, 2, 0), version(2, 1, 0), version(7, 0, 0)));
    serve("11/airports.enc", "not enciphered at all");
    serveEncrypted("11/AIG-regcodes.enc", "<root><meta/></root>");  // no aig section
    serveEncrypted("11/dbase.enc", "<root><aircrafts>" + std::string(9000, ' ') + "</aircrafts>");
    {
        // Cut inside its last piece: the stream never reaches its final tag.
        const fs::path file = serverRoot_ / "downloads/11/dbase.enc";
        const std::string bytes = test::readFile(file);
        test::writeFile(file, bytes.substr(0, bytes.size() - 100));
    }

    EXPECT_TRUE(gf_checkVersions());

    for (const char* name : {"airports.enc", "AIG-regcodes.enc", "dbase.enc"}) {
        EXPECT_EQ(test::readFile(fs::path("input") / name), "old") << name;
        EXPECT_TRUE(log_.contains(
            fmt::format("==> {} from the download server is damaged, the old file is kept", name)));
    }
    EXPECT_EQ(AIRPORTS_VERSION.value(), "3.1.0");
    EXPECT_EQ(AIG_VERSION.value(), "2.0.0");
    EXPECT_EQ(DBASE_VERSION.value(), "6.2.1");
    EXPECT_NE(saved("AIRPORTS_VERSION"), "3.2.0");
    std::size_t inputFiles = 0;
    for (const auto& entry : fs::directory_iterator("input")) inputFiles += entry.exists();
    EXPECT_EQ(inputFiles, 3u);  // no candidate or deciphered file left behind
}

TEST_F(Updater, MissingOrIncompleteItemsAreReportedAndSkipped)
{
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"msfs":{{"major":12,"minor":0}},"airports":{}}})",
                                       version(9, 0, 0)));
    serveEncrypted("11/airports.enc", "<root><airports/></root>");

    EXPECT_TRUE(gf_checkVersions());

    for (const char* item : {"msfs", "aig", "liveries", "addons", "dbase"}) {
        EXPECT_TRUE(log_.contains(fmt::format("==> {} version not found", item))) << item;
    }
    EXPECT_TRUE(log_.contains("airports updated to 9.0.0"));
    EXPECT_FALSE(g_stopRequested);
}

TEST_F(Updater, NewProgramVersionIsUnpackedIntoNewVersionAndStops)
{
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"msfs":{},"airports":{}}})", version(11, 14, 1),
                                       version(9, 0, 0)));
    serveZip("release/VNTQ/latest_version.zip", {{"setup/", ""},
                                                  {"install_new_version.exe", kInstallerBytes},
                                                  {"README.txt", "not the installer"}});
    serve("docs/ReleaseNotes.pdf", "%PDF notes");
    fs::create_directories("new_version");
    test::writeFile("new_version/old_installer.exe", "old");
    test::RecordedShell shell(true);

    EXPECT_FALSE(gf_checkVersions());

    EXPECT_TRUE(g_stopRequested);
    EXPECT_EQ(g_exitReason.load(), ExitReason::NEW_VERSION);
    EXPECT_EQ(g_restartDelay.load(), 0);
    EXPECT_EQ(test::readFile("new_version/install_new_version.exe"), kInstallerBytes);
    EXPECT_EQ(test::readFile("new_version/ReleaseNotes.pdf"), "%PDF notes");
    EXPECT_EQ(test::readFile("new_version/README.txt"),
              "A new version is available.\nThe installer can be executed normally "
              "(no Administrator rights required).\n");
    EXPECT_FALSE(fs::exists("new_version/old_installer.exe"));
    EXPECT_FALSE(fs::exists("new_version/install_new_version.exe.part"));
    EXPECT_FALSE(fs::exists("install_new_version.exe"));
    EXPECT_FALSE(fs::exists("latest_version.zip"));
    EXPECT_EQ(shell.opened(), std::vector<fs::path>{fs::absolute("new_version")});
    EXPECT_TRUE(log_.contains("msfs program version at web = 11.14.1"));
    EXPECT_TRUE(log_.contains("Downloaded latest_version.zip"));
    EXPECT_TRUE(log_.contains("latest_version.zip unzipped to install_new_version.exe"));
    // The remaining items wait for the new program.
    EXPECT_FALSE(log_.contains("airports updated to 9.0.0"));
    EXPECT_EQ(test::readFile("input/airports.enc"), "old");
}

TEST_F(Updater, NewVersionFolderThatCannotBeShownStillStops)
{
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"msfs":{}}})", version(12, 0, 0)));
    serveZip("release/VNTQ/latest_version.zip", {{"install_new_version.exe", kInstallerBytes}});
    test::RecordedShell shell(false);

    EXPECT_FALSE(gf_checkVersions());

    const auto boxes = platform::takeRecordedMessageBoxes();
    ASSERT_EQ(boxes.size(), 1U);
    EXPECT_EQ(boxes[0].text, "Could not open File Explorer at new version");
    EXPECT_EQ(boxes[0].caption, "VNTQ");
    const std::string message =
        "Opening file explorer at the new version failed? Try manually via the Morvane website.";
    EXPECT_EQ(messageText(), message);
    EXPECT_TRUE(log_.contains(message));
    // The release notes are missing on the server: logged, and the stop goes on.
    EXPECT_TRUE(log_.contains("==> could not download ReleaseNotes.pdf to new_version"));
    EXPECT_EQ(g_exitReason.load(), ExitReason::NEW_VERSION);
}

TEST_F(Updater, FailedInstallerFetchThrows112)
{
    enum class Served { Nothing, NoZip, BadCrc };
    struct Case {
        Served served;
        std::string logged;
    };
    const Case cases[] = {
        {Served::Nothing, "Downloading program installer file version 11.15.0 failed"},
        {Served::NoZip, "==> Could not open latest_version.zip"},
        // A damaged installer is removed, never passed on as the new version.
        {Served::BadCrc, "==> Unzipping error code: 7"},
    };
    const std::string archive = "release/VNTQ/latest_version.zip";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        serveCurrentVersions();
        serve("versions.json", fmt::format(R"({{"msfs":{}}})", version(11, 15, 0)));
        fs::remove(serverRoot_ / "downloads" / archive);
        if (c.served == Served::NoZip) serve(archive, "no zip");
        if (c.served == Served::BadCrc) {
            serveZip(archive, {{"install_new_version.exe", kInstallerBytes}});
            breakFirstCrc(archive);
        }
        test::RecordedShell shell(true);
        try {
            gf_checkVersions();
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_STREQ(e.what(), "112: The downloading/unzipping of the new version failed? "
                                   "Try manually via the Morvane website");
        }
        EXPECT_TRUE(log_.contains(c.logged));
        EXPECT_TRUE(log_.contains("==> install_new_version.exe does not exists?"));
        EXPECT_TRUE(fs::is_directory("new_version"));
        EXPECT_TRUE(fs::is_empty("new_version"));
        EXPECT_FALSE(fs::exists("latest_version.zip"));
        EXPECT_FALSE(fs::exists("install_new_version.exe"));
        EXPECT_TRUE(shell.opened().empty());
        EXPECT_FALSE(g_stopRequested);
    }
}

TEST_F(Updater, ServerDownOrGarbageSkipsTheCheck)
{
    serveCurrentVersions();
    // A proxy's page, a number the parser cannot hold, and numbers beyond 32 bits.
    for (const char* garbage : {"<html>Gateway</html>", R"({"msfs":{"major":1e400}})"}) {
        serve("versions.json", garbage);
        EXPECT_TRUE(gf_checkVersions()) << garbage;
        EXPECT_FALSE(fs::exists("versions.json"));
        bool parseLogged = false;
        for (const auto& line : log_.lines()) {
            parseLogged |= line.starts_with("==> gf_checkVersions exception: ");
        }
        EXPECT_TRUE(parseLogged);
    }
    serve("versions.json", R"({"airports":{"major":1e20,"minor":0,"patch":0},)"
                           R"("aig":{"major":4294967297,"minor":0,"patch":0}})");
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_TRUE(log_.contains("==> airports version not found"));
    EXPECT_TRUE(log_.contains("==> aig version not found"));

    server_.reset();
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_TRUE(log_.contains("==> Downloading version info from my web site failed!"));
    EXPECT_FALSE(fs::exists("versions.json"));
    EXPECT_FALSE(g_stopRequested);
    EXPECT_EQ(AIRPORTS_VERSION.value(), "3.1.0");
}

TEST_F(Updater, SimaddonPackBecomesRedirectFilesUnderMsfs2024)
{
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"msfs":{},"simaddon":{}}})", version(11, 14, 0),
                                       version(1, 1, 0)));
    serveZip("diroverazo24/my_simaddon2024.zip",
             {{"EGLL.xml", "egll"}, {"sub/", ""}, {"sub/LFPG.txt", "lfpg"}, {"..\\x.y", "z"}});
    fs::create_directories("airports/my_simaddon");
    test::writeFile("airports/my_simaddon/OLD.txt", "old");

    // Under MSFS 2020 the item is neither compared nor logged.
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_FALSE(log_.contains("simaddon version up-to-date"));
    EXPECT_FALSE(log_.contains("==> simaddon version not found"));
    EXPECT_TRUE(fs::exists("airports/my_simaddon/OLD.txt"));

    g_isMsfs2020 = false;
    EXPECT_TRUE(gf_checkVersions());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("airports/my_simaddon")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EGLL.txt", "LFPG.txt", "x.txt"}));
    EXPECT_EQ(test::readFile("airports/my_simaddon/LFPG.txt"), "lfpg");
    EXPECT_EQ(messageText(), "my_simaddon2024.zip unzipped 3 files");
    EXPECT_EQ(DIROVERAZO24_VERSION.value(), "1.1.0");
    EXPECT_EQ(saved("DIROVERAZO24_VERSION"), "1.1.0");
    EXPECT_TRUE(log_.contains("simaddon updated to 1.1.0"));
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));

    // Same version, folder filled: up to date; emptied: fetched again.
    server_->clearRequests();
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_TRUE(log_.contains("simaddon version up-to-date"));
    for (const auto& entry : fs::directory_iterator("airports/my_simaddon")) {
        fs::remove(entry.path());
    }
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_TRUE(fs::exists("airports/my_simaddon/EGLL.txt"));
    EXPECT_EQ(requestedPaths().back(), "/downloads/diroverazo24/my_simaddon2024.zip");
}

TEST_F(Updater, BrokenSimaddonPackKeepsTheFolder)
{
    g_isMsfs2020 = false;
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"simaddon":{}}})", version(1, 1, 0)));
    serve("diroverazo24/my_simaddon2024.zip", "<html>not a zip</html>");
    fs::create_directories("airports/my_simaddon");
    test::writeFile("airports/my_simaddon/EDDL.txt", "eddl");

    EXPECT_TRUE(gf_checkVersions());

    EXPECT_TRUE(log_.contains("==> Could not open my_simaddon2024.zip"));
    EXPECT_EQ(test::readFile("airports/my_simaddon/EDDL.txt"), "eddl");
    EXPECT_EQ(DIROVERAZO24_VERSION.value(), "1.0.0");
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));
}

TEST_F(Updater, IncompleteSimaddonPackKeepsItsOldVersion)
{
    g_isMsfs2020 = false;
    serveCurrentVersions();
    serve("versions.json", fmt::format(R"({{"simaddon":{}}})", version(1, 1, 0)));
    serveZip("diroverazo24/my_simaddon2024.zip", {{"EGLL.xml", "egll"}, {"EDDL.xml", "eddl"}});
    // A folder where EGLL.txt belongs: that file cannot be written.
    fs::create_directories("airports/my_simaddon/EGLL.txt");

    EXPECT_TRUE(gf_checkVersions());

    EXPECT_TRUE(log_.contains("==> Failed to write file: airports/my_simaddon/EGLL.txt"));
    EXPECT_EQ(test::readFile("airports/my_simaddon/EDDL.txt"), "eddl");
    EXPECT_EQ(messageText(), "my_simaddon2024.zip unzipped 1 files");
    EXPECT_EQ(DIROVERAZO24_VERSION.value(), "1.0.0");
    EXPECT_FALSE(log_.contains("simaddon updated to 1.1.0"));
    EXPECT_FALSE(log_.contains("simaddon version up-to-date"));
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));
}

}  // namespace
}  // namespace qel
