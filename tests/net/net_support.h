// Helpers for the web-server tests: free ports, raw HTTP exchanges over real sockets,
// temporary document roots, CP932 literals, and a listener serving a shared state
// without the engine.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/listener.h"
#include "net/web_site.h"
#include "net/web_state.h"
#include "script_dir.h"

namespace velmora::test {

// CP932 bytes of a UTF-8 literal.
std::string Sj(const char8_t* utf8);

// A port that is free on both 127.0.0.1 and ::1 right now.
int FreePort();

// Connects to the loopback address of the family, sends `bytes` and reads until the
// server closes. Empty when the connection failed.
std::string Exchange(int port, const std::string& bytes, bool ipv6 = false,
                     std::chrono::milliseconds limit = std::chrono::seconds(10));
// "GET <target> HTTP/1.0" with a Host line, as a browser would send it.
std::string Get(int port, const std::string& target, bool ipv6 = false);
// A connected socket to 127.0.0.1:port, or -1.
int Connect(int port, bool ipv6 = false);

// The part after the blank line that ends the header.
std::string Body(const std::string& response);

// A temporary folder of files to serve, removed with everything in it.
class TempDir : public ScriptDir {
public:
    void writeSize(const std::string& relative, size_t size) const;  // size bytes of text
    void mkdir(const std::string& relative) const;                   // with its parents
};

// A listener on a free port answering from a WebShared, as the module sets it up, with
// the answers it hands on recorded instead of posted to an engine.
class SiteServer {
public:
    explicit SiteServer(std::chrono::milliseconds idleLimit = std::chrono::seconds(10));
    ~SiteServer();
    bool start();  // waits for the start-up; true when it listens
    int port() const { return port_; }
    WebShared shared;
    WebListener listener;

    std::vector<std::pair<WebAnswer, unsigned>> answers();  // handed on so far

private:
    int port_;
    WebSite site_;
    std::mutex mutex_;
    std::vector<std::pair<WebAnswer, unsigned>> answers_;
};

}  // namespace velmora::test
