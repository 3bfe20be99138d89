// The SimConnect functions of src/simlink/simconnect.h, served by the stand-in simulator, and
// the stand-in's own controls. No exception leaves a SimConnect function except one thrown by
// the client's own dispatch callback.
#include <cstdlib>

#include "standins/simulator/sim_standin.h"
#include "standins/simulator/simulator.h"

namespace qel::simstandin {
namespace {

Simulator& lf_sim() { return Simulator::instance(); }

template <class Call>
HRESULT lf_guarded(Call call) noexcept
{
    try {
        return call();
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

void reset() { lf_sim().reset(std::nullopt, std::nullopt, {}); }

void resetFromFile(const std::filesystem::path& scenario)
{
    lf_sim().reset(scenario, std::nullopt, {});
}

void resetFromText(const std::string& json, const std::filesystem::path& baseFolder)
{
    lf_sim().reset(std::nullopt, json, baseFolder);
}

std::filesystem::path defaultScenarioPath()
{
    if (const char* path = std::getenv("VNTQ_SIM_SCENARIO"); path && *path) return path;
    return VNTQ_SIM_DEFAULT_SCENARIO;
}

std::string lastError() { return lf_sim().lastError(); }
void addFailure(const FailureRule& rule) { lf_sim().addFailure(rule); }
void clearFailures() { lf_sim().clearFailures(); }
void quit() { lf_sim().quit(); }
void setFlightRunning(bool running) { lf_sim().setFlightRunning(running); }
void setPaused(bool paused) { lf_sim().setPaused(paused); }
void loadFlight(const std::string& file) { lf_sim().loadFlight(file); }

void teleportUser(double latitude, double longitude, std::optional<double> altitude_ft)
{
    lf_sim().teleportUser(latitude, longitude, altitude_ft);
}

void dropObject(DWORD id) { lf_sim().dropObject(id); }
void announceRemoval(DWORD id) { lf_sim().announceRemoval(id); }

std::vector<CallRecord> calls() { return lf_sim().calls(); }
std::vector<ObjectState> objects() { return lf_sim().objects(); }
std::optional<ObjectState> object(DWORD id) { return lf_sim().object(id); }
double simTime_s() { return lf_sim().simTime_s(); }
std::filesystem::path tracePath() { return lf_sim().tracePath(); }
int openAttempts() { return lf_sim().openAttempts(); }

}  // namespace qel::simstandin

using qel::simstandin::lf_guarded;
using qel::simstandin::lf_sim;

extern "C" {

HRESULT SimConnect_Open(HANDLE* phSimConnect, const char* szName, HWND, DWORD, HANDLE, DWORD)
{
    return lf_guarded([&] { return lf_sim().open(phSimConnect, szName); });
}

HRESULT SimConnect_Close(HANDLE hSimConnect)
{
    return lf_guarded([&] { return lf_sim().close(hSimConnect); });
}

HRESULT SimConnect_CallDispatch(HANDLE hSimConnect, DispatchProc pfcnDispatch, void* pContext)
{
    // The callback's own exceptions reach the caller, as the client's thread expects.
    return lf_sim().callDispatch(hSimConnect, pfcnDispatch, pContext);
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE hSimConnect, DWORD* pdwSendID)
{
    return lf_guarded([&] { return lf_sim().getLastSentPacketId(hSimConnect, pdwSendID); });
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE hSimConnect, SIMCONNECT_CLIENT_EVENT_ID EventID,
                                          const char* SystemEventName)
{
    return lf_guarded(
        [&] { return lf_sim().subscribeToSystemEvent(hSimConnect, EventID, SystemEventName); });
}

HRESULT SimConnect_AddToDataDefinition(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                       const char* DatumName, const char* UnitsName,
                                       SIMCONNECT_DATATYPE DatumType, float, DWORD)
{
    return lf_guarded([&] {
        return lf_sim().addToDataDefinition(hSimConnect, DefineID, DatumName, UnitsName,
                                            DatumType);
    });
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE hSimConnect,
                                            SIMCONNECT_CLIENT_EVENT_ID EventID,
                                            const char* EventName)
{
    return lf_guarded(
        [&] { return lf_sim().mapClientEventToSimEvent(hSimConnect, EventID, EventName); });
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE hSimConnect,
                                                     SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                     SIMCONNECT_CLIENT_EVENT_ID EventID,
                                                     BOOL bMaskable)
{
    return lf_guarded([&] {
        return lf_sim().addClientEventToNotificationGroup(hSimConnect, GroupID, EventID,
                                                          bMaskable);
    });
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE hSimConnect,
                                                SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                                DWORD uPriority)
{
    return lf_guarded(
        [&] { return lf_sim().setNotificationGroupPriority(hSimConnect, GroupID, uPriority); });
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_REQUEST_ID RequestID,
                                          SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                          SIMCONNECT_OBJECT_ID ObjectID, SIMCONNECT_PERIOD Period,
                                          SIMCONNECT_DATA_REQUEST_FLAG Flags, DWORD origin,
                                          DWORD interval, DWORD limit)
{
    qel::simstandin::PeriodicRequest request;
    request.requestId = RequestID;
    request.defineId = DefineID;
    request.objectId = ObjectID;
    request.period = Period;
    request.flags = Flags;
    request.origin = origin;
    request.interval = interval;
    request.limit = limit;
    return lf_guarded([&] { return lf_sim().requestDataOnSimObject(hSimConnect, request); });
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE hSimConnect,
                                              SIMCONNECT_DATA_REQUEST_ID RequestID,
                                              SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                              DWORD dwRadiusMeters,
                                              SIMCONNECT_SIMOBJECT_TYPE type)
{
    return lf_guarded([&] {
        return lf_sim().requestDataOnSimObjectType(hSimConnect, RequestID, DefineID,
                                                   dwRadiusMeters, type);
    });
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE hSimConnect, SIMCONNECT_DATA_DEFINITION_ID DefineID,
                                      SIMCONNECT_OBJECT_ID ObjectID,
                                      SIMCONNECT_DATA_SET_FLAG Flags, DWORD ArrayCount,
                                      DWORD cbUnitSize, void* pDataSet)
{
    return lf_guarded([&] {
        return lf_sim().setDataOnSimObject(hSimConnect, DefineID, ObjectID, Flags, ArrayCount,
                                           cbUnitSize, pDataSet);
    });
}

HRESULT SimConnect_TransmitClientEvent(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                       SIMCONNECT_CLIENT_EVENT_ID EventID, DWORD dwData,
                                       SIMCONNECT_NOTIFICATION_GROUP_ID GroupID,
                                       SIMCONNECT_EVENT_FLAG Flags)
{
    return lf_guarded([&] {
        return lf_sim().transmitClientEvent(hSimConnect, ObjectID, EventID, dwData, GroupID,
                                            Flags);
    });
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE hSimConnect, const char* szContainerTitle,
                                          const char* szTailNumber,
                                          SIMCONNECT_DATA_INITPOSITION InitPos,
                                          SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    return lf_guarded([&] {
        return lf_sim().aiCreateNonAtcAircraft(hSimConnect, szContainerTitle, szTailNumber,
                                               InitPos, RequestID);
    });
}

HRESULT SimConnect_AIRemoveObject(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                  SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    return lf_guarded([&] { return lf_sim().aiRemoveObject(hSimConnect, ObjectID, RequestID); });
}

HRESULT SimConnect_AIReleaseControl(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                    SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    return lf_guarded(
        [&] { return lf_sim().aiReleaseControl(hSimConnect, ObjectID, RequestID); });
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE hSimConnect, SIMCONNECT_OBJECT_ID ObjectID,
                                           const char* szFlightPlanPath,
                                           SIMCONNECT_DATA_REQUEST_ID RequestID)
{
    return lf_guarded([&] {
        return lf_sim().aiSetAircraftFlightPlan(hSimConnect, ObjectID, szFlightPlanPath,
                                                RequestID);
    });
}

}  // extern "C"
