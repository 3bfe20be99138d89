// The stand-in's control endpoint: faults, stalls, sessions and pacing switched by requests from
// outside the process (curl on loopback), so that the program can be tried against a failing
// service while it runs. The paths and fields are listed in README.md here.
#pragma once

#include <map>
#include <string>

namespace qel::standin {

class RtStandin;

struct ControlReply {
    int httpStatus = 200;
    std::string body;  // JSON: {"status": 200, "message": "..."} or the state
};

// Answers one request on a path under "/control/"; `fields` are its decoded form or query
// fields. Any thread; takes the server's lock only through its public members.
ControlReply controlRequest(RtStandin& server, const std::string& path,
                            const std::map<std::string, std::string>& fields);

}  // namespace qel::standin
