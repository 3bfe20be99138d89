#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "rt_fixture.h"

namespace qel {
namespace {

using standin::Fault;
using namespace std::chrono_literals;

class SignIn : public test::RtTest {
protected:
    // The sign-in's outcome: the exception's text, or "" when it returned.
    std::string attempt(const std::string& license)
    {
        setenv("VNTQ_RT_LICENSE", license.c_str(), 1);
        try {
            gf_authenticater();
        } catch (const UserErrorException& e) {
            return std::string("user error ") + e.what();
        } catch (const std::exception& e) {
            return e.what();
        }
        return {};
    }
    std::string timeNow() { return gf_timeString(platform::epochSeconds()); }
};

TEST_F(SignIn, AccountsAndTheirRefusals)
{
    struct Case {
        const char* license;
        std::string outcome;     // the exception's text, "" when none
        std::string account;     // the account line; "" without a session
        ExitReason reason;
    };
    const Case cases[] = {
        {"standard-license", "", "RT standard license, 30 days left", ExitReason::NOT_YET_SET},
        {"professional-license", "", "RT professional license, 30 days left",
         ExitReason::NOT_YET_SET},
        {"expired-license", "user error 10: Your RT license is expired", "",
         ExitReason::NOT_YET_SET},
        {"nobody-license", "user error 10: RT did not recognize your license", "",
         ExitReason::NOT_YET_SET},
        {"second-session-license",
         "user error 10: More than one RealTraffic session is not possible, do not run the "
         "RealTraffic app",
         "", ExitReason::NOT_YET_SET},
        {"server-error-license", "No RT database connection", "", ExitReason::NOT_YET_SET},
        // A reply without a GUID opens no session: the start is tried again.
        {"no-guid-license", "", "", ExitReason::READER_ERROR},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        const auto start = platform::steadyNow();
        EXPECT_EQ(attempt(c.license), c.outcome) << c.license;
        const bool session = !c.account.empty();
        EXPECT_EQ(!gf_rtGuid().empty(), session) << c.license;
        EXPECT_EQ(rt::g_trafficReader.guid(), gf_rtGuid());
        EXPECT_EQ(gf_rtSignedIn(), session);
        EXPECT_EQ(g_rtWindowStatus.realTrafficText.get(), c.account) << c.license;
        EXPECT_EQ(g_rtProfessional.load(), c.account.find("professional") != std::string::npos);
        EXPECT_EQ(g_exitReason.load(), c.reason) << c.license;
        // A session is opened, then the sign-in waits the weather interval.
        EXPECT_EQ(platform::steadyNow() - start, session ? 2000ms : 0ms) << c.license;
    }
    EXPECT_EQ(countLines("Your RT license is expired"), 1);
    EXPECT_EQ(countLines("Authentication: reply without a GUID"), 1);
    EXPECT_EQ(countLines("The Authenticater has stopped with an error"), 1);
    EXPECT_EQ(countLines("Authenticated at RT server 'rtw-standin'"), 2);
    const auto signIns = server_->requests("/v4/auth");
    ASSERT_EQ(signIns.size(), 7u);
    EXPECT_EQ(signIns[0].body, "license=standard-license&software=VNTQ_11.14.0");
}

TEST_F(SignIn, OnlyAStatusOf200WithAGuidOpensASession)
{
    struct Case {
        Fault fault;
        std::optional<std::string> guid;  // none: the failure path
        std::string logged;               // a line the attempt logs
    };
    const Case cases[] = {
        {Fault::withStatus(401, "no"), std::nullopt, "Authentication refused, status: 401"},
        {Fault::withStatus(403, "no"), std::nullopt, "Authentication refused, status: 403"},
        {Fault::withStatus(400, "Parameter fault"), std::nullopt, ""},
        {Fault::withBody(R"({"status": 200})"), std::nullopt,
         "Authentication: reply without a GUID"},
        {Fault::withBody(R"({"status": 200, "GUID": ""})"), std::nullopt,
         "Authentication: reply without a GUID"},
        {Fault::withBody(R"({"status": 200, "GUID": 42})"), std::nullopt,
         "Authentication: reply without a GUID"},
        // A status that is no JSON integer is no status.
        {Fault::withBody(R"({"status": "402", "GUID": "abc"})"), "abc",
         "Authenticated at RT server '?'"},
        {Fault::withBody(R"({"GUID": "def"})"), "def", "Authenticated at RT server '?'"},
        {Fault::emptyBody(), std::nullopt, "Authentication: empty response"},
        {Fault::invalidJson(), std::nullopt, "authentication, invalid JSON:"},
        {Fault::gatewayTimeout(), std::nullopt, "authentication, invalid JSON:"},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        server_->addFault("/v4/auth", c.fault);
        const auto before = log_.lines().size();
        EXPECT_EQ(attempt("standard-license"), "");
        EXPECT_EQ(gf_rtGuid(), c.guid.value_or("")) << c.fault.body;
        EXPECT_EQ(g_exitReason.load(),
                  c.guid ? ExitReason::NOT_YET_SET : ExitReason::READER_ERROR)
            << c.fault.body;
        const auto lines = log_.lines();
        bool found = c.logged.empty();
        for (auto i = before; i < lines.size(); ++i) found = found || lines[i] == c.logged;
        EXPECT_TRUE(found) << c.logged;
    }
}

TEST_F(SignIn, TransferErrorIsLoggedOnceAndRestarts)
{
    setenv("VNTQ_RT_URL", "http://127.0.0.1:1", 1);
    EXPECT_EQ(attempt("standard-license"), "");
    EXPECT_EQ(countLines(timeNow() + " Authentication failed: Couldn't connect to server"), 1);
    EXPECT_EQ(countLines("The Authenticater has stopped with an error"), 1);
    EXPECT_EQ(g_exitReason.load(), ExitReason::READER_ERROR);
    EXPECT_EQ(g_restartDelay.load(), 15);
    EXPECT_TRUE(gf_rtGuid().empty());
}

TEST_F(SignIn, CredentialIsEncodedAndNeverLogged)
{
    const std::string secret = "s3cret&x=1+2%3 #\xC3\xBC";
    server_->addCredential({secret});
    EXPECT_EQ(attempt(secret), "");
    EXPECT_FALSE(gf_rtGuid().empty());
    const auto signIns = server_->requests("/v4/auth");
    ASSERT_EQ(signIns.size(), 1u);
    EXPECT_EQ(signIns[0].field("license"), secret);
    EXPECT_EQ(signIns[0].field("software"), "VNTQ_11.14.0");
    EXPECT_EQ(test::readFile(log_.path()).find("s3cret"), std::string::npos);
}

TEST_F(SignIn, CredentialComesFromTheFileInThePerUserFolderWhenNotSet)
{
    unsetenv("VNTQ_RT_LICENSE");
    const auto file = user_ / "RealTraffic.license";
    try {
        gf_authenticater();
        ADD_FAILURE() << "no credential, yet no error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "10: No RT license: set VNTQ_RT_LICENSE or write it into " + file.string());
    }
    EXPECT_TRUE(server_->requests("/v4/auth").empty());

    test::writeFile(file, "  professional-license \r\nsecond line\n");
    gf_authenticater();
    EXPECT_TRUE(g_rtProfessional.load());
    EXPECT_EQ(server_->requests("/v4/auth").at(0).field("license"), "professional-license");
}

TEST_F(SignIn, DaysLeftOfTheAccount)
{
    struct Case {
        std::optional<int64_t> expiry_s;  // after the sign-in
        std::optional<int64_t> expiry;    // absolute, epoch seconds
        std::string account;
    };
    const int64_t now = platform::epochSeconds();
    const int64_t farAway = 9'000'000'000'000'000'000;
    const Case cases[] = {
        {10 * 86400 + 3600, std::nullopt, "RT standard license, 10 days left"},
        {86400 + 5 * 3600, std::nullopt, "RT standard license, 1 day left"},
        {-12 * 3600, std::nullopt, "RT standard license, 0 days left"},
        {-3 * 86400, std::nullopt, "RT standard license, -3 day left"},
        // Far beyond what ten-millionths of a second since 1970 can count.
        {std::nullopt, farAway,
         fmt::format("RT standard license, {} days left", (farAway - now) / 86400)},
        {std::nullopt, -farAway,
         fmt::format("RT standard license, {} day left", (-farAway - now) / 86400)},
    };
    for (const auto& c : cases) {
        test::resetClientState();
        standin::Credential credential{"timed-license"};
        if (c.expiry_s) credential.expiry_s = *c.expiry_s;
        credential.expiry = c.expiry;
        server_->addCredential(credential);
        EXPECT_EQ(attempt("timed-license"), "");
        EXPECT_EQ(g_rtWindowStatus.realTrafficText.get(), c.account);
    }
}

TEST_F(SignIn, IntervalsAreKeptWithinBounds)
{
    standin::Credential credential{"odd-license"};
    credential.rrl_ms = 0;
    credential.wrrl_ms = 1'000'000'000;
    server_->addCredential(credential);
    const auto start = platform::steadyNow();
    EXPECT_EQ(attempt("odd-license"), "");
    EXPECT_EQ(rt::g_weatherReader.rrl(), 500);
    EXPECT_EQ(rt::g_weatherReader.wrrl(), 60000);
    EXPECT_EQ(platform::steadyNow() - start, 60000ms);
}

TEST_F(SignIn, SignOutEndsTheSessionEvenAfterTheReadersWereStopped)
{
    ASSERT_TRUE(signIn());
    const std::string guid = gf_rtGuid();
    stopReaders();
    gf_deauthenticate();
    EXPECT_TRUE(gf_rtGuid().empty());
    EXPECT_FALSE(gf_rtSignedIn());
    EXPECT_EQ(countLines("Deauth success RT server 'rtw-standin'"), 1);
    const auto signOuts = server_->requests("/v4/deauth");
    ASSERT_EQ(signOuts.size(), 1u);
    EXPECT_EQ(signOuts[0].body, "GUID=" + guid);
    EXPECT_TRUE(server_->activeGuids().empty());
}

TEST_F(SignIn, FailedSignOutIsOnlyLogged)
{
    ASSERT_TRUE(signIn());
    server_->endAllSessions();
    gf_deauthenticate();
    EXPECT_EQ(countLines("==> Deauthentication failed, status: 401"), 1);
    EXPECT_FALSE(gf_rtGuid().empty());
    setenv("VNTQ_RT_URL", "http://127.0.0.1:1", 1);
    gf_deauthenticate();
    EXPECT_EQ(countLines(timeNow() + " Deauthentication failed: Couldn't connect to server"), 1);
    server_->addFault("/v4/deauth", Fault::emptyBody());
    setenv("VNTQ_RT_URL", server_->url().c_str(), 1);
    gf_deauthenticate();
    EXPECT_EQ(countLines("Deauthentication: empty response"), 1);
    EXPECT_EQ(g_exitReason.load(), ExitReason::NOT_YET_SET);
}

TEST_F(SignIn, ResetForARestartKeepsOnlyTheIntervals)
{
    standin::Credential credential{"paced-license"};
    credential.rrl_ms = 3000;
    credential.wrrl_ms = 4000;
    server_->addCredential(credential);
    EXPECT_EQ(attempt("paced-license"), "");
    gf_setRtTimeOffset(90);
    stopReaders();
    ASSERT_TRUE(rt::g_trafficReader.stopRequested());
    gf_resetRtRun();
    for (rt::RtConnection* reader : {static_cast<rt::RtConnection*>(&rt::g_trafficReader),
                                     static_cast<rt::RtConnection*>(&rt::g_weatherReader)}) {
        EXPECT_TRUE(reader->guid().empty());
        EXPECT_FALSE(reader->stopRequested());
        EXPECT_FALSE(reader->finished());
        EXPECT_EQ(reader->toffset(), 0);
    }
    EXPECT_EQ(rt::g_weatherReader.rrl(), 3000);
    EXPECT_EQ(rt::g_weatherReader.wrrl(), 4000);
    EXPECT_EQ(g_qnhReady.load(), 0);
    // The next start signs in again with the new handle.
    EXPECT_EQ(attempt("paced-license"), "");
    EXPECT_FALSE(gf_rtGuid().empty());
}

// Between the program's stop (or the window's close) and close-down's stop of each reader, the
// readers end by themselves: every transfer would abort at once, and retrying them spins and
// floods Log.txt.
TEST_F(SignIn, ReadersEndOnTheProgramsStopOrClose)
{
    for (std::atomic<bool>* flag : {&g_stopRequested, &g_closeRequested}) {
        ASSERT_TRUE(signIn());
        startWeather();
        startTraffic();
        ASSERT_TRUE(test::awaitTrue([] { return gf_trafficReceiving(); }));
        *flag = true;
        EXPECT_TRUE(test::awaitTrue(
            [] { return gf_weatherReaderFinished() && gf_trafficReaderFinished(); }));
        EXPECT_FALSE(rt::g_weatherReader.stopRequested());
        EXPECT_FALSE(rt::g_trafficReader.stopRequested());
        stopReaders();
        *flag = false;
        EXPECT_FALSE(hasLineStartingWith("==> curl traffic code"));
        EXPECT_EQ(countLines("The Traffic Reader has stopped with an error"), 0);
        EXPECT_EQ(countLines("The Weather Reader has stopped with an error"), 0);
        gf_resetRtRun();
    }
}

}  // namespace
}  // namespace qel
