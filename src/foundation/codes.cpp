// The user error, the one throw site of FixedCode, and the airline and model code tables.
#include "foundation/codes.h"

#include <limits>

#include <fmt/format.h>

namespace qel {

namespace {

// Ids are u16, so a table holds at most this many texts.
constexpr std::size_t lf_maxCodes = std::size_t{std::numeric_limits<uint16_t>::max()} + 1;

std::string lf_userErrorMessage(int code, const std::string& text)
{
    if (code == 99) return text;
    return fmt::format("{}: {}", code, text);
}

}  // namespace

UserErrorException::UserErrorException(int code, const std::string& text)
    : std::runtime_error(lf_userErrorMessage(code, text)), code_(code)
{
}

void FixedCodeBase::invalidError()
{
    throw std::invalid_argument("FixedCode: invalid string (length/charset)");
}

CodeTable g_airlineCodes;
CodeTable g_modelCodes;
std::atomic<bool> g_modelCodeFixActive{false};
std::map<std::string, std::string, std::less<>> g_modelFixes;

uint16_t CodeTable::intern(std::string_view code)
{
    std::scoped_lock lock(mutex_);
    std::string key(code);
    if (auto it = ids_.find(key); it != ids_.end()) return it->second;
    // A 65537th text would silently share id 0 with the first one; records would then carry
    // the wrong airline or type, so refuse loudly instead.
    if (texts_.size() >= lf_maxCodes) {
        throw std::length_error(
            fmt::format("CodeTable: more than {} codes, cannot add '{}'", lf_maxCodes, key));
    }
    const auto id = static_cast<uint16_t>(texts_.size());
    texts_.push_back(key);
    ids_.emplace(std::move(key), id);
    return id;
}

std::optional<uint16_t> CodeTable::find(std::string_view code) const
{
    std::scoped_lock lock(mutex_);
    if (auto it = ids_.find(std::string(code)); it != ids_.end()) return it->second;
    return std::nullopt;
}

std::string CodeTable::text(uint16_t id) const
{
    std::scoped_lock lock(mutex_);
    if (id >= texts_.size()) return {};
    return texts_[id];
}

std::size_t CodeTable::size() const
{
    std::scoped_lock lock(mutex_);
    return texts_.size();
}

void CodeTable::clear()
{
    std::scoped_lock lock(mutex_);
    texts_.clear();
    ids_.clear();
}

std::optional<std::string> gf_modelAlias(std::string_view code)
{
    const auto it = g_modelFixes.find(code);
    if (it == g_modelFixes.end()) return std::nullopt;
    return it->second;
}

void gf_addModelFix(std::string wrongCode, std::string correctCode)
{
    g_modelFixes.insert_or_assign(std::move(wrongCode), std::move(correctCode));
}

void gf_clearModelFixes() { g_modelFixes.clear(); }

uint16_t gf_airlineIndex(std::string_view code) { return g_airlineCodes.intern(code); }

uint16_t gf_modelIndex(std::string_view code)
{
    if (auto id = g_modelCodes.find(code)) return *id;
    // The fix map is complete and read-only once the flag is up; it is consulted outside the
    // table's lock so that no other work runs under that lock.
    if (g_modelCodeFixActive) {
        if (auto corrected = gf_modelAlias(code)) {
            if (auto id = g_modelCodes.find(*corrected)) return *id;
        }
    }
    // The text as given, not the corrected spelling: the correct one has no id yet.
    return g_modelCodes.intern(code);
}

}  // namespace qel
