#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/app.h"

namespace qel {
namespace {

TEST(CommandLine, LastProductionSwitchWinsWithoutRegardToCase)
{
    struct Case {
        std::vector<std::string> arguments;
        std::optional<bool> production;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{"--production"}, true},
        {{"/production"}, true},
        {{"/PRODUCTION"}, true},
        {{"--Production"}, true},
        {{"--no-production"}, false},
        {{"/No-Production"}, false},
        {{"--production", "--no-production"}, false},
        {{"--no-production", "/production"}, true},
        {{"other", "--production", "more"}, true},
        {{"-production"}, std::nullopt},
        {{"--productionx"}, std::nullopt},
        {{"production"}, std::nullopt},
        {{"--production", "--verbose"}, true},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.arguments) shown += a + " ";
        EXPECT_EQ(gf_productionSwitch(c.arguments), c.production) << shown;
    }
}

}  // namespace
}  // namespace qel
