// Half-hour sets: 48 bits, bit n for the UTC slot n of a day, and their text forms.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>

namespace qel {

using HalfHourSet = std::bitset<48>;

// "5:9" (one range) or "3,7,47" (a list); bad pieces are logged and skipped; never throws.
HalfHourSet gf_hours2bitset(std::string_view text);
std::string gf_bitsetToList(const HalfHourSet& set);                 // "0,1,47"; "" when empty
std::optional<std::string> gf_bitset2hours(const HalfHourSet& set);  // "10" or "10:13"

}  // namespace qel
