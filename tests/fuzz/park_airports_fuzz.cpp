// The list of park airports: the bytes read as airports/my_park_airports.txt, the front entry
// written back into it, and the file read again.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "scenery/scenery.h"
#include "traffic/park_airports.h"
#include "traffic/traffic.h"

namespace {

void lf_knowAirports()
{
    qel::gf_clearAirports();
    double lat = 52.3;
    for (const char* code : {"EHAM", "EGLL", "EDDL", "KLAX"}) {
        qel::Airport airport;
        airport.code = qel::AirportCode(code);
        airport.latitude = lat;
        airport.longitude = 4.7;
        lat += 1.0;
        qel::g_airports.push_back(airport);
        qel::g_airportCodeSet.insert(airport.code.word());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        std::filesystem::create_directories(qel::fuzz::scratchDir() / "airports" /
                                            "my_thirdparty");
        lf_knowAirports();
        return true;
    }();
    (void)ready;
    qel::fuzz::writeScratch("airports/my_park_airports.txt", data, size);
    (void)qel::lf_readMyParkAirports();
    if (!qel::g_parkAirports.empty()) {
        qel::g_parkAirports.front().standName = "D16";
        qel::lf_writeMyParkAirports();
        (void)qel::lf_readMyParkAirports();
    }
    qel::lf_sortParkAirports({52.3, 4.7});
    qel::g_parkAirports.clear();
    return 0;
}
