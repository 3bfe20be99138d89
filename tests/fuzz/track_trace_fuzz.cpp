// The stand-in simulator's trace as the track picture reads it.
#include <cstddef>
#include <cstdint>

#include "../../tools/track_picture/track_picture.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto tracks = qel::tracks::parseTrace(qel::fuzz::asText(data, size), 10000);
    for (auto& [id, track] : tracks) qel::tracks::classify(track, {});
    (void)qel::tracks::renderSvg(tracks, {}, {});
    return 0;
}
