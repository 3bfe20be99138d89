// The operations on the blocked callsign that the buttons and the edit box share; the window's
// own use. GUI thread.
#pragma once

#include <string>

namespace qel {

// BLOCK_CALLSIGN := the callsign (saved when it changed), shown; "Unblock" enabled and the
// block request raised.
void lf_blockCallsign(const std::string& callsign);
// Only while a callsign is blocked: BLOCK_CALLSIGN emptied (saved), "Unblock" disabled, the
// user told and the block request raised.
void lf_unblockCallsign();

}  // namespace qel
