// The stand-in simulator's time: frames at the set rate inside the dispatch, the per-second
// period, ONCE replies on the next dispatch, and the user aircraft's data.
#include <numbers>

#include "sim_fixture.h"

namespace qel::test {
namespace {

using Frames = SimStandinTest;
using UserAircraft = SimStandinTest;

TEST_F(Frames, ComeAtTheSetRateInsideTheDispatch)
{
    struct Case {
        const char* members;
        size_t perSecond;
        float rate;
    };
    for (const Case& c : {Case{"", 30, 30.0f}, Case{R"("frame_rate_hz": 10)", 10, 10.0f}}) {
        SCOPED_TRACE(c.members);
        world(c.members);
        openOrFail();
        SimConnect_SubscribeToSystemEvent(handle_, kEventFrame, "Frame");
        dispatch();
        EXPECT_TRUE(only(dispatch(), SIMCONNECT_RECV_ID_EVENT_FRAME).empty());
        advance(1.0);
        const auto frames = only(dispatch(), SIMCONNECT_RECV_ID_EVENT_FRAME);
        ASSERT_EQ(frames.size(), c.perSecond);
        const auto frame = frames[0].as<SIMCONNECT_RECV_EVENT_FRAME>();
        EXPECT_EQ(frame.uEventID, kEventFrame);
        EXPECT_FLOAT_EQ(frame.fFrameRate, c.rate);
        SimConnect_Close(handle_);
        handle_ = nullptr;
    }
}

TEST_F(Frames, PerSecondRequestIsAnsweredOnceASimulatorSecond)
{
    world();
    connect();
    ASSERT_EQ(SimConnect_RequestDataOnSimObject(handle_, kReqOnGround, kDefOnGround,
                                                SIMCONNECT_OBJECT_ID_USER,
                                                SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0),
              S_OK);
    EXPECT_TRUE(dispatch().empty());  // the first reply comes with the next frame
    advance(0.05);
    auto replies = only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwRequestID, kReqOnGround);
    EXPECT_EQ(replies[0].data<int64_t>(), 1);  // standing at a stand
    advance(10.0);
    EXPECT_EQ(only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).size(), 10u);
    // Period NEVER ends it.
    SimConnect_RequestDataOnSimObject(handle_, kReqOnGround, kDefOnGround,
                                      SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_NEVER);
    advance(3.0);
    EXPECT_TRUE(only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA).empty());
}

TEST_F(Frames, OnceRepliesComeWithTheNextDispatch)
{
    world();
    connect();
    // A request made inside the callback is answered by the next dispatch, not this one.
    struct Context {
        HANDLE handle;
        int replies = 0;
    } context{handle_};
    auto onMessage = [](SIMCONNECT_RECV* data, DWORD, void* p) {
        auto* ctx = static_cast<Context*>(p);
        if (data->dwID == SIMCONNECT_RECV_ID_SIMOBJECT_DATA) ++ctx->replies;
        SimConnect_RequestDataOnSimObject(ctx->handle, kReqUser, kDefUserState,
                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    };
    simstandin::setPaused(false);
    SimConnect_RequestDataOnSimObject(handle_, kReqUser, kDefUserState,
                                      SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    ASSERT_EQ(SimConnect_CallDispatch(handle_, onMessage, &context), S_OK);
    EXPECT_EQ(context.replies, 1);
    ASSERT_EQ(SimConnect_CallDispatch(handle_, onMessage, &context), S_OK);
    EXPECT_EQ(context.replies, 2);
}

TEST_F(UserAircraft, StateBlockHoldsPositionHeightAndZuluTime)
{
    world();
    connect();
    advance(3725.5);  // 01:02:05.5 on 1 January 2026
    dispatch();
    SimConnect_RequestDataOnSimObject(handle_, kReqUser, kDefUserState,
                                      SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE);
    const auto replies = only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(replies.size(), 1u);
    const Received& r = replies[0];
    EXPECT_EQ(r.bytes.size(), Received::dataStart() + 96);
    EXPECT_EQ(r.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwObjectID, 1u);
    EXPECT_EQ(r.as<SIMCONNECT_RECV_SIMOBJECT_DATA>().dwDefineCount, 12u);
    EXPECT_DOUBLE_EQ(r.data<double>(0), 51.2793);
    EXPECT_DOUBLE_EQ(r.data<double>(8), 6.7635);
    EXPECT_NEAR(r.data<double>(32), 320.0 * std::numbers::pi / 180.0, 1e-12);
    EXPECT_DOUBLE_EQ(r.data<double>(40), 147.0 + 6.0);  // field plus the user's CG height
    EXPECT_DOUBLE_EQ(r.data<double>(48), 6.0);          // above ground
    EXPECT_EQ(r.data<int64_t>(64), 3725);               // seconds of the day
    EXPECT_EQ(r.data<int64_t>(72), 1);                  // day of year
    EXPECT_EQ(r.data<int64_t>(80), 2026);
    EXPECT_EQ(r.data<int64_t>(88), 3);  // nav and beacon lights
}

TEST_F(UserAircraft, TitleAndModelComeAsTexts)
{
    world(R"("user": {"title": "Airbus A320 Neo FlyByWire", "atc_model": "$$:A20N"})");
    connect();
    SimConnect_RequestDataOnSimObject(handle_, kReqTitle, kDefTitle, SIMCONNECT_OBJECT_ID_USER,
                                      SIMCONNECT_PERIOD_ONCE);
    SimConnect_RequestDataOnSimObject(handle_, kReqModel, kDefModel, SIMCONNECT_OBJECT_ID_USER,
                                      SIMCONNECT_PERIOD_ONCE);
    const auto replies = only(dispatch(), SIMCONNECT_RECV_ID_SIMOBJECT_DATA);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].text(0), "Airbus A320 Neo FlyByWire");
    EXPECT_EQ(replies[0].bytes.size(), Received::dataStart() + 26);  // STRINGV: text and 0
    EXPECT_EQ(replies[1].text(0), "$$:A20N");
    EXPECT_EQ(replies[1].bytes.size(), Received::dataStart() + 32);
}

TEST_F(UserAircraft, FollowsItsPathAndJumpsOnATeleport)
{
    world(R"("user": {"path": [{"t_s": 0, "lat": 51.0, "lon": 7.0, "alt_ft": 3147},
                               {"t_s": 100, "lat": 51.1, "lon": 7.0, "alt_ft": 4147}]})");
    connect();
    advance(50.0);
    auto user = simstandin::object(1);
    ASSERT_TRUE(user);
    EXPECT_NEAR(user->latitude, 51.05, 1e-3);
    EXPECT_NEAR(user->altitude_ft, 3647.0, 15.0);
    EXPECT_NEAR(user->altAboveGround_ft, 3500.0, 15.0);
    EXPECT_FALSE(user->onGround);
    EXPECT_NEAR(user->groundSpeed_kt, 6.0 / 100.0 * 3600.0, 1.0);  // 6 nm in 100 s
    EXPECT_NEAR(user->heading_rad, 0.0, 1e-6);

    simstandin::teleportUser(50.0, 8.5);
    advance(10.0);
    user = simstandin::object(1);
    EXPECT_DOUBLE_EQ(user->latitude, 50.0);
    EXPECT_DOUBLE_EQ(user->longitude, 8.5);
    EXPECT_TRUE(user->onGround);
}

}  // namespace
}  // namespace qel::test
