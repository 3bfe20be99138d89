// The add-on airport scan over a generated simulator tree: install detection, the walk with its
// skip rules, link and stand files, the report, the offline-learning zip, and the same output
// for every worker count.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/run_state.h"
#include "foundation/window_status.h"
#include "foundation/zip_archive.h"
#include "platform/disk.h"
#include "platform/folders.h"
#include "scenery/addon_archives.h"
#include "scenery/install.h"
#include "scenery/scan.h"
#include "scenery/scenery.h"
#include "scenery/stand_file.h"
#include "scenery/stand_places.h"
#include "support/bgl_builder.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using namespace test;

BglAirportPlan airportWith(const std::string& ident, int stands, int helipads = 0)
{
    BglAirportPlan plan;
    plan.ident = ident;
    plan.name = ident + " airport";
    for (int i = 0; i < helipads; ++i) plan.helipads.push_back({51.0 + i * 0.01, 1.0, 20.0f});
    for (int i = 0; i < stands; ++i) {
        BglParkingSpec p;
        p.number = static_cast<uint32_t>(stands - i);  // written out of order: files sort them
        p.latitude = 50.0 + i * 0.001;
        p.longitude = 8.0;
        p.type = i % 3 == 0 ? 5 : 1;
        plan.parkings.push_back(p);
    }
    return plan;
}

class AirportScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        gf_clearAirports();
        for (const char* code : {"EGLL", "LFPG", "EDDF", "KBOS", "EHAM", "LOWI", "KMCI"}) {
            g_airportCodeSet.insert(AirportCode(code).word());
        }
        g_addonArchives.publisherOf = [](std::string_view text) -> std::optional<std::string> {
            if (text.find("flytampa") != std::string_view::npos) return "FlyTampa";
            if (text.find("Aerosoft") != std::string_view::npos) return "Aerosoft";
            return std::nullopt;
        };
        g_addonArchives.isSimAddonAirport = [](std::string_view code) { return code == "EGLL"; };
        g_addonArchives.thirdPartyStandCount = [](std::string_view publisher,
                                                  std::string_view code, bool) {
            return publisher == "Aerosoft" && code == "EDDF" ? std::optional<int32_t>(3)
                                                             : std::nullopt;
        };
        previousAppData_ = g_appDataDir;
        gf_setAppDataDir(work_.path() / "user" / "VNTQ");
        fs::create_directories(g_appDataDir);
        MSFS_INSTALL_PATH.assign("");
        buildSimulator();
    }
    void TearDown() override
    {
        g_addonArchives = {};
        gf_clearAirports();
        MSFS_INSTALL_PATH.assign("");
        ALL_INSTALL_PATH.assign("");
        SCAN_AIRPORTS.current = SCAN_AIRPORTS.defaultValue;
        platform::clearKnownFolderOverrides();
        platform::failRemovals({});
        gf_setAppDataDir(previousAppData_);
    }

    void package(const fs::path& at, const std::string& manifest)
    {
        fs::create_directories(at);
        if (!manifest.empty()) writeFile(at / "manifest.json", manifest);
    }

    // A Steam install whose folders lie below a folder named like a skipped package.
    void buildSimulator()
    {
        const fs::path roaming = work_.path() / "My Aircraft Tutorials";
        platform::overrideKnownFolder(platform::KnownFolder::RoamingAppData, roaming);
        platform::overrideKnownFolder(platform::KnownFolder::LocalAppData, work_.path() / "local");
        packages_ = roaming / "Microsoft Flight Simulator" / "Packages";
        const fs::path official = packages_ / "Official" / "OneStore";
        const fs::path community = packages_ / "Community";
        package(official / "microsoft-airport-egll", "");
        bglWrite(official / "microsoft-airport-egll/scenery/EGLL.bgl",
                 bglAirportFile({airportWith("EGLL", 4)}));
        package(official / "asobo-airport-lfpg", "");
        bglWrite(official / "asobo-airport-lfpg/scenery/global/LFPG.bgl",
                 bglAirportFile({airportWith("LFPG", 2, 1)}));
        package(community / "aerosoft-eddf", R"({"manufacturer": "Aerosoft"})");
        bglWrite(community / "aerosoft-eddf/scenery/global/airport/EDDF.BGL",
                 bglAirportFile({airportWith("EDDF", 5)}));
        package(community / "flytampa-kbos", R"({"creator": "FlyTampa"})");
        bglWrite(community / "flytampa-kbos/scenery/KBOS.bgl", bglAirportFile({airportWith("KBOS", 1)}));
        // A package an add-on manager keeps elsewhere and links into Community, twice, with a
        // link back to itself inside: each of its files is scanned once.
        const fs::path jane = work_.path() / "library" / "jane-eham";
        package(jane, R"({"manufacturer": "Jane Doe", "title": "Schiphol"})");
        fs::create_directory_symlink(jane, community / "jane-eham");
        fs::create_directory_symlink(jane, community / "jane-eham-again");
        // Two airports in one file; the second breaks its parking list.
        Bytes twice = bglAirportFile({airportWith("EHAM", 3), airportWith("LOWI", 2)});
        bglPutU16(twice, twice.size() - 2 * 56 - 2, 999);
        bglWrite(jane / "scenery/EHAM.bgl", twice);
        bglWrite(jane / "scenery/Statics/EHAM2.bgl", bglAirportFile({airportWith("EHAM", 7)}));
        bglWrite(jane / "scenery/statics/EHAM3.bgl", bglAirportFile({airportWith("EHAM", 9)}));
        fs::create_directory_symlink("..", jane / "scenery" / "again");
        package(community / "fbw-aircraft-a320", R"({"manufacturer": "FBW"})");
        bglWrite(community / "fbw-aircraft-a320/scenery/KMCI.bgl", bglAirportFile({airportWith("KMCI", 2)}));
        package(community / "old-format", R"({"manufacturer": 5})");
        for (const char* name : {"KTST_TestAirport_p3dv5.bgl", "KTST_TestAirport_p3dv6.bgl"}) {
            fs::copy_file(fs::path(VNTQ_SOURCE_DIR) / "tests/data/bgl" / name,
                          community / "old-format" / name);
        }
        // Damaged files of a dozen kinds, and scenery without airports.
        package(community / "broken", R"({"title": "nothing"})");
        const Bytes good = bglAirportFile({airportWith("LOWI", 2)});
        for (std::size_t cut = 60; cut < good.size(); cut += good.size() / 12) {
            bglWrite(community / "broken" / ("cut" + std::to_string(cut) + ".bgl"),
                     Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
        }
        Bytes huge = good;
        bglPutU32(huge, 56 + 8, 0xFFFFFFF);
        bglWrite(community / "broken/huge.bgl", huge);
        package(community / "objects", "{}");
        for (int i = 0; i < 20; ++i) {
            BglSectionSpec objects{0x25, 1, {bglRecord(0x0B, Bytes(30, 0))}};
            bglWrite(community / "objects" / ("o" + std::to_string(i) + ".bgl"), bglFile({objects}));
        }
    }

    // Every file the scan wrote, with its content (the zip by its entry names).
    std::map<std::string, std::string> output()
    {
        std::map<std::string, std::string> files;
        for (const fs::path& folder : {g_mySimaddonDir, g_myThirdpartyDir, g_tbloDir}) {
            if (!fs::exists(folder)) continue;
            for (const auto& entry : fs::directory_iterator(folder)) {
                std::string content = readFile(entry.path());
                if (entry.path().extension() == ".zip") {
                    ZipArchive zip(entry.path());
                    content.clear();
                    if (zip.open(ZipArchive::OpenMode::ReadOnly)) {
                        for (const auto& e : zip.getEntries()) {
                            // Read whole: the entries' CRCs are checked.
                            content +=
                                e.getName() + "=" + e.readAsString().value_or("<unreadable>") + ";";
                        }
                    }
                }
                files[entry.path().generic_string()] = content;
            }
        }
        files["report"] = readFile(g_airportsScanLogTxt);
        return files;
    }

    // A close request as the walk reaches the linked package.
    AirportScanResult stopWithinTheNextScan()
    {
        const auto publisherOf = g_addonArchives.publisherOf;
        g_addonArchives.publisherOf = [publisherOf](std::string_view text) {
            if (text.find("jane-eham") != std::string_view::npos) g_closeRequested = true;
            return publisherOf(text);
        };
        const AirportScanResult stopped = gf_scanAirports({true, 2});
        g_closeRequested = false;
        g_addonArchives.publisherOf = publisherOf;
        EXPECT_TRUE(stopped.interrupted);
        return stopped;
    }

    ScopedWorkDir work_;
    fs::path previousAppData_;
    fs::path packages_;
};

