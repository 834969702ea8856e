// The network services of the host's network outputs (OSC, DDS, the web
// view), which only the POSIX host has: one backend, NetworkPosix.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hostplatform {

// This machine's name, "localhost" when it has none; this process's id.
std::string hostName();
int32_t processId();

// A numeric IPv4 or IPv6 address, not a name to look up.
bool isNumericAddress(const char* host);
// An address of this machine only: 127.0.0.0/8, ::1 or "localhost".
bool isLoopbackAddress(const std::string& host);

// What a write to a socket that must not wait did.
struct SocketWrite {
    std::size_t sent = 0;
    bool failed = false; // the connection is gone; otherwise what was not sent would have waited
};
SocketWrite writeWithoutWaiting(int socket, const std::string& bytes, std::size_t from = 0);

// The socket of a connection the process holds, found by its two ends in
// the numeric form an HTTP library reports them; -1 when there is none.
int connectionSocket(const std::string& remoteHost, int remotePort, const std::string& localHost, int localPort);

// A listening socket that may take its port while a closed connection on
// it lingers, without sharing the port with another listener.
void reuseAddressOnly(int socket);

} // namespace hostplatform
