// Text conversion at the boundary where Windows would take UTF-16 or the ANSI code page.
// "Wide" text is UTF-16 in std::u16string: wchar_t is 32 bits here.
#pragma once

#include <string>
#include <string_view>

namespace qel {

// Strict UTF-16 → UTF-8; any thread. Throws std::runtime_error "wide_to_utf8: invalid UTF-16"
// on a lone or misordered surrogate.
std::string wide_to_utf8(std::u16string_view text);

// Strict UTF-8 → UTF-16; any thread. Throws std::runtime_error "utf8_to_wide: invalid UTF-8"
// on malformed, overlong, surrogate or out-of-range sequences.
std::u16string utf8_to_wide(std::string_view text);

namespace platform {

// The ANSI code page is Windows-1252 here. Bytes that code page leaves undefined (81, 8D, 8F,
// 90, 9D) map to the C1 control of the same value, as MultiByteToWideChar does without
// MB_ERR_INVALID_CHARS. Never fails.
std::u16string ansiToWide(std::string_view bytes);

// True when every byte is defined in Windows-1252 (the MB_ERR_INVALID_CHARS measure).
bool ansiIsStrictlyValid(std::string_view bytes);

}  // namespace platform
}  // namespace qel
