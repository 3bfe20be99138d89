// The airport at a position, with the stands of two neighbouring airports deciding between
// them.
//
// Threads: main-loop thread only (one shared download file), but gf_forgetClosestStands.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "foundation/geodesy.h"
#include "scenery/scenery.h"

namespace qel {

// The airport at a position: the nearest of g_airports within 5.0 nm, or the runner-up (the
// second nearest within 5.0 nm) when one of its stands lies nearer to the position than every
// stand of the nearest. Nothing when no airport lies within 5.0 nm. Main-loop thread.
std::optional<Airport> gf_closestAirport(LatLon position);
// The distance in nm from the position to the nearest stand of the airport's stand file, that
// stand's id in `standId`; 100.0 (and `standId` untouched) when there is no stand to measure.
// Uses "airport.xml" in the program folder for an archived file: one call at a time. The
// stands of the last 8 airports are kept: an archived file is downloaded again only after
// gf_forgetClosestStands, a local one read again when it changed.
double gf_readDestApfForClosestStand(uint32_t code, LatLon position, std::string& standId);
// Forgets the kept stands: a stand file was written, or the run starts anew. Any thread.
void gf_forgetClosestStands();

// Within the scenery library: a stand file's stands as the closest-stand measure reads them.
struct FileStandSpot {
    double latitude_deg;   // 52.3086
    double longitude_deg;  // 4.76389
    std::string id;        // "D16", as the file writes it
};
std::vector<FileStandSpot> lf_standSpots(const pugi::xml_document& document);
using FileStandSpots = std::shared_ptr<const std::vector<FileStandSpot>>;

// A local file's last write and size: a file edited by hand is read again.
struct FileStamp {
    std::filesystem::file_time_type written;
    std::uintmax_t size = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stands of an airport's stand file as last read, so that the traffic manager's repeated
// closest-airport checks do not download the same archived file again and again.
struct CachedStands {
    uint32_t code = 0;
    std::string source;              // location, for a download with server and simulator
                                     // "http://host/downloads/|MSFS 2020|archive/stock/EHAM.xml"
    std::optional<FileStamp> stamp;  // local files only
    FileStandSpots stands;
    bool operator==(const CachedStands&) const = default;
};

}  // namespace qel
