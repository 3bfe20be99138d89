// What the files of the simulator link share among themselves (and with their tests): the
// connection handle, the pairing tables, the user aircraft's received state, and the steps of
// the "SimClient" thread that the thread body strings together. The g_ values are members of
// the link's run state (simlink/link_run.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "simlink/simconnect.h"
#include "simlink/simlink.h"

namespace qel {

// ---- Connection (sim_thread.cpp) ------------------------------------------------------------

// The open connection, none (nullptr) while there is none. Written only by the "SimClient"
// thread (and the reset, while it is stopped), always under g_simCallMutex; other threads read
// it under that mutex, so that it is never closed under a request they are making.
extern HANDLE& g_hSimConnect;

// Closes the handle when there is one: "SimConnect closed ok", or the highlighted "Closing
// SimConnect failed?!" when the call fails; the handle is none afterwards.
void gf_closeSimConnect(HANDLE& handle);
// One open as client "VNTQ"; true (handle published, g_simNotConnected cleared) on success.
bool lf_openConnection(HANDLE& local);
// Dispatch calls completed on this connection's thread (atomic); requests use it to tell
// whether what the simulator sent has been handled since.
extern std::atomic<uint64_t>& g_dispatchCount;
// Why the dispatch loop ends on its own.
enum class LinkEnd { none, simulatorQuit, dispatchFailing };
// One SimConnect_CallDispatch with lf_dispatch; what ended the connection, if anything. A
// dispatch that fails for 3 s of the clock on end counts as a lost simulator.
LinkEnd lf_dispatchOnce(HANDLE handle);

// ---- Set-up and requests (definitions.cpp) --------------------------------------------------

// Registers every system event, data definition, client event and the group, in that order.
void lf_simConnectSetup(HANDLE handle);

// ---- Dispatch (dispatch.cpp) ------------------------------------------------------------------

// The user error of a simulator that is not the chosen one; the link restarts with the other.
inline constexpr int kSimMismatchError = 2024;

// SimConnect's dispatch callback; "SimClient" thread. Never throws: no exception may cross
// SimConnect's frames. A failure of the handling (qel::UserErrorException for the simulator
// checks of the OPEN message and a version mismatch, or any other) is kept, and
// lf_rethrowDispatchError raises it once SimConnect_CallDispatch has returned.
void lf_dispatch(SIMCONNECT_RECV* data, DWORD size, void* context) noexcept;
// Raises the failure that the last dispatch kept, and forgets it; nothing when there is none.
// "SimClient" thread.
void lf_rethrowDispatchError();
// The QUIT message arrived since the last reset (atomic).
extern std::atomic<bool>& g_simulatorQuit;

// Last reply to request 109, guarded by g_userStateMutex (a leaf lock).
extern std::mutex g_userStateMutex;
extern UserStateBlock& g_simUserState;
extern std::atomic<bool>& g_userOnGround;       // last reply to request 108
extern std::atomic<bool>& g_userOnGroundValid;  // a reply to request 108 came while the user
                                                // position was known
// The object id of the user aircraft: 2 until the first reply to request 109. Object ids above
// it are AI objects. "SimClient" thread.
extern uint32_t& g_userObjectId;

// The user's position is known: latitude or longitude farther than 0.0001 from 0.
bool lf_positionKnown(double latitude, double longitude);
// At a new flight and at the end of the "SimClient" thread: hands the user's position to the
// traffic manager when the user stands still on the ground, so that its park airport keeps the
// stand the user left from. "SimClient" thread.
void lf_rememberUserStand();

// ---- Queues (queues.cpp) ------------------------------------------------------------------------

// One create call sent and not yet paired with its object.
struct PacketIdRecord {
    uint32_t packetId = 0;  // the send id of the create call; 0 when it was not returned
    uint32_t hexId = 0;
    std::string callsign;    // the tail number sent
    uint32_t requestId = 0;  // the call's own request id: 0x10003
    uint32_t objectId = 0;   // assigned to it by the simulator; 0 until that arrives
    bool abandoned = false;  // given up: its object is removed as soon as its id arrives
    bool operator==(const PacketIdRecord&) const = default;
};
// "SimClient" thread only (and the reset, while it is stopped).
extern std::vector<PacketIdRecord>& g_packetIds;
extern std::vector<uint32_t>& g_addedObjects;  // announced by ObjectAdded, not yet paired
// Drops an object id from g_addedObjects; false when it was not there.
bool lf_forgetAdded(uint32_t objectId);

// The "Frame" event: sends the newest position batch, the client events, the creations and the
// removals, or empties them all after a failed request. Never waits for the queue mutex.
void lf_onFrame();
// Appends client events; the caller holds g_simQueueMutex.
void lf_appendClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data);

// ---- User aircraft model (user_model.cpp) -------------------------------------------------------

void lf_onUserTitle(std::string_view title);
void lf_onUserModel(std::string_view model);
// The weight-class name of a size category: "Light", "Buzjets", "Large", ...
std::string_view lf_categoryName(uint32_t category);

}  // namespace qel
