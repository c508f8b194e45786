// Helpers for the web-server tests: held ports, raw HTTP exchanges (http_client.h),
// CP932 literals, and a listener serving a shared state without the engine, on a port
// of the system's choosing. Temporary document roots are tests/support's TempDir.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "http_client.h"
#include "net/web/listener.h"
#include "net/web/pages.h"
#include "net/web/state.h"
#include "temp_dir.h"

namespace velmora::test {

// CP932 bytes of a UTF-8 literal.
std::string Sj(const char8_t* utf8);

// A port that is free on both 127.0.0.1 and ::1 right now, for the real program, which
// cannot hand back a port it chose; it may be taken again before the program binds it.
// Servers of the tests themselves bind port 0 instead.
int FreePort();

// A port of the system's choosing, held on the wildcard address of both families (or of
// IPv6 alone) while the object lives: a server asked to start there meets a bind error,
// and a client is refused while it does not listen.
class HeldPort {
public:
    enum class Listening { No, Yes };
    enum class Families { Both, Ipv6Only };
    explicit HeldPort(Listening listening, Families families = Families::Both);
    ~HeldPort();
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    int port() const { return port_; }

private:
    int v4_ = -1, v6_ = -1, port_ = 0;
};

// What the system's socket tables tell of a local port: connections waiting to be
// accepted, and bytes the connections from it have not yet got out. Signs that the
// listener took a connection, or is held up by a client that stopped reading.
struct PortQueues {
    long backlog = 0;
    long unsent = 0;
};
PortQueues QueuesOf(int port);

// The part after the blank line that ends the header.
std::string Body(const std::string& response);

// A listener answering from a WebShared, as the module sets it up, with the answers it
// hands on recorded instead of posted to an engine. On port 0 the system picks the port,
// known once started and kept for later starts.
class SiteServer {
public:
    explicit SiteServer(std::chrono::milliseconds idleLimit = std::chrono::seconds(10),
                        int port = 0);
    ~SiteServer();
    bool start();  // waits for the start-up; true when it listens
    int port() const { return listener.port(); }
    WebShared shared;
    WebListener listener;

    std::vector<std::pair<WebAnswer, unsigned>> answers();  // handed on so far

private:
    WebSite site_;
    std::mutex mutex_;
    std::vector<std::pair<WebAnswer, unsigned>> answers_;
};

}  // namespace velmora::test
