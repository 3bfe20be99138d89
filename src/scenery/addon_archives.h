// What the add-on airport scan needs of the aircraft database (its publisher groups and the
// lists of archived stand files), which lives in the liveries library beside this one. The
// program fills it in at start-up, before the scan; tests fill in what they need.
//
// Threads: written on the start-up thread before the scan, read-only during it (the scan tasks
// call it in parallel, so each function must be safe to call from any thread).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qel {

struct AddonArchives {
    // The publisher whose name patterns occur in the UTF-8 text (a path, a manifest's
    // manufacturer or creator); nothing when none does. Unset: no publisher is known.
    std::function<std::optional<std::string>(std::string_view text)> publisherOf;
    // The simulator's own add-on airport has an archived stand file ("EGLL"). Unset: none has.
    std::function<bool(std::string_view code)> isSimAddonAirport;
    // The stand count of the archived stand file of the publisher's airport in the list of the
    // simulator (0 when the list gives no count); nothing when the list lacks it. Unset: none.
    std::function<std::optional<int32_t>(std::string_view publisher, std::string_view code,
                                         bool msfs2020)>
        thirdPartyStandCount;
};

extern AddonArchives g_addonArchives;  // see the threads note above

}  // namespace qel
