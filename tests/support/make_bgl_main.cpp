// vntq_make_bgl: writes an add-on airport's scenery BGL file with the tests' builder, for the
// demo's simulator packages. The stands come from a stand file (its parkpos elements): those
// whose id is a capital letter and a number, or a number alone, become parking spots, helipads
// become helipad records; other ids cannot be written in a BGL parking entry and are left out.
// The airport's elevation (feet, default 82) should be the simulator's field elevation: the
// program flares over the elevation it reads here.
//
//   vntq_make_bgl --stands EHAM.xml --ident EHAM --out pkg/scenery/EHAM.bgl --elevation-ft -11
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "support/bgl_builder.h"

namespace {

using namespace qel::test;

// "D14" → code of D and 14; "7" → 0 and 7; false for anything else.
bool parkingName(std::string_view id, uint32_t& nameCode, uint32_t& number)
{
    nameCode = 0;
    if (!id.empty() && id.front() >= 'A' && id.front() <= 'Z') {
        nameCode = 12 + static_cast<uint32_t>(id.front() - 'A');
        id.remove_prefix(1);
    }
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), number);
    return !id.empty() && error == std::errc{} && end == id.data() + id.size() && number < 4096;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string stands, ident, out;
    std::string_view elevation;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view key = argv[i];
        if (key == "--stands") stands = argv[i + 1];
        if (key == "--ident") ident = argv[i + 1];
        if (key == "--out") out = argv[i + 1];
        if (key == "--elevation-ft") elevation = argv[i + 1];
    }
    double elevation_ft = 82.0;
    if (!elevation.empty()) {
        const auto [end, error] =
            std::from_chars(elevation.data(), elevation.data() + elevation.size(), elevation_ft);
        if (error != std::errc{} || end != elevation.data() + elevation.size() ||
            std::abs(elevation_ft) > 30000.0) {
            stands.clear();
        }
    }
    if (stands.empty() || ident.size() != 4 || out.empty()) {
        std::fprintf(stderr,
                     "usage: vntq_make_bgl --stands FILE.xml --ident XXXX --out FILE.bgl "
                     "[--elevation-ft FEET]\n");
        return 2;
    }
    pugi::xml_document document;
    if (!document.load_file(stands.c_str())) {
        std::fprintf(stderr, "vntq_make_bgl: cannot read %s\n", stands.c_str());
        return 1;
    }
    BglAirportPlan airport;
    airport.ident = ident;
    airport.name = ident + " add-on";
    airport.altitude_mm = static_cast<int32_t>(std::lround(elevation_ft * 304.8));
    int left = 0;
    for (const auto& stand : document.child("root").child("parkpositions").children("parkpos")) {
        const double lat = stand.attribute("latitude").as_double();
        const double lon = stand.attribute("longitude").as_double();
        const float radius = stand.attribute("radius").as_float();
        if (stand.attribute("heli").as_bool()) {
            airport.helipads.push_back({lat, lon, 2.0f * radius});
            continue;
        }
        BglParkingSpec parking;
        if (!parkingName(stand.attribute("id").as_string(), parking.nameCode, parking.number)) {
            ++left;
            continue;
        }
        parking.type = stand.attribute("cargo").as_bool() ? 5 : 1;  // 5 cargo, 1 ramp
        parking.radius_m = radius;
        parking.heading_deg = stand.attribute("heading").as_float();
        parking.latitude = lat;
        parking.longitude = lon;
        airport.parkings.push_back(parking);
    }
    bglWrite(out, bglAirportFile({airport}));
    std::printf("vntq_make_bgl: %s with %zu parking spots and %zu helipads (%d ids left out)\n",
                out.c_str(), airport.parkings.size(), airport.helipads.size(), left);
    return 0;
}
