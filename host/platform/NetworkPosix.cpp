#include "host/platform/Network.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hostplatform {

namespace {

// The numeric host and port of a socket's end.
std::string addressText(const sockaddr_storage& address, socklen_t length, int& port) {
    char host[NI_MAXHOST], service[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return std::string();
    port = std::atoi(service);
    return host;
}

bool endIs(int (*name)(int, sockaddr*, socklen_t*), int socket, const std::string& host, int port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (name(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return false;
    int actualPort = -1;
    return addressText(address, length, actualPort) == host && actualPort == port;
}

} // namespace

std::string hostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

int32_t processId() { return static_cast<int32_t>(getpid()); }

bool isNumericAddress(const char* host) {
    unsigned char bytes[16];
    return host && (inet_pton(AF_INET, host, bytes) == 1 || inet_pton(AF_INET6, host, bytes) == 1);
}

bool isLoopbackAddress(const std::string& host) {
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
    return host == "localhost";
}

SocketWrite writeWithoutWaiting(int socket, const std::string& bytes, std::size_t from) {
    SocketWrite result;
    const ssize_t sent = ::send(socket, bytes.data() + from, bytes.size() - from, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) result.sent = static_cast<std::size_t>(sent);
    else result.failed = errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return result;
}

// Among the process's open files: the library that accepted the connection
// does not hand its socket out.
int connectionSocket(const std::string& remoteHost, int remotePort, const std::string& localHost, int localPort) {
    DIR* folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int found = -1;
    while (const dirent* entry = readdir(folder)) {
        const int socket = std::atoi(entry->d_name);
        if (entry->d_name[0] == '.' || socket == dirfd(folder)) continue;
        if (endIs(getpeername, socket, remoteHost, remotePort) && endIs(getsockname, socket, localHost, localPort)) {
            found = socket;
            break;
        }
    }
    closedir(folder);
    return found;
}

void reuseAddressOnly(int socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

} // namespace hostplatform
