// The helpers of the net tests: free and held ports, queue lengths of a port, CP932
// literals, the body of a response, and a listener serving a shared state without the engine.
#include "net_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/text.h"
#include "process.h"

namespace velmora::test {

namespace fs = std::filesystem;

std::string Sj(const char8_t* utf8) {
    return Utf8ToCp932(reinterpret_cast<const char*>(utf8));
}

namespace {

// A socket bound to the wildcard address of the family.
int BindLoopback(int port, bool ipv6, bool reuse = true) {
    int s = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int on = 1;
    if (reuse) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int rc;
    if (ipv6) {
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        a.sin6_addr = in6addr_any;
        rc = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        rc = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0) {
        close(s);
        return -1;
    }
    return s;
}

int LocalPort(int s) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
}

}  // namespace

int FreePort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int v4 = BindLoopback(0, false);
        if (v4 < 0) continue;
        int port = LocalPort(v4);
        int v6 = BindLoopback(port, true);
        close(v4);
        if (v6 >= 0) {
            close(v6);
            return port;
        }
    }
    return -1;
}

HeldPort::HeldPort(Listening listening, Families families) {
    const bool both = families == Families::Both;
    for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
        // Without SO_REUSEADDR: no other socket may bind the port beside these.
        int first = BindLoopback(0, !both, false);
        if (first < 0) continue;
        int port = LocalPort(first);
        int second = both ? BindLoopback(port, true, false) : -1;
        if (both && second < 0) {
            close(first);
            continue;
        }
        if (listening == Listening::Yes) {
            listen(first, 5);
            if (second >= 0) listen(second, 5);
        }
        (both ? v4_ : v6_) = first;
        if (both) v6_ = second;
        port_ = port;
    }
}

HeldPort::~HeldPort() {
    for (int s : {v4_, v6_})
        if (s >= 0) close(s);
}

PortQueues QueuesOf(int port) {
    PortQueues q;
    test::ForEachTcpSocket([&](const test::TcpSocket& t) {
        if (t.localPort != port) return;
        if (t.state == "0A")  // listening: the receive queue is the accept queue
            q.backlog += t.receiveQueue;
        else if (t.state == "01")  // established
            q.unsent += t.sendQueue;
    });
    return q;
}

std::string Body(const std::string& response) {
    size_t crlf = response.find("\r\n\r\n");
    size_t lf = response.find("\n\n");
    if (lf != std::string::npos && (crlf == std::string::npos || lf < crlf))
        return response.substr(lf + 2);
    return crlf == std::string::npos ? std::string() : response.substr(crlf + 4);
}

SiteServer::SiteServer(std::chrono::milliseconds idleLimit, int port)
    : listener(
          port, [this](Connection& c, const std::string& r) { site_.serve(c, r); }, idleLimit),
      site_(shared, [this](const WebAnswer& a, unsigned q) {
          std::lock_guard<std::mutex> lock(mutex_);
          answers_.emplace_back(a, q);
      }) {}

SiteServer::~SiteServer() {
    listener.requestStop();
    listener.join();
}

bool SiteServer::start() {
    listener.start();
    listener.waitReady(std::chrono::seconds(10));
    return listener.running();
}

std::vector<std::pair<WebAnswer, unsigned>> SiteServer::answers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

}  // namespace velmora::test
