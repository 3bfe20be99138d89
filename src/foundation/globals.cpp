// The program's folders and file names and the per-user folder. Each joined path is defined
// below its parts, as this unit's globals are built from top to bottom.
//
// The key views of the stand-file settings and the RANGE values are defined with the settings
// in catalogue.cpp, since they are read from those objects while being built.
#include "foundation/globals.h"

#include "platform/folders.h"

namespace qel {

const Path g_installNewVersionExe{"install_new_version.exe"};
const Path g_releaseNotesPdf{"ReleaseNotes.pdf"};
const Path g_newVersionDir{"new_version"};

const Path g_inputDir{"input"};
const Path g_dbaseEnc{g_inputDir / "dbase.enc"};
const Path g_dbaseXml{g_inputDir / "dbase.xml"};
const Path g_airportsEnc{g_inputDir / "airports.enc"};
const Path g_airportsXml{g_inputDir / "airports.xml"};
const Path g_aigRegcodesEnc{g_inputDir / "AIG-regcodes.enc"};
const Path g_aigRegcodesXml{g_inputDir / g_aigRegcodesXmlName};
const Path g_myRegcodesDir{g_inputDir / "my_regcodes"};

const Path g_outputDir{"output"};
const Path g_liveriesScannedXml{g_outputDir / "LiveriesScanned.xml"};
const Path g_infoDir{g_outputDir / g_infoName};
const Path g_objectIdListTxt{g_infoDir / "ObjectIdList.txt"};
const Path g_airportsScanLogTxt{g_infoDir / "AirportsScanLog.txt"};
const Path g_aircraftCfgWithNoFltsimSectionTxt{g_infoDir / "AircraftCfgWithNoFltsimSection.txt"};
const Path g_registrationCodeConversionsTxt{g_infoDir / "RegistrationCodeConversions.txt"};
const Path g_myMultRegcodesTxt{g_infoDir / "MyMultRegcodes.txt"};
const Path g_errorsDir{g_outputDir / g_errorsName};
const Path g_inlineRegcodesTxt{g_errorsDir / "InlineRegcodes.txt"};
const Path g_invalidAirlineCodesTxt{g_errorsDir / "InvalidAirlineCodes.txt"};
const Path g_invalidAircraftCodesTxt{g_errorsDir / "InvalidAircraftCodes.txt"};
const Path g_fixesTxt{g_errorsDir / "Fixes.txt"};
const Path g_invalidAircraftCfgFilesTxt{g_errorsDir / "InvalidAircraftCfgFiles.txt"};
const Path g_incompleFltsimSectionsTxt{g_errorsDir / "IncompleFltsimSections.txt"};

const Path g_airportsDir{"airports"};
const Path g_mySimaddonDir{g_airportsDir / "my_simaddon"};
const Path g_myThirdpartyDir{g_airportsDir / "my_thirdparty"};
const Path g_learnedDir{g_airportsDir / "learned"};
const Path g_learnedStockDir{g_learnedDir / g_stockName};
const Path g_learnedSimaddonDir{g_learnedDir / g_simaddonName};
const Path g_learnedThirdpartyDir{g_learnedDir / g_thirdpartyName};
const Path g_myParkAirportsTxt{g_airportsDir / "my_park_airports.txt"};

const Path g_docsDir{"docs"};
const Path g_tbloDir{"tblo"};
const Path g_tbloZip{"tblo.zip"};

// Written only by gf_setAppDataDir, before other threads run.
Path g_appDataDir{gf_defaultAppDataDir()};
Path g_parametersPath{g_appDataDir / g_parametersXmlName};
// The native name is UTF-8 here, so the path's text serves the log lines as it is.
std::string g_parametersPathUtf8{g_parametersPath.string()};

// The log is not open yet when this first runs, so a missing known folder cannot be reported.
Path gf_defaultAppDataDir()
{
    const auto base = platform::knownFolderPath(platform::KnownFolder::RoamingAppData);
    return base ? *base / g_shortName : Path(g_shortName);
}

void gf_setAppDataDir(const Path& dir)
{
    g_appDataDir = dir;
    g_parametersPath = g_appDataDir / g_parametersXmlName;
    g_parametersPathUtf8 = g_parametersPath.string();
}

}  // namespace qel
