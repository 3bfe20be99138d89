// The listening socket's options of the stand-in servers.
#pragma once

#include <cerrno>
#include <string>
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

}  // namespace qel::standin
