// The services of the scenery and liveries subsystems that the application core calls, in one
// place; until those subsystems provide them, they do the least the core relies on (noted at
// each).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "scenery/scenery.h"

namespace qel::neighbour {

// ---- Scenery (airports, install detection, scan) ----------------------------------------------

void gf_scanAirports();  // the add-on airport scan; nothing yet


}  // namespace qel::neighbour
