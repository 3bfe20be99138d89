// The queues between the traffic manager and the "SimClient" thread: positions (double
// buffered), client events, create requests and removals going out on each "Frame" event, the
// pairing tables of the create calls, and the result queue coming back.
//
// Threads: the traffic manager (main-loop thread) fills the queues and drains the results; the
// "SimClient" thread flushes the queues in lf_onFrame, owns the pairing tables and posts
// results; the "Traffic Reader" posts blocked callsigns. g_simQueueMutex guards the outgoing
// queues and the send half of the position buffer and is held only to append or to swap them;
// the frame and the position hand-over only try it, so neither the simulator's frame nor the
// 10 ms tick ever waits for the other. The frame then makes its calls under g_simCallMutex,
// tried too: when another thread is in a call, what it took waits for the next frame.
// g_simResultMutex guards the result queue and may be held while g_simQueueMutex is taken.
#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/time.h"
#include "foundation/window_status.h"
#include "simlink/link_internal.h"
#include "simlink/link_run.h"
#include "simlink/simlink.h"

namespace qel {

std::mutex g_simResultMutex;
std::vector<PacketIdRecord>& g_packetIds = g_simLinkRun.packetIds;  // "SimClient" thread
std::vector<uint32_t>& g_addedObjects = g_simLinkRun.addedObjects;  // "SimClient" thread

namespace {

constexpr size_t kReserved = 256;

constexpr size_t kReservedPositions = 512;  // the tick is sized for 512 live aircraft
// More creations waiting for an answer than the simulator holds objects: the oldest abandoned
// one will get none.
constexpr size_t kPendingCreationLimit = 1000;

PositionBatch& g_positionBatch = g_simLinkRun.positionBatch;
std::vector<ClientEventRecord>& g_clientEventQueue = g_simLinkRun.clientEventQueue;
std::vector<AiCreateRequest>& g_createQueue = g_simLinkRun.createQueue;
std::vector<uint32_t>& g_removeQueue = g_simLinkRun.removeQueue;
std::vector<uint32_t>& g_abandonQueue = g_simLinkRun.abandonQueue;
std::vector<SimResult>& g_simResultQueue = g_simLinkRun.simResultQueue;
Outgoing& g_outgoing = g_simLinkRun.outgoing;  // "SimClient" thread

void lf_emptyOutgoing()
{
    g_positionBatch.send().clear();
    g_clientEventQueue.clear();
    g_createQueue.clear();
    g_removeQueue.clear();
    g_abandonQueue.clear();
}

void lf_clearTaken()
{
    g_outgoing.positions.clear();
    g_outgoing.events.clear();
    g_outgoing.creates.clear();
    g_outgoing.removals.clear();
    g_outgoing.abandoned.clear();
}

template <class T>
void lf_appendAll(std::vector<T>& to, std::vector<T>& from)
{
    if (to.empty()) {
        to.swap(from);
    } else {
        to.insert(to.end(), std::make_move_iterator(from.begin()),
                  std::make_move_iterator(from.end()));
    }
    from.clear();
}

// Moves the queues into what this frame sends; the caller holds g_simQueueMutex. Positions
// not yet sent are replaced by newer ones; everything else keeps its order.
void lf_takeQueues()
{
    if (!g_positionBatch.send().empty()) {
        g_outgoing.positions.clear();
        g_outgoing.positions.swap(g_positionBatch.send());
    }
    lf_appendAll(g_outgoing.events, g_clientEventQueue);
    lf_appendAll(g_outgoing.creates, g_createQueue);
    lf_appendAll(g_outgoing.removals, g_removeQueue);
    lf_appendAll(g_outgoing.abandoned, g_abandonQueue);
}

void lf_sendPositions()
{
    for (auto& record : g_outgoing.positions) {
        if (record.objectId <= g_userObjectId) continue;
        SimConnect_SetDataOnSimObject(g_hSimConnect, kDefAiPosition, record.objectId, 0, 0,
                                      sizeof record.data, &record.data);
    }
    g_outgoing.positions.clear();
}

void lf_sendClientEvents()
{
    for (const auto& e : g_outgoing.events) {
        const bool flaps = e.eventId == kEventFlaps;
        if (flaps) SimConnect_AIReleaseControl(g_hSimConnect, e.objectId, kReqReleaseControl);
        if (FAILED(SimConnect_TransmitClientEvent(g_hSimConnect, e.objectId, e.eventId, e.data,
                                                  kGroupAi, 0))) {
            gf_setMessage(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
            continue;
        }
        if (flaps) SimConnect_AIReleaseControl(g_hSimConnect, e.objectId, kReqReleaseControl);
    }
    g_outgoing.events.clear();
}

// Keeps the pairing table bounded when the simulator answers abandoned creations with nothing.
void lf_boundPendingCreations()
{
    if (g_packetIds.size() < kPendingCreationLimit) return;
    auto oldest = g_packetIds.end();
    for (auto it = g_packetIds.begin(); it != g_packetIds.end(); ++it) {
        if (it->abandoned && (oldest == g_packetIds.end() || it->requestId < oldest->requestId)) {
            oldest = it;
        }
    }
    if (oldest != g_packetIds.end()) g_packetIds.erase(oldest);
}

// The hex id's creations are given up. An object the simulator already assigned is removed
// with this frame's removals; one still to come is removed when its id arrives.
void lf_abandonCreations(uint32_t hexId)
{
    std::erase_if(g_packetIds, [hexId](PacketIdRecord& record) {
        if (record.hexId != hexId) return false;
        if (record.objectId == 0) {
            record.abandoned = true;
            return false;
        }
        lf_forgetAdded(record.objectId);
        g_outgoing.removals.push_back(record.objectId);
        return true;
    });
}

void lf_createAiAircraft(const AiCreateRequest& request)
{
    const uint32_t requestId = g_simLinkRun.nextCreateRequestId++;
    if (FAILED(SimConnect_AICreateNonATCAircraft(g_hSimConnect, request.liveryTitle.c_str(),
                                                 request.callsign.c_str(), request.initPosition,
                                                 requestId))) {
        gf_logHighlighted(fmt::format(
            "! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
            request.hexId, request.liveryTitle, request.callsign));
        gf_logSimConnectError();
        return;
    }
    DWORD packetId = 0;
    if (FAILED(SimConnect_GetLastSentPacketID(g_hSimConnect, &packetId))) {
        gf_logHighlighted("GetLastSentPacketID");
        packetId = 0;
    }
    lf_boundPendingCreations();
    g_packetIds.push_back(
        PacketIdRecord{packetId, request.hexId, request.callsign, requestId, 0, false});
}

void lf_removeAiObject(uint32_t objectId)
{
    if (objectId <= g_userObjectId) {
        gf_logHighlighted(fmt::format("SimConnect call to remove ac with objectid {:x}", objectId));
        return;
    }
    if (FAILED(SimConnect_AIRemoveObject(g_hSimConnect, objectId, kReqRemove))) {
        gf_logHighlighted(
            fmt::format("{} !SimConnect call to remove AI ac from sim failed, id {:x}?",
                        gf_nowTimeOfDay(), objectId));
        gf_logSimConnectError();
    }
}

}  // namespace

void lf_onFrame()
{
    {
        std::unique_lock lock(g_simQueueMutex, std::try_to_lock);
        if (!lock) return;
        if (g_simConnectFailed) {
            lf_emptyOutgoing();
            lf_clearTaken();
            return;
        }
        lf_takeQueues();
    }
    std::unique_lock call(g_simCallMutex, std::try_to_lock);
    if (!call) return;
    lf_sendPositions();
    lf_sendClientEvents();
    // Before the creations: a give-up is queued only after its own creation had been sent, and
    // must not catch a new creation of the same flight.
    for (const uint32_t hexId : g_outgoing.abandoned) lf_abandonCreations(hexId);
    g_outgoing.abandoned.clear();
    // Each create call is followed at once by its packet id: every other call on the
    // connection is made under the call mutex, so none can come in between.
    for (const auto& request : g_outgoing.creates) lf_createAiAircraft(request);
    g_outgoing.creates.clear();
    for (const uint32_t objectId : g_outgoing.removals) lf_removeAiObject(objectId);
    g_outgoing.removals.clear();
}

void lf_appendClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data)
{
    g_clientEventQueue.push_back(ClientEventRecord{objectId, eventId, data});
}

void gf_reserveSimQueues()
{
    {
        std::scoped_lock lock(g_simQueueMutex);
        for (auto& batch : g_positionBatch.batches) batch.reserve(kReservedPositions);
        g_createQueue.reserve(kReserved);
        g_removeQueue.reserve(kReserved);
    }
    // The "SimClient" thread is not running yet: its tables may be touched here.
    g_outgoing.positions.reserve(kReservedPositions);
    g_packetIds.reserve(kReserved);
    g_addedObjects.reserve(kReserved);
    g_simConnectFailed = false;
}

void gf_queueCreateAc(const AiCreateRequest& request)
{
    std::scoped_lock lock(g_simQueueMutex);
    g_createQueue.push_back(request);
}

bool gf_withdrawCreateAc(uint32_t hexId)
{
    std::scoped_lock lock(g_simQueueMutex);
    const auto found =
        std::find_if(g_createQueue.begin(), g_createQueue.end(),
                     [hexId](const AiCreateRequest& request) { return request.hexId == hexId; });
    if (found == g_createQueue.end()) return false;
    g_createQueue.erase(found);
    return true;
}

void gf_queueRemoveAc(uint32_t objectId)
{
    std::scoped_lock lock(g_simQueueMutex);
    g_removeQueue.push_back(objectId);
}

void gf_abandonCreation(uint32_t hexId)
{
    std::scoped_lock lock(g_simQueueMutex);
    g_abandonQueue.push_back(hexId);
}

void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data)
{
    std::scoped_lock lock(g_simQueueMutex);
    lf_appendClientEvent(objectId, eventId, data);
}

