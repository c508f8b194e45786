// Socket I/O of one web-server connection, with bounded waits, and the reading of its
// request line.
#include "net/web/connection.h"

#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/shared/http_text.h"

namespace velmora {

namespace {

constexpr size_t kFileChunk = 1 << 20;     // bytes per sendfile call; stops are seen between
constexpr size_t kDrainLimit = 256 << 10;  // unread request bytes dropped before the close
constexpr size_t kMethodSpan = 10;         // the "/" must come within the first 10 bytes
constexpr size_t kPathSpan = 1000;         // the path is cut at 1000 bytes

}  // namespace

Connection::Connection(int fd, const StopSignal& stop, std::chrono::milliseconds idleLimit)
    : fd_(fd), stop_(stop), idleLimit_(idleLimit) {}

Connection::~Connection() {
    finish();
}

bool Connection::waitFor(short events) {
    pollfd p[2] = {{fd_, events, 0}, {stop_.fd(), POLLIN, 0}};
    for (;;) {
        int n = poll(p, 2, static_cast<int>(idleLimit_.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || stop_.requested()) return false;
        return p[0].revents != 0;
    }
}

Connection::Received Connection::receive(std::string& request) {
    char buffer[kRequestLimit];
    for (;;) {
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            request.assign(buffer, static_cast<size_t>(n));
            // A full buffer, or a header without its blank line, may leave bytes unread.
            unread_ = static_cast<size_t>(n) == sizeof buffer ||
                      (request.find("\n\n") == std::string::npos &&
                       request.find("\n\r\n") == std::string::npos);
            return Received::Data;
        }
        if (n == 0) return Received::PeerClosed;
        if (errno == EINTR) continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLIN)) return Received::Failed;
    }
}

bool Connection::send(std::string_view data, bool more) {
    int flags = MSG_NOSIGNAL | (more ? MSG_MORE : 0);
    while (!data.empty()) {
        ssize_t n = ::send(fd_, data.data(), data.size(), flags);
        if (n > 0) {
            data.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(POLLOUT)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool Connection::sendFile(int fileFd, std::uint64_t size) {
    off_t offset = 0;
    while (static_cast<std::uint64_t>(offset) < size) {
        if (stop_.requested()) return false;
        size_t chunk = static_cast<size_t>(
            std::min<std::uint64_t>(size - static_cast<std::uint64_t>(offset), kFileChunk));
        ssize_t n = sendfile(fd_, fileFd, &offset, chunk);
        if (n > 0) continue;
        if (n == 0) return true;  // the file got shorter while it was sent
        if (errno == EINTR) continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLOUT)) return false;
    }
    return true;
}

void Connection::finish() {
    if (fd_ < 0) return;
    if (unread_) {
        // Unread request bytes would make the close reset the connection, and a reset
        // can throw away response bytes the client has not read yet.
        shutdown(fd_, SHUT_WR);
        char sink[4096];
        for (size_t drained = 0; drained < kDrainLimit;) {
            ssize_t n = recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
            if (n <= 0) break;
            drained += static_cast<size_t>(n);
        }
    }
    close(fd_);  // sends what is queued, then the end of the stream, in both directions
    fd_ = -1;
}

void Connection::abort() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
}

RequestTarget ParseRequestTarget(std::string_view request) {
    RequestTarget t;
    request = request.substr(0, request.find('\0'));
    size_t slash = request.substr(0, kMethodSpan).find('/');
    if (slash == std::string_view::npos) return t;
    t.found = true;
    std::string_view path = request.substr(slash + 1);
    size_t end = path.substr(0, kPathSpan).find(' ');
    if (end == std::string_view::npos) end = kPathSpan;
    path = path.substr(0, end);
    size_t question = path.rfind('?');
    if (question != std::string_view::npos) {
        t.query = std::string(path.substr(question + 1));
        path = path.substr(0, question);
    }
    t.path = std::string(path);
    return t;
}

QueryValues ParseQuery(const std::optional<std::string>& query, std::string_view firstKey,
                       std::string_view secondKey) {
    QueryValues v;
    if (!query) return v;
    std::string rest = *query;
    while (!rest.empty()) {
        std::string token = TakeToken(rest, '&');
        UrlDecode(token);
        std::string key = TakeToken(token, '=');
        if (key == firstKey)
            v.first = token;
        else if (key == secondKey)
            v.second = token;
    }
    return v;
}

}  // namespace velmora