TEST_F(AirportScan, WritesLinksStandFilesReportAndZipTheSameForAnyWorkerCount)
{
    ASSERT_TRUE(gf_detectMsfs(true));
    EXPECT_EQ(gf_installPath(true), packages_);

    std::map<std::string, std::string> first;
    for (const int workers : {1, 2, 8}) {
        CapturedLog log;
        fs::create_directories(g_myThirdpartyDir);
        writeFile(g_myThirdpartyDir / "OLD1.xml", "left by an earlier scan");
        SCAN_AIRPORTS.current = true;
        const AirportScanResult result = gf_scanAirports({true, workers});
        EXPECT_TRUE(result.foundAddons);
        EXPECT_EQ(result.tbloFiles, 3u);  // EDDF, KBOS (publishers) and EHAM (Jane Doe)
        EXPECT_FALSE(SCAN_AIRPORTS.current);
        const auto files = output();
        if (first.empty()) {
            first = files;
        } else {
            EXPECT_EQ(files, first) << workers << " workers";
        }
    }

    std::vector<std::string> names;
    for (const auto& [name, content] : first) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "airports/my_simaddon/EGLL.txt", "airports/my_simaddon/LFPG.xml",
                         "airports/my_thirdparty/EDDF.txt", "airports/my_thirdparty/EHAM.xml",
                         "airports/my_thirdparty/KBOS.xml", "airports/my_thirdparty/LOWI.xml",
                         "report", "tblo/tblo.zip"}));
    EXPECT_EQ(first["airports/my_simaddon/EGLL.txt"], "archive/simaddon/EGLL.xml\n");
    EXPECT_EQ(first["airports/my_thirdparty/EDDF.txt"], "archive/thirdparty/Aerosoft/EDDF.xml\n");
    const std::string zipped = first["tblo/tblo.zip"];
    for (const char* name : {"EDDF.xml=", "EHAM.xml=", "KBOS.xml="}) {
        EXPECT_NE(zipped.find(name), std::string::npos) << name;
    }
    for (const char* name : {"EHAM.xml", "KBOS.xml"}) {
        const std::string entry =
            name + ("=" + first[std::string("airports/my_thirdparty/") + name] + ";");
        EXPECT_NE(zipped.find(entry), std::string::npos) << name;
    }
    const std::string& report = first["report"];
    for (const char* line : {"Generated EDDF.xml: 5 positions\n",
                             "===> EDDF has 5 parkpos while archived one has 3\n",
                             "Generated LFPG.xml: 3 positions, of which 1 helipad\n",
                             "Generated EHAM.xml: 3 positions\n",
                             "thirdparty FlyTampa KBOS does not exist\n",
                             "simaddon airport EGLL linked to archive/simaddon/EGLL.xml\n",
                             "LFPG does not exist as simaddon\n"}) {
        EXPECT_NE(report.find(line), std::string::npos) << line;
    }
    // LOWI is damaged everywhere but in huge.bgl, whose damage lies after the airport.
    EXPECT_NE(report.find("Generated LOWI"), std::string::npos);
    EXPECT_EQ(report.find("Generated LOWI"), report.rfind("Generated LOWI"));
    // The linked package's files once, whatever number of paths leads to them.
    EXPECT_NE(report.find("Generated EHAM.xml: 7 positions"), std::string::npos);
    EXPECT_EQ(report.find("Generated EHAM.xml: 7"), report.rfind("Generated EHAM.xml: 7"));
    // Statics (capital S) is scanned, "statics" and an aircraft package are not.
    EXPECT_EQ(report.find("EHAM3"), std::string::npos);
    EXPECT_EQ(report.find("fbw-aircraft"), std::string::npos);
    EXPECT_NE(report.find("Statics/EHAM2.bgl"), std::string::npos);
    EXPECT_GE(std::count(report.begin(), report.end(), '\n'), 20);
    EXPECT_NE(report.find("===> BGL format error in "), std::string::npos);
    // The park-airport lookup finds what the scan wrote: a stand file, or the link before it.
    EXPECT_EQ(gf_findArchivedApf(AirportCode("KBOS").word()), "airports/my_thirdparty/KBOS.xml");
    EXPECT_EQ(gf_findArchivedApf(AirportCode("EDDF").word()),
              "archive/thirdparty/Aerosoft/EDDF.xml");

    // A close request half-way through the next scan: the stand files, the report and the zip
    // of the last complete scan stay, and the scan stays due.
    CapturedLog log;
    SCAN_AIRPORTS.current = true;
    EXPECT_EQ(stopWithinTheNextScan().tbloFiles, 3u);
    EXPECT_TRUE(SCAN_AIRPORTS.current);
    EXPECT_EQ(output(), first);
    EXPECT_TRUE(log.contains("airports scan interrupted"));
    EXPECT_FALSE(log.contains("Warning: Scan has not found any add-on airports"));
    EXPECT_FALSE(fs::exists(gf_scanStagingOf(g_myThirdpartyDir)));
    EXPECT_FALSE(fs::exists(gf_scanStagingOf(g_mySimaddonDir)));
}

