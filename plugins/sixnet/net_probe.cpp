// `getip` and `getproto`: the host name's first IPv4 address, and the newest address
// family for which the socket layer both parses a loopback address and makes a socket.
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "sixnet.h"

namespace sixnet {

namespace {

constexpr int kHostNameBytes = 200;

// The address text parses in this family and a socket of it can be created.
bool FamilyWorks(int family, const char* loopback) {
    unsigned char address[sizeof(in6_addr)];
    if (inet_pton(family, loopback, address) != 1) return false;
    int fd = socket(family, SOCK_STREAM, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// The machine's name, or VELMORA_SIXNET_HOSTNAME when set, so that a script can be tried
// as on another machine; false when there is none.
bool HostName(char (&name)[kHostNameBytes]) {
    if (const char* injected = std::getenv("VELMORA_SIXNET_HOSTNAME")) {
        std::snprintf(name, sizeof name, "%s", injected);
        return true;
    }
    return gethostname(name, sizeof name - 1) == 0;
}

}  // namespace

void GetIp(Host& host) {
    host.var1() = "NG";
    char name[kHostNameBytes] = {};
    if (!HostName(name)) return;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return;
    char text[INET_ADDRSTRLEN];
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) host.var1() = text;
    freeaddrinfo(found);
}

void GetProto(Host& host) {
    if (FamilyWorks(AF_INET6, "::1"))
        host.var1() = "AF_INET6";
    else if (FamilyWorks(AF_INET, "127.0.0.1"))
        host.var1() = "AF_INET";
    else
        host.var1() = "NG";
}

}  // namespace sixnet
