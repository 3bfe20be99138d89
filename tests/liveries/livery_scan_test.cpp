#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/textfile.h"
#include "livery_scan_fixtures.h"

namespace qel {
namespace {

namespace fs = std::filesystem;
using test::CapturedLog;
using test::makeLivery;
using test::writeCfg;

std::vector<std::string> lines(const fs::path& path)
{
    std::vector<std::string> out;
    if (!fs::exists(path)) return out;
    gf_splitLines(test::readFile(path), out);
    if (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

// The scan run as the start-up runs it: a working folder with output/info, parameters.xml in
// a per-user folder, the scan's settings at their defaults.
class LiveryScan : public test::LiveryScanTest {
protected:
    void SetUp() override
    {
        LiveryScanTest::SetUp();
        previousAppData_ = g_appDataDir;
        gf_setAppDataDir(user_.path());
        fs::create_directories(g_infoDir);
        fs::create_directories(g_errorsDir);
        resetSettings();
        setup_.maxTasks = 3;
        setup_.communityFolder = community_;
        setup_.hooks.enablePackageSelector = [this](bool on) { selectorEnabled_.push_back(on); };
        setup_.hooks.scanSettingCleared = [this] { ++cleared_; };
    }
    void TearDown() override
    {
        resetSettings();
        gf_setAppDataDir(previousAppData_);
        LiveryScanTest::TearDown();
    }
    static void resetSettings()
    {
        SCAN_LIVERIES.current = true;
        LIG_AUTOMATIC.current = true;
        LIG_PRIORITIZE.current = true;
        AI_PACKAGE_SELECTOR.assign(AI_PACKAGE_SELECTOR.defaultValue());
        for (auto* s : {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5,
                        &lfolder6, &lfolder7, &lfolder8, &lfolder9}) {
            s->assign("");
        }
        g_stopRequested = false;
        g_closeRequested = false;
    }
    std::vector<Livery> scanned()
    {
        LiveryList list;
        gf_readLiveriesScanned(g_liveriesScannedXml, list);
        return {list.begin(), list.end()};
    }

    test::ScopedWorkDir work_;
    test::TempDir user_;
    fs::path community_ = dir_ / "Community";
    LiveryScanSetup setup_;
    std::vector<bool> selectorEnabled_;
    int cleared_ = 0;
    fs::path previousAppData_;
};

// An AIG package: lower-case sections, unquoted values, atc_id, cargo parking, CRLF, one file
// in UTF-16 and one in Windows-1252.
void writeAigPackage(const fs::path& root)
{
    const auto planes = root / "SimObjects" / "Airplanes";
    writeCfg(planes / "AIG_A320" / "aircraft.cfg",
             "[general]\r\nicao_type_designator=A320\r\n\r\n[fltsim.0]\r\ntitle=AIG A320 DLH\r\n"
             "atc_id=D-AIAB\r\natc_parking_types=GATE,RAMP\r\nicao_airline=DLH\r\n[fltsim.1]\r\n"
             "title=AIG A320 KLM\r\natc_id=PH-AAA\r\nicao_airline=KLM\r\n");
    writeCfg(planes / "AIG_B738F" / "aircraft.cfg",
             test::utf16("[general]\nicao_type_designator=B38M\n[fltsim.0]\ntitle=AIG B738 "
                         "Freighter Ü\natc_id=EI-ABC\natc_parking_types=CARGO,RAMP\n"
                         "icao_airline=BOX\n[fltsim.1]\ntitle=AIG B738 bad\natc_id=X*Y12\n"
                         "icao_airline=BOX\n",
                         false));
    writeCfg(planes / "AIG_C172" / "aircraft.cfg",
             test::latin1("[general]\nicao_type_designator=C172\n[fltsim.0]\ntitle=Cessna "
                          "Privée D-EABC\n[fltsim.0]\ntitle=Cessna again\n[fltsim.1] damaged\n"
                          "title=Cessna other\nicao_airline=QQQ\n"));
    writeCfg(planes / "airport_vehicles" / "aircraft.cfg", "[fltsim.0]\ntitle=Tug\n");
    writeCfg(planes / "AIG_EMPTY" / "aircraft.cfg", "[general]\nicao_type_designator=A320\n");
}

// An FSLTL package: a base container, quoted values followed by comments, no atc_id.
void writeFsltlPackage(const fs::path& root)
{
    writeCfg(root / "SimObjects" / "Airplanes" / "FSLTL_A320_VAR" / "aircraft.cfg",
             "[VARIATION]\nbase_container = \"..\\Base\" ; the shared model\n[GENERAL]\n"
             "icao_type_designator = \"A320\" ; type\n[FLTSIM.0]\n"
             "title = \"FSLTL_A320_DLH\" ; Lufthansa\nicao_airline = \"DLH\" ; airline\n"
             "atc_parking_types = \"GATE\" ; gates\n[FLTSIM.1]\ntitle = \"FSLTL_A320_EWG\"\n"
             "icao_airline = \"EWG\" ; Eurowings\n[FLTSIM.2]\ntitle = \"FSLTL bad\"\n"
             "atc_id = \"X*Y12\"\nicao_airline = \"EWG\"\n");
}

TEST_F(LiveryScan, AutomaticScanOfEveryKindOfPackage)
{
    writeAigPackage(community_ / "aig-aitraffic-oci-beta");
    writeAigPackage(community_ / "a-aig-aitraffic-oci_CVT_");
    writeFsltlPackage(community_ / "fsltl-traffic-base");
    const auto ivao = community_ / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_B738";
    fs::create_directories(ivao / "texture.KLM");
    writeCfg(ivao / "aircraft.cfg", "[fltsim.0]\ntitle=B738 KLM\ntexture=KLM\n");
    writeCfg(community_ / "user-aitraffic" / "A320" / "aircraft.cfg",
             "icao_type_designator=A320\n[fltsim.0]\ntitle=User DLH A320\nicao_airline=DLH\n");
    AI_PACKAGE_SELECTOR.assign("MTL, FSLTL, AIG");
    CapturedLog log;

    EXPECT_EQ(gf_scanLiveries(setup_), LiveryScanResult::Done);

    // Folder numbers 1 IVAO_MTL, 2 FSLTL, 3 AIG, 4 user: DLH A320 of AIG and of the user's
    // folder give way to FSLTL's.
    EXPECT_EQ(scanned(),
              (std::vector<Livery>{
                  makeLivery("AIG B738 Freighter Ü", "BOX", "B738", "EI-ABC", true, 0),
                  makeLivery("AIG B738 bad", "BOX", "B738", "", false, 0),
                  makeLivery("FSLTL_A320_DLH", "DLH", "A320", "", false, 0),
                  makeLivery("FSLTL bad", "EWG", "A320", "", false, 0),
                  makeLivery("FSLTL_A320_EWG", "EWG", "A320", "", false, 0),
                  makeLivery("AIG A320 KLM", "KLM", "A320", "PH-AAA", false, 0),
                  makeLivery("B738 KLM", "KLM", "B738", "", false, 0),
                  makeLivery("Cessna Privée D-EABC", "PVT", "C172", "D-", false, 0),
                  makeLivery("Cessna again", "PVT", "C172", "", false, 0),
                  makeLivery("Cessna other", "PVT", "C172", "", false, 0),
              }));
    const std::string c = community_.string();
    const std::vector<std::string> expectedLog = {
        "",
        "++++++++++++++++++++++++ liveries scan automatic starts ++++++++++++++++++++++++++++++++",
        fmt::format("Automatic IVAO_MTL scan found folder: '{}/IVAO_MTL'", c),
        fmt::format("Automatic FSLTL scan found folder: '{}/fsltl-traffic-base'", c),
        fmt::format("Automatic AIG scan found folder: '{}/aig-aitraffic-oci-beta'", c),
        fmt::format("Automatic user-aitraffic scan found folder: '{}/user-aitraffic'", c),
        fmt::format("1 liverie found in {}/IVAO_MTL", c),
        fmt::format("3 liveries found in {}/fsltl-traffic-base", c),
        fmt::format("7 liveries found in {}/aig-aitraffic-oci-beta", c),
        fmt::format("1 liverie found in {}/user-aitraffic", c),
        "12 in total",
        "10 liveries in output/LiveriesScanned.xml",
        "",
        "Errors:",
        "    1 invalid airline code, see output/errors/InvalidAirlineCodes.txt",
        "    1 fixes, see output/errors/Fixes.txt",
        "    5 incomplete [fltsim.x] sections, see output/errors/IncompleFltsimSections.txt",
        "",
        "Information:",
        "    1 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt",
        "SCAN_LIVERIES=false",
        "",
        "",
        "++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++",
        "",
    };
    auto logged = log.lines();
    // A first save of parameters.xml lists every setting; only the scan's own line counts.
    std::erase_if(logged, [](const std::string& line) {
        return line.find("don't use") != std::string::npos || line.starts_with("*") ||
               line.find("read from") != std::string::npos ||
               (line.find('=') != std::string::npos && !line.starts_with("SCAN_LIVERIES=") &&
                !line.starts_with("+"));
    });
    EXPECT_EQ(logged, expectedLog);
    const auto aig = community_ / "aig-aitraffic-oci-beta" / "SimObjects" / "Airplanes";
    // Sorted, the two equal lines of the repeated [fltsim.0] written once.
    EXPECT_EQ(lines(g_incompleFltsimSectionsTxt),
              (std::vector<std::string>{
                  fmt::format("{} [fltsim.0] icao_airline is missing, or it has invalid info ",
                              (aig / "AIG_C172" / "aircraft.cfg").string()),
                  fmt::format("{} [fltsim.1] damaged icao_airline is missing, or it has invalid "
                              "info ",
                              (aig / "AIG_C172" / "aircraft.cfg").string()),
                  "invalid atc_id=X*Y12 in: AIG B738 bad", "invalid atc_id=X*Y12 in: FSLTL bad"}));
    EXPECT_EQ(lines(g_invalidAirlineCodesTxt),
              std::vector<std::string>{fmt::format("{:12} in {} [fltsim.1] damaged", "QQQ",
                                                   (aig / "AIG_C172" / "aircraft.cfg").string())});
    EXPECT_EQ(lines(g_fixesTxt),
              std::vector<std::string>{fmt::format("Model fix: B38M found in {} changed into B738",
                                                   (aig / "AIG_B738F" / "aircraft.cfg").string())});
    EXPECT_EQ(lines(g_aircraftCfgWithNoFltsimSectionTxt),
              std::vector<std::string>{(aig / "AIG_EMPTY" / "aircraft.cfg").string()});
    EXPECT_FALSE(SCAN_LIVERIES.current);
    EXPECT_EQ(test::savedParameter(g_parametersPath, "SCAN_LIVERIES"), "false");
    EXPECT_EQ(cleared_, 1);
    EXPECT_EQ(selectorEnabled_, (std::vector<bool>{false, true}));
    EXPECT_TRUE(g_liveries.empty());
    EXPECT_TRUE(g_incompleteSectionLines.copy().empty());
}

TEST_F(LiveryScan, StoppedOrUnwrittenScanStaysDueAndTheNextScanStartsClean)
{
    const auto planes = community_ / "user-aitraffic" / "SimObjects";
    writeCfg(planes / "a" / "aircraft.cfg",
             "icao_type_designator=B38M\n[fltsim.0]\ntitle=T1\nicao_airline=DLH\n");
    writeCfg(planes / "b" / "aircraft.cfg",
             "icao_type_designator=A320\n[fltsim.0]\ntitle=T2\nicao_airline=DLH\n");
    const auto writtenBefore = fs::exists(g_liveriesScannedXml);
    setup_.maxTasks = 1;
    setup_.parser = [&](uint32_t folder, const fs::path& path) {
        // The user closes the window while the files are parsed.
        g_closeRequested = true;
        return lf_parseAircraftCfg(folder, path);
    };
    EXPECT_EQ(gf_scanLiveries(setup_), LiveryScanResult::Interrupted);
    EXPECT_FALSE(writtenBefore || fs::exists(g_liveriesScannedXml));
    EXPECT_TRUE(SCAN_LIVERIES.current);
    EXPECT_FALSE(test::savedParameter(g_parametersPath, "SCAN_LIVERIES").has_value());

    // A list that cannot be saved (a folder in its place) fails the scan, which stays due.
    g_closeRequested = false;
    setup_.parser = nullptr;
    fs::create_directories(g_liveriesScannedXml / "inside");
    {
        CapturedLog log;
        try {
            gf_scanLiveries(setup_);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "output/LiveriesScanned.xml could not be written");
        }
        EXPECT_TRUE(
            log.contains("==> 2 liveries could not be written to "
                         "output/LiveriesScanned.xml"));
        EXPECT_FALSE(log.contains("2 liveries in output/LiveriesScanned.xml"));
        EXPECT_TRUE(SCAN_LIVERIES.current);
        EXPECT_EQ(cleared_, 0);
        EXPECT_FALSE(test::savedParameter(g_parametersPath, "SCAN_LIVERIES").has_value());
    }
    fs::remove_all(g_liveriesScannedXml);

    // The next start (same process) scans again: the earlier scans' titles and fixes are gone.
    for (int scan = 0; scan < 2; ++scan) {
        SCOPED_TRACE(scan);
        CapturedLog log;
        EXPECT_EQ(gf_scanLiveries(setup_), LiveryScanResult::Done);
        EXPECT_EQ(scanned().size(), 2U);
        EXPECT_EQ(lines(g_fixesTxt).size(), 1U);
        EXPECT_TRUE(log.contains("    1 fixes, see output/errors/Fixes.txt"));
    }
}

TEST_F(LiveryScan, FailuresTheUserMustMend)
{
    struct Case {
        const char* name;
        bool automatic;
        std::function<void()> arrange;
        bool parserFindsNothing;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"no package", true, [] {}, false,
         "43: Automatic scan has not found any AI packages, choose a different selection (or go "
         "to Manual mode, see Manual 5.2)"},
        {"package without liveries", true,
         [this] {
             writeCfg(community_ / "fsltl-traffic-base" / "aircraft.cfg",
                      "icao_type_designator=A320\n[fltsim.0]\ntitle=T\n");
             AI_PACKAGE_SELECTOR.assign("FSLTL");
         },
         true,
         "143: Automatic scan has not found any liveries, choose a different selection, or "
         "switch off automatic and set lfolder parameter(-s)"},
        {"missing lfolder", false, [this] { lfolder2.assign((dir_ / "gone").string()); }, false,
         "243: the path pointed to by parameter 'lfolder2' does not exist, see Log.txt!"},
        {"manual without liveries", false,
         [this] {
             fs::create_directories(dir_ / "empty");
             lfolder0.assign((dir_ / "empty").string());
         },
         false,
         "53: no liveries found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(community_);
        fs::create_directories(community_);
        resetSettings();
        LIG_AUTOMATIC.current = c.automatic;
        selectorEnabled_.clear();
        c.arrange();
        if (c.parserFindsNothing) {
            setup_.parser = [](uint32_t, const fs::path&) { return LiveryList{}; };
        }
        try {
            gf_scanLiveries(setup_);
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        setup_.parser = nullptr;
        EXPECT_TRUE(SCAN_LIVERIES.current);
        // The combo box stays disabled only after a manual-mode failure.
        EXPECT_EQ(selectorEnabled_.back(), c.automatic);
    }
    AI_PACKAGE_SELECTOR.assign("AIG, AIG");
    LIG_AUTOMATIC.current = true;
    EXPECT_THROW(
        {
            try {
                gf_scanLiveries(setup_);
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "AI_PACKAGE_SELECTOR not set");
                throw;
            }
        },
        std::runtime_error);
}

TEST_F(LiveryScan, ManualFoldersInOrderWithoutPrioritizing)
{
    const auto one = dir_ / "one";
    const auto two = dir_ / "two";
    const auto empty = dir_ / "empty";
    writeCfg(one / "aircraft.cfg", "icao_type_designator=A320\n[fltsim.0]\ntitle=T1\n"
                                   "icao_airline=DLH\n");
    writeCfg(two / "aircraft.cfg", "icao_type_designator=A320\n[fltsim.0]\ntitle=T2\n"
                                   "icao_airline=DLH\n");
    fs::create_directories(empty);
    writeCfg(dir_ / "file.txt", "");
    lfolder1.assign(one.string());
    lfolder3.assign((dir_ / "file.txt").string());
    lfolder4.assign(empty.string());
    lfolder6.assign(two.string());
    LIG_AUTOMATIC.current = false;
    LIG_PRIORITIZE.current = false;
    CapturedLog log;
    EXPECT_EQ(gf_scanLiveries(setup_), LiveryScanResult::Done);
    EXPECT_EQ(scanned(), (std::vector<Livery>{makeLivery("T1", "DLH", "A320", "", false, 0),
                                              makeLivery("T2", "DLH", "A320", "", false, 0)}));
    EXPECT_TRUE(log.contains(fmt::format("1 liverie found in {}", one.string())));
    EXPECT_TRUE(log.contains((dir_ / "file.txt").string() + " is not a folder name, skipped!"));
    EXPECT_TRUE(log.contains(fmt::format("No liveries found in {}", empty.string())));
    EXPECT_TRUE(log.contains("2 in total"));
    EXPECT_TRUE(log.contains("No errors"));
}

}  // namespace
}  // namespace qel
