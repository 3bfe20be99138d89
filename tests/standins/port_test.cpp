// The stand-in servers on a port that is taken, or that is none.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "standin_fixture.h"
#include <fmt/format.h>

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

// Each stand-in program given a --port that is no port says so in one line and ends with exit
// status 2, before it reads its scenario or listens anywhere.
TEST(StandinPrograms, RefuseAPortThatIsNoneInOneLine)
{
    const std::string programs[] = {fmt::format("'{}' --scenario none.json", VNTQ_RT_STANDIN),
                                    fmt::format("'{}' --root .", VNTQ_DOWNLOAD_STANDIN)};
    for (const auto& program : programs) {
        for (const char* port : {"70000", "8090x", "99999999999", "0", "-1"}) {
            const std::string command = fmt::format("{} --port '{}' 2>&1", program, port);
            std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
            ASSERT_TRUE(pipe) << command;
            std::string output;
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe.get())) output += buffer;
            const int status = pclose(pipe.release());
            EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2) << command << "\n" << output;
            EXPECT_NE(output.find(
                          fmt::format(": --port {} is not a whole number from 1 to 65535\n", port)),
                      std::string::npos)
                << command << "\n"
                << output;
            EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << command << "\n"
                                                                         << output;
        }
    }
}

}  // namespace
}  // namespace qel::standin::test
