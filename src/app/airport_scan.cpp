// The add-on airport scan as the start-up runs it: the aircraft database's publisher and
// archive lists handed to the scenery library, and the tblo.zip button afterwards.
#include <optional>
#include <string>
#include <string_view>

#include "app/app.h"
#include "app/core.h"
#include "foundation/catalogue.h"
#include "liveries/liveries.h"
#include "scenery/addon_archives.h"
#include "scenery/scan.h"
#include "ui/ui.h"

namespace qel {

namespace {

std::filesystem::path lf_pathOf(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The stand count of the archived file of the first record of the publisher that lists the
// airport; the list entry is the code followed by the count.
std::optional<int32_t> lf_thirdPartyStandCount(std::string_view publisher, std::string_view code,
                                               bool msfs2020)
{
    const std::string label(publisher);
    const std::string codeText(code);
    for (const auto& record : msfs2020 ? g_thirdPartyAirports20 : g_thirdPartyAirports24) {
        if (record.publisher != publisher) continue;
        int count = 0;
        const CodeNumberContext context{&label, codeText.c_str(), &count};
        for (const auto& entry : record.airports) {
            if (gf_parseCodeNumber(context, entry)) return count;
        }
    }
    return std::nullopt;
}

}  // namespace

void lf_wireAirportScan()
{
    g_addonArchives.publisherOf = [](std::string_view text) {
        return gf_publisherOfPath(lf_pathOf(text));
    };
    g_addonArchives.isSimAddonAirport = [](std::string_view code) {
        return g_simAddonAirports20.contains(code);
    };
    g_addonArchives.thirdPartyStandCount = lf_thirdPartyStandCount;
}

void lf_scanAirports()
{
    const AirportScanResult result = gf_scanAirports({g_isMsfs2020, g_maxTasks});
    gf_enableControlOf(g_tbloZipButton, result.tbloFiles > 0);
}

}  // namespace qel
