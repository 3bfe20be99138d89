// The listening socket's options of the stand-in servers.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/socket.h>

namespace qel::standin {

// cpp-httplib's own options set SO_REUSEPORT, under which a second server binds a port that
// another listens on already and the two then share its connections: a stand-in started twice
// on one port would say it listens, and half the program's requests would reach the other.
// SO_REUSEADDR alone still binds the port of a server just stopped (its connections waiting in
// TIME_WAIT), and refuses one in use. For httplib::Server::set_socket_options.
inline void exclusivePortOptions(int socket)
{
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// Why the bind or the listen just failed (": Address already in use"), from errno, which httplib
// leaves as those calls set it; empty when that is not known. Clear errno before binding.
inline std::string bindFailure()
{
    const int error = errno;
    return error == 0 ? std::string() : ": " + std::system_category().message(error);
}

// A value on the command line that is wrong: its line says all, without the usage after it.
struct WrongValue : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// The port of --port TEXT: a whole number from 1 to 65535 and nothing else. std::stoi took
// "8090x" as 8090, "70000" for a port the socket then truncated, and said only "stoi" of a
// number beyond an int.
inline int parsePort(std::string_view text)
{
    int port = 0;
    bool whole = !text.empty() && text.size() <= 5;
    for (const char c : text) {
        if (c < '0' || c > '9') whole = false;
        if (whole) port = port * 10 + (c - '0');
    }
    if (!whole || port < 1 || port > 65535) {
        throw WrongValue("--port " + std::string(text) + " is not a whole number from 1 to 65535");
    }
    return port;
}

}  // namespace qel::standin
