// A test fixture for code that reads or writes settings: parameters.xml in a temporary per-user
// folder, Log.txt captured, and every setting back at its default before and after each test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/settings.h"
#include "foundation/window_status.h"
#include "support/test_support.h"

namespace qel::test {

inline void resetBinding(ControlBinding& binding) { binding.controlWindow = nullptr; }

// Every setting at its default, no control attached, no stop under way.
inline void resetAllSettings()
{
    for (auto* s : g_boolParams) {
        s->current = s->defaultValue;
        resetBinding(*s);
    }
    for (auto* s : g_numParams) s->current = s->defaultValue;
    for (auto* s : g_comboParams) {
        s->current = s->defaultValue;
        resetBinding(*s);
    }
    PROGRAM_VERSION.setDefaultValue("");
    for (auto* s : g_stringParams) s->assign(s->defaultValue());
    for (auto* s : g_editParams) {
        s->assign(s->defaultValue());
        resetBinding(*s);
    }
    resetBinding(AI_PACKAGE_SELECTOR);
    resetBinding(DESTINATION);
    MAX_FIT_FL.current = MAX_FIT_FL.defaultValue;
    resetBinding(MAX_FIT_FL);
    parking_percentage.current = parking_percentage.defaultValue;
    resetBinding(parking_percentage);
    ALL_INSTALL_PATH.assign(ALL_INSTALL_PATH.defaultValue());
    resetBinding(ALL_INSTALL_PATH);
    CALLSIGN_2_OBJECTID.assign("");
    CALLSIGN_2_OBJECTID.replaceChoices(std::make_shared<const std::vector<std::string>>(1));
    resetBinding(CALLSIGN_2_OBJECTID);
    g_stopRequested = false;
    g_closeRequested = false;
}

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() : previousDir_(g_appDataDir)
    {
        gf_setAppDataDir(dir_.path());
        resetAllSettings();
    }
    ~SettingsTest() override
    {
        resetAllSettings();
        gf_setAppDataDir(previousDir_);
    }

    std::filesystem::path file() const { return g_parametersPath; }

    TempDir dir_;
    CapturedLog log_;

private:
    std::filesystem::path previousDir_;
};

}  // namespace qel::test