// The program died between the two renames that put a complete scan's folders in place, and
// the next start made the live folders anew, empty, before its scan was stopped: that complete
// scan is in place.
TEST_F(AirportScan, ACrashBetweenTheRenamesOfASwapLeavesTheLastCompleteScan)
{
    ASSERT_TRUE(gf_detectMsfs(true));
    gf_scanAirports({true, 2});
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        fs::create_directories(live / "kept by the user");
        fs::rename(live, fs::path(live) += ".old");
        fs::create_directories(gf_scanStagingOf(live));
        writeFile(gf_scanStagingOf(live) / "KBOS.xml", "the scan that was being put in place");
        writeFile(gf_scanStagingOf(live) / ".scan-complete", "");
        fs::create_directories(live);
    }
    stopWithinTheNextScan();
    for (const fs::path& live : {g_myThirdpartyDir, g_mySimaddonDir}) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(live)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"KBOS.xml", "kept by the user"})) << live;
        EXPECT_EQ(readFile(live / "KBOS.xml"), "the scan that was being put in place");
        EXPECT_FALSE(fs::exists(fs::path(live) += ".old"));
    }
}

// Removing the folder a swap moved aside fails, as a file in it held open by another program
// makes it fail on Windows. The next complete scan puts itself in place without an error, a
// killed scan and then a stopped one leave the newer complete scan in place, and what is left
// aside goes once it can.
TEST_F(AirportScan, AFolderLeftAsideNeitherComesBackNorStandsInTheWayOfTheNextScan)
{
    ASSERT_TRUE(gf_detectMsfs(true));
    gf_scanAirports({true, 2});
    platform::failRemovals([](const fs::path& path) {
        return path.filename().string().starts_with("my_thirdparty.old")
                   ? std::make_error_code(std::errc::permission_denied)
                   : std::error_code();
    });
    fs::remove_all(packages_ / "Community" / "flytampa-kbos");
    CapturedLog log;
    EXPECT_FALSE(gf_scanAirports({true, 2}).interrupted);
    const auto newer = output();
    EXPECT_EQ(newer.count("airports/my_thirdparty/KBOS.xml"), 0u);
    EXPECT_TRUE(fs::exists(fs::path(g_myThirdpartyDir) += ".old"));
    EXPECT_TRUE(log.contains(
        "==> Failed to remove airports/my_thirdparty.old (Permission denied), a later scan will"));

    EXPECT_NO_THROW(EXPECT_FALSE(gf_scanAirports({true, 2}).interrupted));
    EXPECT_EQ(output(), newer);

    // What a scan killed half-way leaves.
    fs::create_directories(gf_scanStagingOf(g_myThirdpartyDir));
    writeFile(gf_scanStagingOf(g_myThirdpartyDir) / "EHAM.xml", "half a scan");
    stopWithinTheNextScan();
    EXPECT_EQ(output(), newer);

    platform::failRemovals({});
    stopWithinTheNextScan();
    EXPECT_EQ(output(), newer);
    for (const auto& entry : fs::directory_iterator(g_airportsDir)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("my_thirdparty."))
            << entry.path();
    }
}

