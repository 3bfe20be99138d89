// Airport stand files: a file read as the park airport's stand file, then as its learned file,
// the table written back and read again; the bytes also as a redirect and a learned location.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>

#include <pugixml.hpp>

#include "foundation/codes.h"
#include "fuzz_support.h"
#include "scenery/scenery.h"

namespace {

void lf_readAsStandFile(const qel::AirportCode& code)
{
    qel::gf_clearParkAirportTable();
    qel::ParkAirportInfo info;
    try {
        (void)qel::gf_readApf("airports/fuzz.xml", info, code.word());
    } catch (const qel::UserErrorException&) {
        // a stand without id, an id twice, no altitude: the file's fault, reported to the user
    }
    qel::lf_readLearned("airports/fuzz.xml", info);
}

void lf_writeAndReadBack(const qel::AirportCode& code)
{
    qel::BglAirport airport;
    airport.code = code;
    airport.stands = qel::g_parkStands;
    (void)qel::gf_writeApf(airport, "airports/written.xml", qel::ApfLearned, 1);
    (void)qel::gf_writeApf(airport, "airports/scanned.xml", qel::ApfScanned, 1);
    qel::gf_clearParkAirportTable();
    pugi::xml_document document;
    if (!document.load_file("airports/written.xml")) return;
    try {
        qel::gf_readParkPositions(document);
    } catch (const qel::UserErrorException&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool folders = std::filesystem::create_directories(
        qel::fuzz::scratchDir() / "airports" / "my_thirdparty");
    (void)folders;
    const qel::AirportCode code("EHAM");
    qel::fuzz::writeScratch("airports/fuzz.xml", data, size);
    lf_readAsStandFile(code);
    lf_writeAndReadBack(code);
    qel::gf_clearParkAirportTable();

    const auto redirect = qel::fuzz::writeScratch("airports/my_thirdparty/EHAM.txt", data, size);
    std::string text;
    (void)qel::lf_readRedirect(redirect, text);
    const std::string_view bytes = qel::fuzz::asText(data, size);
    (void)qel::gf_learnedPathFor(bytes, bytes);
    return 0;
}
