// The scanned liveries: the record one aircraft.cfg section becomes, the list a scan fills, and
// LiveriesScanned.xml, which hands that list from the scan to the livery database.
//
// Threads: g_liveries belongs to the start-up thread (the scan fills it after its parser tasks
// have delivered, the livery database reads it back and empties it); no lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>

#include "liveries/liveries.h"

namespace qel {

// One scanned livery. All fields empty or zero stand for no livery.
struct Livery {
    std::string title;          // the name the simulator knows it by: "FSLTL A320 Lufthansa"
    std::string registration;   // "D-AIZA"; empty when the livery names none
    MatchKey key;               // airline, operator (0: none), model, cargo
    uint16_t folderNumber = 0;  // scanned folder 1..10 (lower wins); 0 when read from the file

    bool isEmpty() const
    {
        return title.empty() && registration.empty() && key.value() == 0 && folderNumber == 0;
    }
    friend bool operator==(const Livery&, const Livery&) = default;
};

using LiveryList = std::list<Livery>;

// The liveries of the running scan, or of LiveriesScanned.xml once read back. Start-up thread.
extern LiveryList g_liveries;

// The list's order: airline code, operator code, model code, then title, each compared as
// unsigned bytes (a shorter text first when it is a prefix); an id outside its table stands for
// the empty code. Equal liveries keep their order in a stable sort.
bool lf_compareLiveries(const Livery& x, const Livery& y);
// Stable sort by lf_compareLiveries.
void gf_sortLiveries(LiveryList& liveries);

// Writes the list to the file (root/meta, root/liveries/l with a, o, m, c, t, r) and logs
// "{} liveries in {}"; writes nothing for an empty list. `simNumber`: 1 MSFS 2020, 2 MSFS 2024.
// False when the file could not be saved, which leaves it as it was and logs "{} liveries could
// not be written to {}" highlighted. Never throws for the file.
bool gf_writeLiveriesScanned(const LiveryList& liveries, const std::filesystem::path& path,
                             int32_t simNumber);
// g_liveries to g_liveriesScannedXml.
bool gf_writeLiveriesScanned(int32_t simNumber);

// Replaces `liveries` with the file's, sorted, with folder number 0; logs "{:5} liveries read
// from {}". Throws qel::UserErrorException 51 "File {} not found" (missing or not well-formed), 52 "{} does
// not contain a <liveries> section", 999 "Missing required attribute '{}' in <{}>", 533 "{} does
// not contain liveries"; after a 999 the list holds the liveries read before it.
void gf_readLiveriesScanned(const std::filesystem::path& path, LiveryList& liveries);
// The same for g_liveries and g_liveriesScannedXml.
void gf_readLiveriesScanned();

}  // namespace qel
