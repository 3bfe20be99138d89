// A SimConnect client for the stand-in simulator's tests: a manual clock, a scenario made from a
// "simulator" object, the program's data definitions, and the messages of each dispatch copied
// out so that tests can look at them after the callback has returned.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "simlink/simconnect.h"
#include "standins/simulator/sim_standin.h"

namespace qel::test {

// One received message, copied.
struct Received {
    std::vector<std::byte> bytes;

    DWORD id() const { return as<SIMCONNECT_RECV>().dwID; }
    template <class Record>
    Record as() const
    {
        Record record{};
        std::memcpy(&record, bytes.data(), std::min(sizeof record, bytes.size()));
        return record;
    }
    // The data of a SIMOBJECT_DATA(_BYTYPE) message from `offset` on.
    template <class T>
    T data(size_t offset = 0) const
    {
        T value{};
        std::memcpy(&value, bytes.data() + dataStart() + offset, sizeof value);
        return value;
    }
    std::string text(size_t offset) const
    {
        return std::string(reinterpret_cast<const char*>(bytes.data() + dataStart() + offset));
    }
    static size_t dataStart() { return sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD); }
};

// The program's ids, as the simulator link registers them.
enum : DWORD {
    kEventSim = 201, kEventObjectAdded = 202, kEventObjectRemoved = 203, kEventFrame = 204,
    kEventFlightLoaded = 205, kDefPosition = 402, kDefUserState = 403, kDefInRange = 404,
    kDefStaticCg = 405, kDefTitle = 407, kDefModel = 408, kDefOnGround = 409,
    kReqInRange = 101, kReqCg = 102, kReqCreate = 104, kReqRemove = 105, kReqTitle = 106,
    kReqModel = 107, kReqOnGround = 108, kReqUser = 109, kGroup = 301
};

// A livery the default test world knows, and one that is a helicopter.
inline constexpr const char* kA320 = "Airbus A320 Lufthansa";
inline constexpr const char* kR44 = "Robinson R44 Police";

struct SimPosition {  // the 64-byte block of definition 402
    double latitude, longitude, pitch, bank, heading, altitude, verticalSpeed, airspeed;
};

