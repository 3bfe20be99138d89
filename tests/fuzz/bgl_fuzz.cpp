// Scenery BGL files as add-on packages hold them: every airport decoded for both simulators,
// with a damaged file ending in its one format error.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "seed_airports.h"
#include "scenery/bgl.h"
#include "scenery/bgl_view.h"
#include "scenery/scenery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qel::fuzz::knowSeedAirports();
    for (const bool msfs2020 : {true, false}) {
        std::vector<qel::BglEntry> out;
        try {
            qel::gf_decodeBgl(std::span<const uint8_t>(data, size), "fuzz.bgl", msfs2020, out);
        } catch (const qel::BglFormatError&) {
        }
    }
    return 0;
}
