// A small HTTP server for the download tests and benchmark: it listens on a free loopback
// port, records every request, and answers each connection by playing a script of steps
// (send these bytes, pause, stream a long body, stay silent). Connections are served one
// after another on the server's own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::test {

struct Step {
    enum class Kind { Send, Pause, Stream, Silence } kind;
    std::string bytes;       // Send
    int ms = 0;              // Pause
    std::uint64_t size = 0;  // Stream: this many bytes of PatternByte
};

Step Send(std::string bytes);
Step Pause(int ms);
Step Stream(std::uint64_t size);
Step Silence();  // keep the connection open, saying nothing, until the client leaves

// The byte at offset i of a streamed body; it repeats with a prime period, so a lost or
// doubled piece of a body shows.
constexpr std::uint64_t kPatternPeriod = 65521;
inline char PatternByte(std::uint64_t i) {
    std::uint64_t k = i % kPatternPeriod;
    return static_cast<char>((k * 7) ^ (k >> 8));
}
std::string PatternBytes(std::uint64_t size);

// What the server accepts as the end of a request line.
enum class LineEnds {
    Any,       // LF or CR LF
    CrLfOnly,  // a bare LF is answered with 400, as servers built on Node.js do
};

class HttpTestServer {
public:
    // Listens on 127.0.0.1, or on ::1 when ipv6 is set.
    explicit HttpTestServer(std::vector<Step> script, bool ipv6 = false,
                            LineEnds lineEnds = LineEnds::Any);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    int port() const { return port_; }
    std::vector<std::string> requests() const;  // as received, in order
    int connections() const { return connections_.load(); }
    // Counts bytes the current connection has sent so far (for tests that cancel midway).
    std::uint64_t bytesSent() const { return sent_.load(); }

private:
    void serve();
    void answer(int fd);
    std::string readRequest(int fd);
    bool sendAll(int fd, const char* data, size_t n);
    bool stream(int fd, std::uint64_t size);
    void waitForClientToLeave(int fd);
    bool sleepUnlessStopped(int ms);

    std::vector<Step> script_;
    LineEnds lineEnds_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<std::uint64_t> sent_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace velmora::test
