// Fixed-length codes, the airline and model code tables, and the user error.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qel {

// A condition the user must act on; its text reaches the window's error line.
class UserErrorException : public std::runtime_error {
public:
    UserErrorException(int code, const std::string& text);  // "41: text", or text for 99
    int code() const noexcept { return code_; }  // 41; callers decide by it, not by the text

private:
    int code_;
};

struct FixedCodeBase {
    [[noreturn]] static void invalidError();  // "FixedCode: invalid string (length/charset)"
    bool operator==(const FixedCodeBase&) const = default;
    auto operator<=>(const FixedCodeBase&) const = default;
};

// N characters, each A-Z or 0-9, a-z upper-cased on construction.
template <std::size_t N>
class FixedCode : FixedCodeBase {
public:
    FixedCode() { chars_.fill(' '); }
    explicit FixedCode(std::string_view text)
    {
        if (text.size() != N) invalidError();
        std::array<char, N> upper{};
        for (std::size_t i = 0; i < N; ++i) {
            char c = text[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) invalidError();
            upper[i] = c;
        }
        chars_ = upper;
    }
    std::string_view text() const { return {chars_.data(), N}; }
    const std::array<char, N>& chars() const { return chars_; }
    // The code's bytes in text order as one little-endian word (4-character codes).
    uint32_t word() const requires(N == 4)
    {
        return static_cast<uint32_t>(static_cast<unsigned char>(chars_[0])) |
               static_cast<uint32_t>(static_cast<unsigned char>(chars_[1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(chars_[2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(chars_[3])) << 24;
    }
    bool operator==(const FixedCode&) const = default;
    auto operator<=>(const FixedCode&) const = default;

private:
    std::array<char, N> chars_;
};

using AirportCode = FixedCode<4>;
using ShortAirportCode = FixedCode<3>;

// A table that interns code texts into 16-bit ids, the index of a text being its id. Every call
// takes the table's lock, so any thread may intern and read; texts are returned by value.
class CodeTable {
public:
    // The id of the text, appending it first when new. Throws std::length_error rather than
    // wrap past 65535 ids.
    uint16_t intern(std::string_view code);
    std::optional<uint16_t> find(std::string_view code) const;
    std::string text(uint16_t id) const;  // "" for an id outside the table
    std::size_t size() const;
    void clear();  // tests only

private:
    mutable std::mutex mutex_;  // guards texts_ and ids_; taken alone, never with another lock
    std::vector<std::string> texts_;
    std::unordered_map<std::string, uint16_t> ids_;
};

extern CodeTable g_airlineCodes;  // airline and operator codes
extern CodeTable g_modelCodes;    // ICAO aircraft type codes
// Raised by the aircraft database once its code-fix map is built (atomic).
extern std::atomic<bool> g_modelCodeFixActive;

uint16_t gf_airlineIndex(std::string_view code);
// As gf_airlineIndex; once g_modelCodeFixActive is raised, a new code whose corrected spelling
// (gf_modelAlias) is already interned gets that spelling's id.
uint16_t gf_modelIndex(std::string_view code);

// Wrong → correct type code; filled by the aircraft database on the start-up thread before
// g_modelCodeFixActive is raised, read-only afterwards.
extern std::map<std::string, std::string, std::less<>> g_modelFixes;
// The correct type code for a known wrong one; consulted by gf_modelIndex once
// g_modelCodeFixActive is raised.
std::optional<std::string> gf_modelAlias(std::string_view code);
// Test helpers of the code tables: set or drop fixes without reading a database.
void gf_addModelFix(std::string wrongCode, std::string correctCode);
void gf_clearModelFixes();

}  // namespace qel

template <std::size_t N>
struct std::hash<qel::FixedCode<N>> {
    std::size_t operator()(const qel::FixedCode<N>& code) const noexcept
    {
        return std::hash<std::string_view>{}(code.text());
    }
};
