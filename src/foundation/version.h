// Version numbers of the program and of its data files.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace qel {

struct VersionData {
    int32_t major = 0;  // 11
    int32_t minor = 0;  // 14
    int32_t patch = 0;  // 0

    VersionData() = default;
    VersionData(int32_t ma, int32_t mi, int32_t pa) : major(ma), minor(mi), patch(pa) {}
    // "11.14.0" or {"major":11,"minor":14,"patch":0}; anything else logs and gives what was
    // read before the error (0.0.0 at worst). Never throws.
    explicit VersionData(std::string_view text);

    std::string text() const;  // "{}.{}.{}"
    auto operator<=>(const VersionData&) const = default;
};

// The running program's version, 11.14.0.
extern const VersionData g_programVersion;

}  // namespace qel