void gf_queueEngineAutoStart(uint32_t objectId)
{
    gf_queueClientEvent(objectId, kEventEngineAutoStart, 0);
}

void gf_queueEngineAutoShutdown(uint32_t objectId)
{
    gf_queueClientEvent(objectId, kEventEngineAutoShutdown, 0);
}

void gf_queueLightEvents(uint32_t objectId, const std::array<uint32_t, 7>& states)
{
    static constexpr std::array<uint32_t, 7> events = {
        kEventNavLights, kEventBeaconLights, kEventLandingLights, kEventTaxiLights,
        kEventStrobes,   kEventLogoLights,   kEventCabinLights};
    std::scoped_lock lock(g_simQueueMutex);
    for (size_t i = 0; i < events.size(); ++i) lf_appendClientEvent(objectId, events[i], states[i]);
}

void gf_queueNavLights(uint32_t objectId, uint32_t on)
{
    gf_queueClientEvent(objectId, kEventNavLights, on);
}

void gf_queueCabinLights(uint32_t objectId, uint32_t on)
{
    gf_queueClientEvent(objectId, kEventCabinLights, on);
}

std::vector<SimPositionRecord>& gf_positionFillBatch() { return g_positionBatch.fill(); }

void gf_publishPositionBatch()
{
    std::unique_lock lock(g_simQueueMutex, std::try_to_lock);
    if (lock) {
        // A batch the "SimClient" thread has not sent yet is replaced by this newer one.
        g_positionBatch.fillIndex = 1 - g_positionBatch.fillIndex;
    }
    g_positionBatch.fill().clear();
}

void gf_clearPositionBuffers()
{
    std::scoped_lock lock(g_simQueueMutex);
    for (auto& batch : g_positionBatch.batches) batch.clear();
}

void gf_postSimResult(const SimResult& result)
{
    std::scoped_lock lock(g_simResultMutex);
    g_simResultQueue.push_back(result);
}

void gf_takeSimResults(std::vector<SimResult>& out)
{
    std::scoped_lock lock(g_simResultMutex);
    out.insert(out.end(), g_simResultQueue.begin(), g_simResultQueue.end());
    g_simResultQueue.clear();
}

}  // namespace qel
