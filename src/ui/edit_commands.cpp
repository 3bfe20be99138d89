// The three edit boxes and what Enter in them does: the blocked callsign, the destination
// airport and the typed Community folder, each checked before it is stored and saved. A text
// that does not pass is answered on the message line and leaves the setting as it was.
//
// Threads: GUI thread.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include <fmt/format.h>

#include "foundation/catalogue.h"
#include "foundation/globals.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/run_state.h"
#include "foundation/strings.h"
#include "scenery/scenery.h"
#include "traffic/traffic.h"
#include "ui/commands.h"
#include "ui/ui.h"

namespace qel {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMinCallsign = 4;  // characters
constexpr std::size_t kMaxCallsign = 8;
constexpr std::size_t kDestinationLength = 4;  // an ICAO airport code
constexpr int32_t kCommunityRestartDelay_s = 3;

std::string lf_upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return text;
}

bool lf_isCodeText(const std::string& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// ---- Blocked callsign --------------------------------------------------------------------

void lf_setBlockCallsign()
{
    gf_clearMessage();
    const std::string typed = lf_getTextFromId(BLOCK_CALLSIGN.controlId);
    if (typed.empty()) {
        if (!BLOCK_CALLSIGN.value().empty()) lf_unblockCallsign();
        return;
    }
    if (typed.size() < kMinCallsign || typed.size() > kMaxCallsign) {
        gf_setMessage(fmt::format("callsign '{}' is not valid", typed), true);
        gf_showTextParameter(BLOCK_CALLSIGN);
        return;
    }
    const std::string callsign = lf_upperCased(typed);
    if (callsign == BLOCK_CALLSIGN.value()) {
        gf_setMessage(fmt::format("callsign '{}' was already set ...", callsign), true);
        gf_showTextParameter(BLOCK_CALLSIGN);
        return;
    }
    // A callsign that is also the one chosen for the object-id lookup leaves that list.
    lf_blockCallsign(callsign);
    gf_postToMainLoop([] { gf_refreshAcList(); });
}

// ---- Destination -------------------------------------------------------------------------

enum class DestinationCheck { Empty = 0, NotValid = 1, AlreadySet = 2, Unknown = 3 };

void lf_checkDestination(DestinationCheck code, const std::string& text, bool log)
{
    switch (code) {
    case DestinationCheck::Empty:
        gf_setMessage("destination set to empty", true);
        gf_enableControlOf(g_reReadButton, true);
        break;
    case DestinationCheck::NotValid:
        gf_setMessage(fmt::format("destination '{}' is not valid", text), log);
        break;
    case DestinationCheck::AlreadySet:
        gf_setMessage(fmt::format("destination '{}' was already set ...", text), log);
        break;
    case DestinationCheck::Unknown:
        gf_setMessage(fmt::format("destination '{}' is unknown ...", text), log);
        break;
    }
    gf_showTextParameter(DESTINATION);
}

const Airport* lf_findAirport(const std::string& code)
{
    const auto found = std::find_if(g_airports.begin(), g_airports.end(),
                                    [&](const Airport& a) { return a.code.text() == code; });
    return found == g_airports.end() ? nullptr : &*found;
}

void lf_setDestination()
{
    gf_clearMessage();
    const std::string typed = lf_getTextFromId(DESTINATION.controlId);
    if (typed.empty()) {
        // Kept in memory only; close-down writes the file.
        DESTINATION.assign({});
        lf_checkDestination(DestinationCheck::Empty, typed, true);
        return;
    }
    if (typed.size() != kDestinationLength) {
        lf_checkDestination(DestinationCheck::NotValid, typed, true);
        return;
    }
    const std::string code = lf_upperCased(typed);
    if (code == DESTINATION.value()) {
        lf_checkDestination(DestinationCheck::AlreadySet, code, true);
        return;
    }
    if (!lf_isCodeText(code)) {
        lf_checkDestination(DestinationCheck::NotValid, code, false);
        return;
    }
    const Airport* airport = lf_findAirport(code);
    if (!airport) {
        lf_checkDestination(DestinationCheck::Unknown, code, true);
        return;
    }
    lf_applyDestination(code, *airport);
}

// ---- Community folder --------------------------------------------------------------------

// "D:\MSFS\Community\" → "D:\MSFS\Community": a typed separator at the end names no folder.
std::string lf_withoutTrailingSeparators(std::string text)
{
    while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
    return text;
}

bool lf_isFolderEntry(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

void lf_setCommunityPath(StringParameter& installPath, const std::string& text)
{
    gf_clearErrorText();
    gf_clearMessage();
    if (text.empty()) {
        if (!installPath.value().empty()) installPath.set({});
        return;
    }
    const fs::path typed(lf_withoutTrailingSeparators(text));
    std::error_code ec;
    const fs::file_status status = fs::status(typed, ec);
    if (status.type() == fs::file_type::not_found) {
        gf_setMessage(fmt::format("This install path does not exist: {}", text), true);
        return;
    }
    if (ec) {
        gf_setMessage(fmt::format("Cannot access install path '{}': {}", text, ec.message()), true);
        return;
    }
    if (typed.filename() != g_communityName) {
        if (!lf_isFolderEntry(typed / g_communityName)) {
            gf_setMessage("This path exists but is not a path to Community ...", true);
            return;
        }
        installPath.set(text);
        lf_communityPathFound();
        return;
    }
    const fs::path parent = typed.parent_path();
    if (!lf_isFolderEntry(parent / g_communityName)) {
        gf_setMessage("This path does not contain a valid Community folder (unexpected).", true);
        return;
    }
    installPath.set(gf_pathToUtf8(parent));
    lf_communityPathFound();
}

}  // namespace

void lf_blockCallsign(const std::string& callsign)
{
    if (BLOCK_CALLSIGN.value() != callsign) BLOCK_CALLSIGN.set(callsign);
    gf_showTextParameter(BLOCK_CALLSIGN);
    gf_enableControlOf(g_unblockButton, true);
    g_blockCallsignPending = true;
}

void lf_unblockCallsign()
{
    const std::string old = BLOCK_CALLSIGN.value();
    if (old.empty()) return;
    BLOCK_CALLSIGN.set({});
    gf_showTextParameter(BLOCK_CALLSIGN);
    gf_enableControlOf(g_unblockButton, false);
    gf_setMessage(fmt::format("no more blocking of live aircraft '{}'", old), true);
    g_blockCallsignPending = true;
}

void lf_editEnter(uint16_t id)
{
    gf_clearMessage();
    try {
        if (id == BLOCK_CALLSIGN.controlId) {
            lf_setBlockCallsign();
        } else if (id == DESTINATION.controlId) {
            lf_setDestination();
        } else if (id == ALL_INSTALL_PATH.controlId) {
            lf_setCommunityPath(g_isMsfs2020 ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH,
                                lf_getTextFromId(ALL_INSTALL_PATH.controlId));
        }
    } catch (const std::exception& e) {
        // The key press comes from the window toolkit, which must not see an exception.
        gf_logHighlighted(fmt::format("{} exception {}", "lf_editEnterProc", e.what()));
    }
}

void lf_communityPathFound()
{
    gf_setMessage(fmt::format("Community path found, {} will restart ...", g_shortName), true);
    gf_requestStop(ExitReason::NEW_SETTINGS, kCommunityRestartDelay_s);
}

}  // namespace qel
