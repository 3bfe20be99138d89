// Which stands of the park airport overlap: found through a spatial index, so that a large
// airport's load does not compare every pair of stands.
#pragma once

#include <cstddef>
#include <vector>

#include "scenery/stand_file.h"

namespace qel {

// The most stands one stand lists as overlapping it. Stands in a real airport overlap a few
// neighbours; thousands at one spot would otherwise need memory growing with the square of
// their number.
constexpr std::size_t lf_maxOverlaps = 128;

// Fills each stand's overlapping stands (their numbers, ascending; stands must be numbered):
// B overlaps A when A.radius + B.radius > 1.1 × their great-circle distance. Returns the number
// of stands whose list stopped at lf_maxOverlaps. Main-loop thread.
std::size_t lf_findOverlaps(std::vector<ParkStand>& stands);

}  // namespace qel
