// Raw HTTP exchanges over loopback sockets: see http_client.h.
#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora::test {

int Connect(int port, bool ipv6) {
    int s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int rc;
    if (ipv6) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        a.sin6_addr = in6addr_loopback;
        rc = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        rc = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0) {
        close(s);
        return -1;
    }
    return s;
}

std::string Exchange(int port, const std::string& bytes, bool ipv6,
                     std::chrono::milliseconds limit) {
    int s = Connect(port, ipv6);
    if (s < 0) return {};
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(s, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    std::string out;
    auto end = std::chrono::steady_clock::now() + limit;
    char buf[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        pollfd p{s, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(s);
    return out;
}

std::string Get(int port, const std::string& target, bool ipv6) {
    return Exchange(port, "GET " + target + " HTTP/1.0\r\nHost: localhost\r\n\r\n", ipv6);
}

}  // namespace velmora::test
