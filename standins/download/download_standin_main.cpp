// vntq_download_standin: the download server stand-in as a program for the demo. Serves a
// folder on 127.0.0.1 until SIGINT or SIGTERM and prints one line per request.
//
// Threads: main waits in sigwait; the server's threads answer (download_standin.cpp).
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <pthread.h>

#include "standins/download/download_standin.h"
#include "standins/port_options.h"

namespace {

constexpr const char* lf_usage = "usage: vntq_download_standin --root FOLDER [--port N]\n";

struct Arguments {
    std::string root;
    int port = 0;
};

Arguments lf_parseArguments(int argc, char** argv)
{
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) throw std::invalid_argument(fmt::format("{} needs a value", arg));
        if (arg == "--root") {
            args.root = argv[++i];
        } else if (arg == "--port") {
            args.port = qel::standin::parsePort(argv[++i]);
        } else {
            throw std::invalid_argument(fmt::format("unknown argument {}", arg));
        }
    }
    if (args.root.empty()) throw std::invalid_argument("--root is required");
    return args;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const Arguments args = lf_parseArguments(argc, argv);
        // Every thread inherits the blocked signals, so only sigwait below takes them.
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals, nullptr);

        const qel::standin::DownloadStandin server(
            args.root, args.port, [](const qel::standin::DownloadRequest& request) {
                std::cout << fmt::format("{} -> {}", request.path, request.status) << std::endl;
            });
        std::cout << fmt::format("Download stand-in listening on {} (VNTQ_DOWNLOAD_URL), root {}",
                                 server.downloadsUrl(), args.root)
                  << std::endl;
        int signal = 0;
        sigwait(&signals, &signal);
        std::cout << "Download stand-in stopped" << std::endl;
        return EXIT_SUCCESS;
    } catch (const qel::standin::WrongValue& e) {
        std::cerr << "vntq_download_standin: " << e.what() << '\n';
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << e.what() << '\n' << lf_usage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return EXIT_FAILURE;
    }
}
