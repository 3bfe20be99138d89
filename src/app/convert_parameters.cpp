// Loading parameters.xml at every start: a first start makes both scans due, a file from an
// older program version is stamped with the running one, and one older than 11.0.2 is
// replaced by the defaults.
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "app/core.h"
#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/settings.h"
#include "foundation/version.h"
#include "ui/ui.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

const VersionData kOldestConvertible{11, 0, 2};

bool lf_exists(const fs::path& path)
{
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) {
        throw fs::filesystem_error("exists", path, ec);
    }
    return fs::exists(status);
}

void lf_removeNewVersionFolder()
{
    if (!lf_exists(g_newVersionDir)) return;
    std::error_code ec;
    fs::remove(g_newVersionDir, ec);
    if (ec == std::errc::directory_not_empty) {
        ec.clear();
        fs::remove_all(g_newVersionDir, ec);
    }
    if (ec) throw fs::filesystem_error("remove_all", g_newVersionDir, ec);
}

// The settings in memory go back to their defaults with the file, so that the program does not
// go on with, and later save, the values it has just thrown away.
void lf_resetSettingsToDefaults()
{
    for (auto* setting : g_boolParams) {
        if (!setting) continue;
        setting->current = setting->defaultValue;
        gf_showBoolParameter(*setting);
    }
    for (auto* setting : g_numParams) {
        if (setting) setting->current = setting->defaultValue;
    }
    for (auto* setting : g_comboParams) {
        if (!setting) continue;
        setting->current = setting->defaultValue;
        gf_showIntParameter(*setting);
    }
    for (auto* setting : g_stringParams) {
        if (setting) setting->assign(setting->defaultValue());
    }
    for (auto* setting : g_editParams) {
        if (!setting) continue;
        setting->assign(setting->defaultValue());
        gf_showTextParameter(*setting);
    }
    PROGRAM_VERSION.assign(g_programVersion.text());
}

void lf_writeDefaults()
{
    std::scoped_lock lock(g_parametersMutex);
    if (lf_exists(g_parametersPath)) {
        std::error_code ec;
        fs::remove(g_parametersPath, ec);
        if (ec) throw fs::filesystem_error("remove", g_parametersPath, ec);
    }
    lf_resetSettingsToDefaults();
    gf_saveParameters(true);
}

}  // namespace

bool lf_versionUpdate()
{
    const std::string stored = PROGRAM_VERSION.value();
    if (stored.empty()) {
        PROGRAM_VERSION.set(g_programVersion.text());
        return false;
    }
    const VersionData previous(stored);
    if (previous != g_programVersion) PROGRAM_VERSION.set(g_programVersion.text());
    if (g_programVersion <= previous) return false;
    gf_log(fmt::format("This is a version update from {} -> {}", previous.text(),
                       g_programVersion.text()));
    if (previous < kOldestConvertible) return true;
    lf_removeNewVersionFolder();
    return false;
}

void lf_convertParameters()
{
    if (gf_readParameters()) {
        // The new file carries the running version; memory follows it.
        PROGRAM_VERSION.assign(g_programVersion.text());
        for (auto* setting : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
            setting->current = true;
            gf_saveBoolParameter(*setting);
            gf_showBoolParameter(*setting);
        }
        return;
    }
    if (!lf_versionUpdate()) return;
    gf_log(
        "Your previous version was too old to convert the old text box parameters to the "
        "newdropbox values.");
    gf_log(fmt::format("{} re-starts with default parameter values ...", g_shortName));
    lf_writeDefaults();
}

}  // namespace qel