class SimStandinTest : public ::testing::Test {
protected:
    SimStandinTest()
    {
        auto manual = std::make_unique<platform::ManualClock>(1'767'225'600);  // 2026-01-01
        clock_ = manual.get();
        scopedClock_.emplace(std::move(manual));
    }

    ~SimStandinTest() override
    {
        if (handle_) SimConnect_Close(handle_);
        simstandin::reset();
    }

    // A world at EDDL (field elevation 147 ft) with the "simulator" members given, e.g.
    // R"("open_failures": 2)".
    void world(const std::string& simulatorMembers = "", const std::string& shared = "")
    {
        std::string sim = R"("field_elevation_ft": 147, "liveries": [")" + std::string(kA320) +
                          R"(", {"title": ")" + kR44 + R"(", "helicopter": true}])";
        if (!simulatorMembers.empty()) sim += ", " + simulatorMembers;
        std::string text = R"({"clock": {"start": "now"},
            "user": {"lat": 51.2793, "lon": 6.7635, "alt_ft": 147, "heading_deg": 320,
                     "on_ground": true})";
        if (!shared.empty()) text += ", " + shared;
        text += R"(, "simulator": {)" + sim + "}}";
        simstandin::resetFromText(text);
    }

    void openOrFail()
    {
        ASSERT_EQ(SimConnect_Open(&handle_, "VNTQ", nullptr, 0, nullptr, 0), S_OK)
            << simstandin::lastError();
    }

    // Opens, subscribes to the program's system events and registers its definitions.
    void connect()
    {
        openOrFail();
        subscribe();
        defineAll();
        dispatch();
    }

    void subscribe()
    {
        SimConnect_SubscribeToSystemEvent(handle_, kEventSim, "Sim");
        SimConnect_SubscribeToSystemEvent(handle_, kEventObjectAdded, "ObjectAdded");
        SimConnect_SubscribeToSystemEvent(handle_, kEventObjectRemoved, "ObjectRemoved");
        SimConnect_SubscribeToSystemEvent(handle_, kEventFlightLoaded, "FlightLoaded");
    }

    void define(DWORD id, const char* name, const char* unit,
                SIMCONNECT_DATATYPE type = SIMCONNECT_DATATYPE_FLOAT64)
    {
        ASSERT_EQ(SimConnect_AddToDataDefinition(handle_, id, name, unit, type, 0,
                                                 SIMCONNECT_UNUSED),
                  S_OK);
    }

    void defineAll()
    {
        const char* position[][2] = {
            {"Plane Latitude", "degree"}, {"Plane Longitude", "degree"},
            {"Plane Pitch degrees", "radians"}, {"Plane Bank degrees", "radians"},
            {"Plane Heading degrees true", "radians"}, {"Plane Altitude", "feet"}};
        for (auto& [name, unit] : position) define(kDefPosition, name, unit);
        define(kDefPosition, "Vertical Speed", "feet per second");
        define(kDefPosition, "Airspeed True", "knots");
        for (auto& [name, unit] : position) define(kDefUserState, name, unit);
        define(kDefUserState, "Plane Alt Above Ground", "feet");
        define(kDefUserState, "Ground Velocity", "knots");
        define(kDefUserState, "ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64);
        define(kDefUserState, "ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64);
        define(kDefUserState, "ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64);
        define(kDefUserState, "LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64);
        define(kDefInRange, "Plane Alt Above Ground", "feet");
        define(kDefInRange, "Ground Altitude", "feet");
        define(kDefInRange, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
        define(kDefInRange, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32);
        define(kDefStaticCg, "Static CG to Ground", "feet");
        define(kDefStaticCg, "Static Pitch", "radians");
        define(kDefTitle, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV);
        define(kDefModel, "ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32);
        define(kDefOnGround, "SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64);
    }

    std::vector<Received> dispatch(HRESULT expected = S_OK)
    {
        std::vector<Received> received;
        EXPECT_EQ(SimConnect_CallDispatch(handle_, &SimStandinTest::collect, &received),
                  expected);
        return received;
    }

    static void collect(SIMCONNECT_RECV* data, DWORD size, void* context)
    {
        auto* out = static_cast<std::vector<Received>*>(context);
        Received r;
        r.bytes.resize(size);
        std::memcpy(r.bytes.data(), data, size);
        EXPECT_EQ(data->dwSize, size);
        out->push_back(std::move(r));
    }

    static std::vector<Received> only(const std::vector<Received>& all, DWORD id)
    {
        std::vector<Received> out;
        for (const Received& r : all) {
            if (r.id() == id) out.push_back(r);
        }
        return out;
    }

    void advance(double seconds)
    {
        clock_->advance(std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)));
    }

    SIMCONNECT_DATA_INITPOSITION ground(double lat = 51.2790, double lon = 6.7630) const
    {
        return {lat, lon, 0.0, 0.0, 0.0, 320.0, 1, 0};
    }

    DWORD lastPacket()
    {
        DWORD id = 0;
        EXPECT_EQ(SimConnect_GetLastSentPacketID(handle_, &id), S_OK);
        return id;
    }

    // Creates an aircraft with callsign `tail` and returns its object id from ObjectAdded.
    DWORD create(const char* title, const char* tail)
    {
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(handle_, title, tail, ground(), kReqCreate),
                  S_OK);
        for (const Received& r : only(dispatch(), SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)) {
            const auto event = r.as<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>();
            if (event.uEventID == kEventObjectAdded) return event.dwData;
        }
        ADD_FAILURE() << "no ObjectAdded for " << tail;
        return 0;
    }

    platform::ManualClock* clock_ = nullptr;
    std::optional<platform::ScopedClock> scopedClock_;
    HANDLE handle_ = nullptr;
};

}  // namespace qel::test
