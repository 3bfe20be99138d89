// The program's folders and file names, the per-user folder, and constants shared by every
// subsystem. Relative paths are relative to the program's folder, which is the working folder.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qel {

using Path = std::filesystem::path;

extern const Path g_installNewVersionExe;               // "install_new_version.exe"
extern const Path g_releaseNotesPdf;                    // "ReleaseNotes.pdf"
extern const Path g_newVersionDir;                      // "new_version"
extern const Path g_inputDir;                           // "input"
extern const Path g_dbaseEnc;                           // input/dbase.enc
extern const Path g_dbaseXml;                           // input/dbase.xml
extern const Path g_airportsEnc;                        // input/airports.enc
extern const Path g_airportsXml;                        // input/airports.xml
extern const Path g_aigRegcodesEnc;                     // input/AIG-regcodes.enc
extern const Path g_aigRegcodesXml;                     // input/AIG-regcodes.xml
extern const Path g_myRegcodesDir;                      // input/my_regcodes
extern const Path g_outputDir;                          // "output"
extern const Path g_liveriesScannedXml;                 // output/LiveriesScanned.xml
extern const Path g_infoDir;                            // output/info
extern const Path g_objectIdListTxt;                    // output/info/ObjectIdList.txt
extern const Path g_airportsScanLogTxt;                 // output/info/AirportsScanLog.txt
extern const Path g_aircraftCfgWithNoFltsimSectionTxt;  // output/info/...
extern const Path g_registrationCodeConversionsTxt;     // output/info/...
extern const Path g_myMultRegcodesTxt;                  // output/info/MyMultRegcodes.txt
extern const Path g_errorsDir;                          // output/errors
extern const Path g_inlineRegcodesTxt;                  // output/errors/InlineRegcodes.txt
extern const Path g_invalidAirlineCodesTxt;             // output/errors/...
extern const Path g_invalidAircraftCodesTxt;            // output/errors/...
extern const Path g_fixesTxt;                           // output/errors/Fixes.txt
extern const Path g_invalidAircraftCfgFilesTxt;         // output/errors/...
extern const Path g_incompleFltsimSectionsTxt;          // output/errors/...
extern const Path g_airportsDir;                        // "airports"
extern const Path g_mySimaddonDir;                      // airports/my_simaddon
extern const Path g_myThirdpartyDir;                    // airports/my_thirdparty
extern const Path g_learnedDir;                         // airports/learned
extern const Path g_learnedStockDir;                    // airports/learned/stock
extern const Path g_learnedSimaddonDir;                 // airports/learned/simaddon
extern const Path g_learnedThirdpartyDir;               // airports/learned/thirdparty
extern const Path g_myParkAirportsTxt;                  // airports/my_park_airports.txt
extern const Path g_docsDir;                            // "docs"
extern const Path g_tbloDir;                            // "tblo"
extern const Path g_tbloZip;                            // "tblo.zip"

// Single names that their users join into paths themselves.
inline constexpr std::string_view g_stockName = "stock";
inline constexpr std::string_view g_simaddonName = "simaddon";
inline constexpr std::string_view g_thirdpartyName = "thirdparty";
inline constexpr std::string_view g_archiveName = "archive";
inline constexpr std::string_view g_infoName = "info";
inline constexpr std::string_view g_errorsName = "errors";
inline constexpr std::string_view g_steamName = "Steam";
inline constexpr std::string_view g_oneStoreName = "OneStore";
inline constexpr std::string_view g_fsBaseName = "fs-base";
inline constexpr std::string_view g_communityName = "Community";
inline constexpr std::string_view g_officialName = "Official";
inline constexpr std::string_view g_official2024Name = "Official2024";
inline constexpr std::string_view g_parametersXmlName = "parameters.xml";
inline constexpr std::string_view g_aigRegcodesXmlName = "AIG-regcodes.xml";
inline constexpr std::string_view g_airportsP3dXmlName = "airports_p3d.xml";
inline constexpr std::string_view g_airportsMsfsNamesXmlName = "airports_msfs_names.xml";
inline constexpr std::string_view g_airportsMsfsXmlName = "airports_msfs.xml";

inline constexpr std::string_view g_shortName = "VNTQ";

// The per-user folder (roaming application data / "VNTQ") and parameters.xml in it, with the
// latter's UTF-8 text for log lines. Computed before the entry point; the folder is created at
// start-up. Written only by gf_setAppDataDir, before other threads run.
extern Path g_appDataDir;
extern Path g_parametersPath;
extern std::string g_parametersPathUtf8;
// Points the per-user folder elsewhere (tests, and a start-up that finds the folder moved).
void gf_setAppDataDir(const Path& dir);
// The roaming application-data folder joined with "VNTQ", or the relative "VNTQ" when the
// known folder cannot be found; what g_appDataDir starts as. Any thread.
Path gf_defaultAppDataDir();

// The keys of the nine settings an airport stand file may override.
extern const std::vector<std::string_view> g_apfParameterKeys;
// RANGE's default in nautical miles and in whole metres, kept in step with RANGE by the window.
extern std::atomic<double> g_rangeNm;   // atomic: the window writes, readers read
extern std::atomic<int32_t> g_range_m;  // atomic
// The placeholder for a missing 3-character airport code.
inline constexpr std::string_view g_placeholderCode3 = "XXX";

}  // namespace qel
