// A FlightGear parking list (groundnet file) as the stand archive tool reads it.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "tools/datafile_builder.h"
#include "tools/stand_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::size_t skipped = 0;
    try {
        for (const auto& stand : qel::datafile::readFlightGearParking(
                 std::string(qel::fuzz::asText(data, size)), skipped)) {
            qel::fuzz::require(std::abs(stand.latitude) <= 90.0 &&
                               std::abs(stand.longitude) <= 180.0 && stand.radius > 0.0);
        }
    } catch (const qel::datafile::SourceError&) {
        // A file that does not parse is refused whole.
    }
    return 0;
}
