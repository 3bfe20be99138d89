// The stand-in servers on a port that is taken.
#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "standin_fixture.h"
#include "standins/download/download_standin.h"
#include "support/test_support.h"

namespace qel::standin::test {
namespace {

using StandinPort = StandinTest;

// A second server on the port of the RealTraffic stand-in refuses it in one line, rather than
// listening beside it and taking some of the program's requests; the first one serves on.
TEST_F(StandinPort, RefusesAPortInUse)
{
    const int port = server_->port();
    const struct {
        const char* server;
        std::function<void()> start;
        std::string told;
    } cases[] = {
        {"RealTraffic",
         [port] {
             RtStandinOptions options;
             options.port = port;
             RtStandin second(parseScenario(testScenario, scenarioStart_s), options);
         },
         "RealTraffic stand-in: cannot listen on 127.0.0.1:" + std::to_string(port) +
             ": Address already in use"},
        {"download",
         [port] {
             const qel::test::TempDir root;
             const DownloadStandin second(root.path(), port);
         },
         "download stand-in: cannot listen on 127.0.0.1:" + std::to_string(port) +
             ": Address already in use"},
    };
    for (const auto& c : cases) {
        try {
            c.start();
            ADD_FAILURE() << c.server << ": listens on a port in use";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), c.told) << c.server;
        }
        EXPECT_FALSE(signIn().empty()) << c.server;
    }
}

}  // namespace
}  // namespace qel::standin::test
