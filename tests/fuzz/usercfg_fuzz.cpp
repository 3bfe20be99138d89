// The simulator's UserCfg.opt: the packages folder read from its InstalledPackagesPath line.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "fuzz_support.h"
#include "platform/folders.h"
#include "scenery/install.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        const auto roaming = qel::fuzz::scratchDir() / "roaming";
        std::filesystem::create_directories(roaming / "Microsoft Flight Simulator");
        qel::platform::overrideKnownFolder(qel::platform::KnownFolder::RoamingAppData, roaming);
        qel::platform::overrideKnownFolder(qel::platform::KnownFolder::LocalAppData,
                                           std::nullopt);
        return true;
    }();
    (void)once;
    (void)qel::fuzz::writeScratch("roaming/Microsoft Flight Simulator/UserCfg.opt", data, size);
    (void)qel::lf_installedPackagesPath(true);
    return 0;
}
