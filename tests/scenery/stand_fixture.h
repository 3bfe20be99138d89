// Shared set-up of the stand-file tests: a program folder of its own, the log captured, the
// stand table and the park settings back at their start values.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "park_settings.h"
#include "scenery/scenery.h"
#include "support/test_support.h"

namespace qel::test {

// The code word of an airport code text.
inline uint32_t code(const char* text) { return AirportCode(text).word(); }

// A stand file: the meta block the reader wants, the rows and the stands given.
inline std::string standFileXml(const std::string& rows, const std::string& stands,
                                const std::string& version = "11.14.0")
{
    return "<?xml version=\"1.0\"?><root><meta><info name=\"author\" value=\"VNTQ\"/>"
           "<info name=\"version\" value=\"" + version + "\"/>"
           "<info name=\"copyright\" value=\"Copyright (c) 2026 Vanteloq\"/>"
           "<info name=\"sim\" value=\"1\"/></meta><parameters>" + rows +
           "</parameters><parkpositions>" + stands + "</parkpositions></root>";
}

inline std::string row(const std::string& name, const std::string& value)
{
    return "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
}

class StandFileTest : public ::testing::Test {
protected:
    StandFileTest()
    {
        gf_resetSceneryRun();
        resetParkSettings();
    }
    ~StandFileTest() override
    {
        gf_resetSceneryRun();
        g_registrationKeyLookup = nullptr;
        resetParkSettings();
    }

    ScopedWorkDir work_;
    CapturedLog log_;
};

}  // namespace qel::test