TEST_F(AirportScan, ScannedStandsLoadThroughTheStandFileReader)
{
    ASSERT_TRUE(gf_detectMsfs(true));
    gf_scanAirports({true, 2});
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file((g_mySimaddonDir / "LFPG.xml").c_str()));
    gf_clearParkAirportTable();
    gf_readParkPositions(document);
    ASSERT_EQ(g_parkStands.size(), 3u);
    EXPECT_EQ(g_parkStands[0].id, "g1");
    EXPECT_EQ(g_parkStands[2].id, "helipad1");
    EXPECT_TRUE(g_parkStands[2].helipad);
    EXPECT_TRUE(g_parkStands[1].cargo);  // the first parking written is a cargo spot
    EXPECT_NEAR(g_parkStands[0].radius * 1852.0, 20.0, 0.05);
    gf_clearParkAirportTable();
}

TEST_F(AirportScan, FilesThatCannotBeWrittenAreReportedAndTheFailedZipAsksForNothing)
{
    ASSERT_TRUE(gf_detectMsfs(true));
    // Folders in the places of a stand file and of the zip cannot be replaced by files; the
    // first appears while its airport is decoded.
    const auto publisherOf = g_addonArchives.publisherOf;
    g_addonArchives.publisherOf = [publisherOf](std::string_view text) {
        if (text.find("flytampa") != std::string_view::npos) {
            fs::create_directories(gf_scanStagingOf(g_myThirdpartyDir) / "KBOS.xml" / "inside");
        }
        return publisherOf(text);
    };
    fs::create_directories(g_tbloDir / "tblo.zip" / "inside");
    CapturedLog log;
    const AirportScanResult result = gf_scanAirports({true, 2});
    EXPECT_TRUE(result.foundAddons);
    EXPECT_EQ(result.tbloFiles, 0u);
    EXPECT_EQ(g_sceneryWindowCounts.tbloFileCount.load(), 0u);
    const auto lines = log.lines();
    const auto logged = [&lines](std::string_view part) {
        return std::any_of(lines.begin(), lines.end(), [part](const std::string& line) {
            return line.find(part) != std::string::npos;
        });
    };
    EXPECT_TRUE(logged("Zippen TBLO folder failed"));
    EXPECT_TRUE(logged("[zip] Could not remove old zip"));
    EXPECT_FALSE(logged("! Mail"));
    EXPECT_FALSE(fs::exists(g_tbloDir));
    // The stand files of unlinked airports stay; the one sent in place of EDDF's link is gone.
    EXPECT_TRUE(fs::exists(g_myThirdpartyDir / "EHAM.xml"));
    EXPECT_TRUE(fs::exists(g_myThirdpartyDir / "EDDF.txt"));
    EXPECT_FALSE(fs::exists(g_myThirdpartyDir / "EDDF.xml"));
    EXPECT_NE(readFile(g_airportsScanLogTxt)
                  .find("===> Generating airports/my_thirdparty/KBOS.xml did not succeed\n"),
              std::string::npos);
    for (const auto& entry : fs::directory_iterator(g_myThirdpartyDir)) {
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
}

TEST_F(AirportScan, EmptyScanReportsNoZipAndRemovesTblo)
{
    fs::remove_all(packages_ / "Community");
    fs::remove_all(packages_ / "Official" / "OneStore");
    fs::create_directories(packages_ / "Community");
    fs::create_directories(g_tbloDir);
    writeFile(g_tbloDir / "tblo.zip", "an old zip");
    ASSERT_TRUE(gf_detectMsfs(true));
    CapturedLog log;
    const AirportScanResult result = gf_scanAirports({true, 2});
    EXPECT_FALSE(result.foundAddons);
    EXPECT_EQ(result.tbloFiles, 0u);
    EXPECT_FALSE(fs::exists(g_tbloDir));
    EXPECT_TRUE(log.contains("Warning: Scan has not found any add-on airports"));
}

}  // namespace
}  // namespace qel
