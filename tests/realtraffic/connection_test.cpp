#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "realtraffic/rt_connection.h"
#include "rt_fixture.h"

namespace qel {
namespace {

using namespace std::chrono_literals;

// Records every sleep; time moves only by them. One thread only.
class RecordingClock : public platform::Clock {
public:
    platform::SteadyTime steadyNow() override { return now_; }
    void sleepFor(std::chrono::nanoseconds duration) override
    {
        sleeps.push_back(duration);
        now_ += duration;
        if (onSleep) onSleep();
    }
    int64_t epochSeconds() override { return 1'724'521'800; }

    std::vector<std::chrono::nanoseconds> sleeps;
    std::function<void()> onSleep;

private:
    platform::SteadyTime now_{std::chrono::hours(240)};
};

class Connection : public ::testing::Test {
protected:
    Connection()
    {
        auto owned = std::make_unique<RecordingClock>();
        clock_ = owned.get();
        scoped_ = std::make_unique<platform::ScopedClock>(std::move(owned));
    }
    std::chrono::nanoseconds slept() const
    {
        std::chrono::nanoseconds total{0};
        for (const auto s : clock_->sleeps) total += s;
        return total;
    }

    RecordingClock* clock_ = nullptr;
    std::unique_ptr<platform::ScopedClock> scoped_;
    rt::RtConnection connection_;
};

TEST_F(Connection, WaitLastsItsTimeInShortInterruptibleSteps)
{
    struct Case {
        int32_t ms;
        std::chrono::milliseconds total;
    };
    for (const auto& c : {Case{2000, 2000ms}, Case{2003, 2003ms}, Case{3, 3ms}, Case{0, 0ms},
                          Case{-5, 0ms}}) {
        clock_->sleeps.clear();
        connection_.waitFor(c.ms);
        EXPECT_EQ(slept(), c.total) << c.ms;
        for (const auto s : clock_->sleeps) EXPECT_LE(s, 50ms) << c.ms;
    }
}

TEST_F(Connection, StopEndsAWaitAfterTheCurrentStep)
{
    clock_->onSleep = [this] { connection_.requestStop(); };
    connection_.waitFor(2000);
    EXPECT_EQ(clock_->sleeps.size(), 1u);
    EXPECT_LE(slept(), 50ms);
    // Raised before the call: no wait at all.
    clock_->sleeps.clear();
    connection_.waitFor(2000);
    EXPECT_TRUE(clock_->sleeps.empty());
}

TEST(RtRequest, WriteCallbackAppendsUpToTheLimit)
{
    test::CapturedLog log;
    char data[] = "{\"status\": 200}";
    EXPECT_EQ(rt::lf_callbackwriter(data, 1, 15, nullptr), 0u);
    std::string body;
    EXPECT_EQ(rt::lf_callbackwriter(data, 1, 15, &body), 15u);
    EXPECT_EQ(body, "{\"status\": 200}");
    std::string full(rt::kMaxReplyBytes - 10, 'x');
    EXPECT_EQ(rt::lf_callbackwriter(data, 1, 15, &full), 0u);
    EXPECT_EQ(full.size(), rt::kMaxReplyBytes - 10);
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "==> lf_callbackwriter: append exception: reply larger than "
                               "33554432 bytes"});
}

TEST(RtReply, BrokenBytesAreMendedAndDeepNestingIsRefused)
{
    const struct {
        std::string body;
        std::optional<std::string> mended;
    } cases[] = {
        {R"({"cs":"DLH4AB"})", R"({"cs":"DLH4AB"})"},
        {"{\"cs\":\"D\xC3\xBCS\"}", "{\"cs\":\"D\xC3\xBCS\"}"},  // ü stays
        {"{\"cs\":\"DL\xFFH\"}", "{\"cs\":\"DL\xEF\xBF\xBDH\"}"},
        {"{\"cs\":\"DL\xC0\xAFH\"}", "{\"cs\":\"DL\xEF\xBF\xBD\xEF\xBF\xBDH\"}"},
        {"{\"cs\":\"DL\xED\xA0\x80\"}",
         "{\"cs\":\"DL\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"}"},  // a surrogate
        {"{\"cs\":\"\xE2\x82\"}", "{\"cs\":\"\xEF\xBF\xBD\xEF\xBF\xBD\"}"},
        {std::string("{\"cs\":\"DLH\0\t\"}", 14), R"({"cs":"DLH\u0000\u0009"})"},
        {"{\"a\":\"\\\"[[[\"}", "{\"a\":\"\\\"[[[\"}"},  // brackets in a string
        {std::string(32, '[') + std::string(32, ']'), std::string(32, '[') + std::string(32, ']')},
        {std::string(33, '[') + std::string(33, ']'), std::nullopt},
        {"[\"\xFF\"," + std::string(33, '['), std::nullopt},    // to mend, and too deep after
        {"{\"a\":\"\\\t\",\"b\":[\"\\\xC3\xBC\",\"\\\xFF\"]}",  // escaped bytes
         "{\"a\":\"\\\t\",\"b\":[\"\\\xC3\xBC\",\"\\\xEF\xBF\xBD\"]}"},
        {"{\"cs\":\"DLH\"}\x01", "{\"cs\":\"DLH\"}\x01"},  // a control byte outside strings
        // An escaped quote does not end the string: the control byte after it is inside.
        {"{\"cs\":\"\\\"\x01\"}", "{\"cs\":\"\\\"\\u0001\"}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rt::gf_mendReply(c.body), c.mended) << c.body;
        // A reply that needs no mending is parsed as it came, and reads the same.
        const auto parsed = rt::gf_parseReply(c.body);
        const auto expected = c.mended ? nlohmann::json::parse(*c.mended, nullptr, false)
                                       : nlohmann::json(nlohmann::json::value_t::discarded);
        EXPECT_EQ(parsed.is_discarded(), expected.is_discarded()) << c.body;
        if (!expected.is_discarded()) {
            EXPECT_EQ(parsed, expected) << c.body;
        }
    }
    // One bad callsign no longer costs the other records of the reply.
    const auto reply = rt::gf_parseReply("{\"data\":[[\"a\",\"\xFF\"],[\"b\",\"DLH\"]]}");
    ASSERT_FALSE(reply.is_discarded());
    EXPECT_EQ(reply["data"][1][1], "DLH");
    // Ten megabytes of brackets are refused before the parser builds anything.
    EXPECT_TRUE(rt::gf_parseReply(std::string(10'000'000, '[')).is_discarded());
}

TEST(RtRequest, FormValuesArePercentEncoded)
{
    struct Case {
        std::string value;
        std::string sent;
    };
    for (const auto& c : {Case{"abc-XYZ_0.9~", "abc-XYZ_0.9~"}, Case{"a&b", "a%26b"},
                          Case{"a+b=c", "a%2Bb%3Dc"}, Case{"50% off", "50%25%20off"},
                          Case{"EDDL", "EDDL"}, Case{"\xC3\xBC", "%C3%BC"}, Case{"", ""}}) {
        EXPECT_EQ(rt::gf_formValue(c.value), c.sent) << c.value;
    }
}

TEST(RtRequest, EndpointComesFromTheEnvironment)
{
    unsetenv("VNTQ_RT_URL");
    EXPECT_EQ(rt::gf_rtEndpoint(), "https://rtw.flyrealtraffic.com");
    setenv("VNTQ_RT_URL", "http://127.0.0.1:8080/", 1);
    EXPECT_EQ(rt::gf_rtEndpoint(), "http://127.0.0.1:8080");
    setenv("VNTQ_RT_URL", "", 1);
    EXPECT_EQ(rt::gf_rtEndpoint(), "https://rtw.flyrealtraffic.com");
    unsetenv("VNTQ_RT_URL");
}

class StalledRequest : public test::RtTest {};

TEST_F(StalledRequest, StopAbortsTheTransferAtOnce)
{
    server_->addFault("/v4/traffic", standin::Fault::stall());
    rt::RtConnection connection;
    const rt::RequestKind kind{"/v4/traffic", "trcurl_", "trcurl_: failed to set URL", "trcurl_"};
    auto transfer = std::async(std::launch::async, [&] {
        std::string reply;
        return connection.post(kind, "GUID=x", reply);
    });
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    const auto start = std::chrono::steady_clock::now();
    connection.requestStop();
    EXPECT_EQ(transfer.get(), CURLE_ABORTED_BY_CALLBACK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    server_->releaseStalls();
    // A stopped connection sends nothing more; the sign-out kind still goes out.
    std::string reply;
    EXPECT_EQ(connection.post(kind, "GUID=x", reply), CURLE_ABORTED_BY_CALLBACK);
    const rt::RequestKind signOut{"/v4/deauth", "aucurl_", "Failed to set CURLOPT_URL", "aucurl_",
                                  false};
    EXPECT_EQ(connection.post(signOut, "GUID=x", reply), CURLE_OK);
    EXPECT_NE(reply.find("401"), std::string::npos);
}

TEST_F(StalledRequest, CloseAbortsTheSignInAndTheSignOutIsGivenUpOnInTime)
{
    server_->addFault("/v4/auth", standin::Fault::stall());
    server_->addFault("/v4/deauth", standin::Fault::stall());
    rt::RtConnection connection;
    const rt::RequestKind signIn{"/v4/auth", "aucurl_", "Failed to set CURLOPT_URL", "aucurl_"};
    auto transfer = std::async(std::launch::async, [&] {
        std::string reply;
        return connection.post(signIn, "license=x", reply);
    });
    ASSERT_TRUE(server_->waitForStalled(1, 30s));
    // The window's close, not the reader's own stop: the sign-in runs before any reader does.
    g_closeRequested = true;
    EXPECT_EQ(transfer.get(), CURLE_ABORTED_BY_CALLBACK);
    const rt::RequestKind signOut{"/v4/deauth", "aucurl_", "Failed to set CURLOPT_URL", "aucurl_",
                                  false};
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(connection.post(signOut, "GUID=x", reply), CURLE_OPERATION_TIMEDOUT);
    const auto took = std::chrono::steady_clock::now() - start;
    // curl measures its own time-out and may give up a hair before our clock says it is due;
    // the upper bound only has to tell "gave up" from "waited for the stalled server" under load.
    EXPECT_GE(took, rt::kSignOutTimeout_ms * 1ms - 100ms);
    EXPECT_LT(took, 15s);
    g_closeRequested = false;
    server_->releaseStalls();
}

class ServedRequest : public test::RtTest {};

// A close that comes just as a reply has fully arrived ends that transfer without leaving the
// reply's gzip decoder behind (the leak check of the address sanitizer build fails the test
// otherwise). A close of a microsecond every 20 meets many of the sign-ins at that moment.
TEST_F(ServedRequest, CloseAsTheReplyEndsLeavesNothingBehind)
{
    const auto spinFor = [](std::chrono::microseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
        }
    };
    std::atomic<bool> running{true};
    std::thread closer([&] {
        while (running) {
            spinFor(20us);
            g_closeRequested = true;
            spinFor(1us);
            g_closeRequested = false;
        }
    });
    rt::RtConnection connection;
    const rt::RequestKind signIn{"/v4/auth", "aucurl_", "Failed to set CURLOPT_URL", "aucurl_"};
    int answered = 0;
    for (int i = 0; i < 500; ++i) {
        // Each sign-in starts while no close is up, so that none is refused before it is sent.
        while (g_closeRequested) std::this_thread::yield();
        std::string reply;
        const CURLcode code = connection.post(signIn, "license=standard-license", reply);
        EXPECT_TRUE(code == CURLE_OK || code == CURLE_ABORTED_BY_CALLBACK) << code;
        answered += code == CURLE_OK ? 1 : 0;
    }
    running = false;
    closer.join();
    EXPECT_GT(answered, 0);
}

}  // namespace
}  // namespace qel
