// Listener start-up, serve loop and clean-up.
#include "net/web/listener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace velmora {

namespace {

constexpr int kMaxListeners = 64;
constexpr int kBacklog = 5;
constexpr int kWaitMs = 1000;

// Errors of accept() that concern one connection or a passing shortage, not the
// listening socket: the server goes on with the next connection.
bool IsPassingAcceptError(int e) {
    switch (e) {
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return true;
        default:
            return false;
    }
}

bool IsShortage(int e) {
    return e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM;
}

// A socket for one wildcard address; the reason of the failure otherwise.
int OpenOne(const addrinfo& ai, const char*& failure) {
    int s = socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol);
    if (s < 0) {
        failure = "Socket Error";
        return -1;
    }
    int on = 1;
    // A restart must not fail on connections of the last run still in TIME_WAIT.
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Without this the IPv6 socket would take the IPv4 port too and the IPv4 bind fail.
    if (ai.ai_family == AF_INET6) setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (bind(s, ai.ai_addr, ai.ai_addrlen) < 0) {
        failure = "Bind Error";
    } else if (listen(s, kBacklog) < 0) {
        failure = "Listen Error";
    } else {
        return s;
    }
    close(s);
    return -1;
}

void SetPort(addrinfo& ai, int port) {
    if (ai.ai_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(ai.ai_addr)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(ai.ai_addr)->sin_port = htons(port);
}

int BoundPort(int s) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) != 0) return 0;
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
}

}  // namespace

WebListener::WebListener(int port, Handler handler, std::chrono::milliseconds idleLimit)
    : port_(port), handler_(std::move(handler)), idleLimit_(idleLimit) {}

WebListener::~WebListener() {
    requestStop();
    join();
}

void WebListener::start() {
    join();
    stop_.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = {};
        ready_ = false;
        running_ = true;
    }
    try {
        thread_ = std::thread(&WebListener::run, this);
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = {"NG", "Thread Error"};
        ready_ = true;
        running_ = false;
    }
}

void WebListener::join() {
    if (thread_.joinable()) thread_.join();
}

bool WebListener::waitReady(std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, time, [this] { return ready(); });
}

bool WebListener::waitStopped(std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, time, [this] { return !running(); });
}

WebListener::StartResult WebListener::startResult() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

void WebListener::setState(bool ready, bool running) {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_ = ready;
    running_ = running;
    changed_.notify_all();
}

void WebListener::run() {
    // A client that went away must give EPIPE on this thread, not end the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    int sockets[kMaxListeners];
    int count = openListeners(sockets, kMaxListeners);
    if (count == 0) {
        setState(true, false);
        return;
    }
    setState(true, true);
    serveLoop(sockets, count);
    for (int i = 0; i < count; ++i) close(sockets[i]);
    setState(true, false);
}

int WebListener::openListeners(int* sockets, int max) {
    StartResult r;
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int count = 0;
    if (getaddrinfo(nullptr, std::to_string(port_).c_str(), &hints, &list) != 0) {
        r = {"NG", "getaddrinfo Error"};
    } else {
        for (addrinfo* ai = list; ai; ai = ai->ai_next) {
            if (count == max) {
                r = {"NG", "too many addressinfo Error"};
                break;
            }
            if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6) continue;
            const char* failure = nullptr;
            // Port 0: the first family's socket picks a free port and the others take it too.
            SetPort(*ai, port_.load(std::memory_order_relaxed));
            int s = OpenOne(*ai, failure);
            if (s < 0) {
                r = {"NG", failure};
            } else {
                sockets[count++] = s;
                if (port_.load(std::memory_order_relaxed) == 0) port_.store(BoundPort(s));
            }
        }
        freeaddrinfo(list);
        if (count == 0 && r.var1 != "NG") r = {"NG", "Start Server Error"};
        if (count > 0) r.var1 = "OK";
    }
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = r;
    return count;
}

void WebListener::serveLoop(const int* sockets, int count) {
    std::vector<pollfd> fds(count + 1);
    while (!stop_.requested()) {
        for (int i = 0; i < count; ++i) fds[i] = {sockets[i], POLLIN, 0};
        fds[count] = {stop_.fd(), POLLIN, 0};
        int n = poll(fds.data(), fds.size(), kWaitMs);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        for (int i = 0; i < count && !stop_.requested(); ++i) {
            if (fds[i].revents & (POLLERR | POLLNVAL)) return;
            if ((fds[i].revents & POLLIN) && !serveOne(sockets[i])) return;
        }
    }
}

bool WebListener::serveOne(int listening) {
    sockaddr_storage peer;  // 128 bytes: room for any address family
    socklen_t length = sizeof peer;
    int fd = accept4(listening, reinterpret_cast<sockaddr*>(&peer), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        if (IsShortage(e)) stop_.sleepFor(std::chrono::milliseconds(100));
        return IsPassingAcceptError(e);
    }
    Connection c(fd, stop_, idleLimit_);
    std::string request;
    switch (c.receive(request)) {
        case Connection::Received::Failed:
            c.abort();
            break;
        case Connection::Received::PeerClosed:
            c.finish();
            break;
        case Connection::Received::Data:
            handler_(c, request);
            c.finish();
            break;
    }
    return true;
}

}  // namespace velmora
