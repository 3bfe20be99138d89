// Sign-in, sign-out and the GUID checks of the RealTraffic stand-in.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin_fixture.h"

namespace qel::standin::test {
namespace {

using RtStandinSessions = StandinTest;

TEST_F(RtStandinSessions, SignInAnswersByCredential)
{
    const struct {
        const char* license;
        int status;
        int type;  // 0: no "type" member
        bool guid;
    } cases[] = {
        {"standard-license", 200, 1, true},
        {"professional-license", 200, 2, true},
        {"expired-license", 402, 0, false},
        {"second-session-license", 405, 0, false},
        {"server-error-license", 500, 0, false},
        {"no-guid-license", 200, 1, false},
        {"nobody", 404, 0, false},
        {"", 400, 0, false},
    };
    for (const auto& c : cases) {
        const Answer a = post("/v4/auth", std::string("license=") + c.license + "&software=V");
        ASSERT_TRUE(a.json.is_object()) << c.license << ": " << a.body;
        EXPECT_EQ(a.http, 200) << c.license;
        EXPECT_EQ(a.json["status"], c.status) << c.license;
        EXPECT_EQ(a.json.contains("GUID"), c.guid) << c.license;
        if (c.type != 0) {
            EXPECT_EQ(a.json["type"], c.type) << c.license;
            EXPECT_EQ(a.json["rrl"], 2000);
            EXPECT_EQ(a.json["wrrl"], 2000);
            EXPECT_EQ(a.json["server"], "rtw-standin");
            // 30 days after the sign-in by default.
            EXPECT_EQ(a.json["expiry"], scenarioStart_s + 30 * 86400) << c.license;
        } else {
            EXPECT_TRUE(a.json["message"].is_string()) << c.license;
        }
    }
    EXPECT_EQ(server_->activeGuids().size(), 2u);
}

TEST_F(RtStandinSessions, EverySignInGetsItsOwnGuid)
{
    std::set<std::string> guids;
    for (int i = 0; i < 5; ++i) guids.insert(signIn());
    EXPECT_EQ(guids.size(), 5u);
    for (const std::string& guid : guids) {
        // The service's form: 8-4-4-4-12 hexadecimal digits.
        EXPECT_EQ(guid.size(), 36u);
        EXPECT_EQ(guid[14], '4');
    }
}

TEST_F(RtStandinSessions, DeauthEndsTheSessionAndLaterRequestsGet401)
{
    const std::string guid = signIn();
    // A request now and then keeps the session from lapsing.
    for (int i = 0; i < 13; ++i) {
        clock_.advance(std::chrono::seconds(119));
        EXPECT_EQ(traffic(guid).json["status"], 200);
    }
    clock_.advance(std::chrono::seconds(1572 - 13 * 119));
    const Answer out = post("/v4/deauth", "GUID=" + guid);
    EXPECT_EQ(out.json["status"], 200);
    EXPECT_EQ(out.json["message"], "Deauth success");
    EXPECT_EQ(out.json["Session length"], 1572);
    EXPECT_EQ(out.json["server"], "rtw-standin");
    EXPECT_TRUE(server_->activeGuids().empty());

    for (const char* path : {"/v4/traffic", "/v4/nearestmetar", "/v4/weather", "/v4/deauth"}) {
        const Answer a = post(path, "GUID=" + guid + "&querytype=locwx&lat=51.3&lon=6.8&" +
                                        eddlBox);
        EXPECT_EQ(a.json["status"], 401) << path;
    }
    EXPECT_EQ(traffic("00000000-0000-4000-8000-000000000000").json["status"], 401);
    EXPECT_EQ(traffic("").json["status"], 401);
}

TEST_F(RtStandinSessions, SessionLapsesAfter120SecondsWithoutARequest)
{
    const std::string kept = signIn();
    const std::string idle = signIn();
    clock_.advance(std::chrono::seconds(60));
    EXPECT_EQ(traffic(kept).json["status"], 200);
    clock_.advance(std::chrono::seconds(61));
    EXPECT_EQ(traffic(kept).json["status"], 200);
    EXPECT_EQ(traffic(idle).json["status"], 401);
    EXPECT_EQ(post("/v4/deauth", "GUID=" + idle).json["status"], 401);
    EXPECT_EQ(server_->activeGuids(), std::vector<std::string>{kept});
}

TEST_F(RtStandinSessions, EndingOneSessionLeavesTheOthers)
{
    const std::string first = signIn();
    const std::string second = signIn("professional-license");
    server_->endSession(first);
    EXPECT_EQ(traffic(first).json["status"], 401);
    EXPECT_EQ(traffic(second).json["status"], 200);
    server_->endAllSessions();
    clock_.advance(std::chrono::seconds(2));
    EXPECT_EQ(traffic(second).json["status"], 401);
}

TEST_F(RtStandinSessions, SingleSessionCredentialRefusesASecondSignIn)
{
    Credential c;
    c.license = "only-one";
    c.singleSession = true;
    server_->addCredential(c);
    const std::string guid = signIn("only-one");
    EXPECT_EQ(post("/v4/auth", "license=only-one").json["status"], 405);
    post("/v4/deauth", "GUID=" + guid);
    EXPECT_EQ(post("/v4/auth", "license=only-one").json["status"], 200);
}

// Only live sessions hold a place: one signed out or lapsed frees it for the next sign-in.
TEST_F(RtStandinSessions, SessionLimitCountsOnlyLiveSessions)
{
    Credential c;
    c.license = "two-seats";
    c.maxSessions = 2;
    server_->addCredential(c);
    const auto signInStatus = [this] {
        return post("/v4/auth", "license=two-seats").json.value("status", 0);
    };
    const std::string first = signIn("two-seats");
    const std::string second = signIn("two-seats");
    const Answer refused = post("/v4/auth", "license=two-seats");
    EXPECT_EQ(refused.json["status"], 405);
    EXPECT_EQ(refused.json["message"], "Another session is active for this license");
    EXPECT_EQ(signInStatus(), 405);
    EXPECT_FALSE(signIn().empty());  // another credential counts its own sessions
    post("/v4/deauth", "GUID=" + first);
    EXPECT_EQ(signInStatus(), 200);
    EXPECT_EQ(signInStatus(), 405);
    // The second and the third sign-in's sessions lapse without a request; the refused
    // sign-ins did not renew them.
    clock_.advance(std::chrono::seconds(121));
    EXPECT_EQ(signInStatus(), 200);
    EXPECT_EQ(signInStatus(), 200);
    EXPECT_EQ(signInStatus(), 405);
    EXPECT_EQ(traffic(second).json["status"], 401);
}

TEST_F(RtStandinSessions, CredentialIsReadPercentDecoded)
{
    Credential c;
    c.license = "pro+100% & co=1";
    c.behaviour = Behaviour::Professional;
    c.rrl_ms = 1000;
    c.wrrl_ms = 4000;
    c.expiry = 2000000000;
    server_->addCredential(c);
    const Answer a = post("/v4/auth", "license=pro%2B100%25+%26+co%3D1&software=VNTQ_11.14.0");
    EXPECT_EQ(a.json["status"], 200) << a.body;
    EXPECT_EQ(a.json["type"], 2);
    EXPECT_EQ(a.json["rrl"], 1000);
    EXPECT_EQ(a.json["wrrl"], 4000);
    EXPECT_EQ(a.json["expiry"], 2000000000);
    // Sent without encoding, the body splits at '&' and the credential is not found.
    EXPECT_EQ(post("/v4/auth", "license=pro+100% & co=1").json["status"], 404);
    EXPECT_EQ(server_->requests("/v4/auth")[0].field("license"), "pro+100% & co=1");
}

}  // namespace
}  // namespace qel::standin::test
