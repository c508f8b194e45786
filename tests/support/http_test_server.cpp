// The test HTTP server: plain POSIX sockets, polled in short slices so it stops quickly.
#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "wait.h"

namespace velmora::test {

Step Send(std::string bytes) {
    return {Step::Kind::Send, std::move(bytes), 0, 0};
}
Step Pause(int ms) {
    return {Step::Kind::Pause, {}, ms, 0};
}
Step Stream(std::uint64_t size) {
    return {Step::Kind::Stream, {}, 0, size};
}
Step Silence() {
    return {Step::Kind::Silence, {}, 0, 0};
}

std::string PatternBytes(std::uint64_t size) {
    std::string out(size, '\0');
    for (std::uint64_t i = 0; i < size; ++i) out[i] = PatternByte(i);
    return out;
}

namespace {

constexpr int kSlice = 20;  // ms between looks at the stop flag

int Listen(bool ipv6, int& port) {
    int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage ss{};
    socklen_t len;
    if (ipv6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *a;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0 || listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return fd;
}

bool HasBareLf(const std::string& request) {
    for (size_t at = request.find('\n'); at != std::string::npos; at = request.find('\n', at + 1))
        if (at == 0 || request[at - 1] != '\r') return true;
    return false;
}

}  // namespace

HttpTestServer::HttpTestServer(std::vector<Step> script, bool ipv6, LineEnds lineEnds)
    : script_(std::move(script)), lineEnds_(lineEnds) {
    listenFd_ = Listen(ipv6, port_);
    if (listenFd_ >= 0) thread_ = std::thread([this] { serve(); });
}

HttpTestServer::~HttpTestServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) close(listenFd_);
}

std::vector<std::string> HttpTestServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpTestServer::serve() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, kSlice) <= 0) continue;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        answer(fd);
        shutdown(fd, SHUT_RDWR);
        close(fd);
    }
}

void HttpTestServer::answer(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sent_ = 0;
    std::string request = readRequest(fd);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    if (lineEnds_ == LineEnds::CrLfOnly && HasBareLf(request)) {
        static const char refused[] = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n";
        sendAll(fd, refused, sizeof refused - 1);
        return;
    }
    for (const Step& step : script_) {
        switch (step.kind) {
            case Step::Kind::Send:
                if (!sendAll(fd, step.bytes.data(), step.bytes.size())) return;
                break;
            case Step::Kind::Pause:
                if (!sleepUnlessStopped(step.ms)) return;
                break;
            case Step::Kind::Stream:
                if (!stream(fd, step.size)) return;
                break;
            case Step::Kind::Silence:
                waitForClientToLeave(fd);
                return;
        }
    }
}

std::string HttpTestServer::readRequest(int fd) {
    std::string request;
    char buf[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kPatientMs);
    while (!stop_ && std::chrono::steady_clock::now() < deadline &&
           request.find("\n\n") == std::string::npos &&
           request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kSlice) <= 0) continue;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
    }
    return request;
}

// Sends from one precomputed stretch of the pattern, so the server is never the bottleneck.
bool HttpTestServer::stream(int fd, std::uint64_t size) {
    constexpr size_t kPiece = 1 << 20;
    static const std::string pattern = PatternBytes(kPatternPeriod + kPiece);
    for (std::uint64_t done = 0; done < size;) {
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(kPiece, size - done));
        if (!sendAll(fd, pattern.data() + done % kPatternPeriod, n)) return false;
        done += n;
    }
    return true;
}

bool HttpTestServer::sendAll(int fd, const char* data, size_t n) {
    while (n > 0 && !stop_) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, kSlice) <= 0) continue;
        ssize_t done = send(fd, data, n, MSG_NOSIGNAL);
        if (done <= 0) return false;
        data += done;
        n -= static_cast<size_t>(done);
        sent_ += static_cast<std::uint64_t>(done);
    }
    return n == 0;
}

void HttpTestServer::waitForClientToLeave(int fd) {
    char buf[256];
    while (!stop_) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kSlice) <= 0) continue;
        if (recv(fd, buf, sizeof buf, 0) <= 0) return;
    }
}

bool HttpTestServer::sleepUnlessStopped(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, kSlice)));
    return !stop_;
}

}  // namespace velmora::test
