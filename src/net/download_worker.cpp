// The phases of one download: URL, file, look-up, connect, request, receive. Every wait
// for the socket lasts at most one wait period, so a cancel request is seen within it.
#include "net/download_worker.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <vector>

#include "net/download_texts.h"
#include "net/download_url.h"
#include "net/response_head.h"
#include "net/target_file.h"

namespace velmora {

void DownloadProgress::show(const std::string& text, bool fromWorker) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fromWorker && cancel_) return;
        status_ = text;
    }
    if (observer) observer(text);
}

void DownloadProgress::requestCancel(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancel_ = true;
        if (text.empty()) return;
        status_ = text;
    }
    if (observer) observer(text);
}

void DownloadProgress::report(const std::string& text) {
    show(text, true);
}

void DownloadProgress::setStatus(const std::string& text) {
    show(text, false);
}

std::string DownloadProgress::status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

namespace {

using Clock = std::chrono::steady_clock;
using Error = std::optional<DownloadError>;

// A receive takes whatever has arrived, up to this much.
constexpr size_t kReceiveBuffer = 64 * 1024;
// Byte counts are shown at most this often; the final count always.
constexpr auto kStatusInterval = std::chrono::milliseconds(50);
// A send that moves nothing this many times means the request cannot go out.
constexpr int kMaxZeroSends = 7;

// A connected or connecting socket, shut down and closed when it goes.
class Socket {
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Socket& operator=(Socket&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~Socket() {
        if (fd_ < 0) return;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

class AddressList {
public:
    ~AddressList() {
        if (list_) freeaddrinfo(list_);
    }
    bool lookUp(const std::string& host, const std::string& port) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        return getaddrinfo(host.c_str(), port.c_str(), &hints, &list_) == 0;
    }
    const addrinfo* first() const { return list_; }

private:
    addrinfo* list_ = nullptr;
};

class Transfer {
public:
    Transfer(const DownloadParams& params, DownloadProgress& progress)
        : params_(params), progress_(progress) {}

    DownloadResult run() {
        Error e = start();
        if (!e) e = request();
        if (!e) e = receive();
        if (e) return {false, DownloadErrorText(*e)};
        return {true, {}};
    }

private:
    bool cancelled() const { return progress_.cancelRequested(); }
    void show(DownloadStatus status) { progress_.report(DownloadStatusText(status)); }

    Error start() {
        DownloadTarget target;
        if (!ParseDownloadUrl(params_.url, params_.proxy, params_.proxyPort, target))
            return DownloadError::BadUrl;
        if (!file_.create(params_.file)) return DownloadError::FileCreate;
        show(DownloadStatus::Resolving);
        AddressList addresses;
        if (!addresses.lookUp(target.host, target.port)) return DownloadError::HostNotFound;
        if (cancelled()) return DownloadError::Cancelled;
        show(DownloadStatus::Connecting);
        if (Error e = connectAny(addresses.first())) return e;
        request_ = BuildRequest(target.path);
        return std::nullopt;
    }

    // Waits until the socket is ready, one wait period at a time.
    Error waitReady(int fd, bool forWrite) {
        int timeouts = 0;
        for (;;) {
            pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
            int r = poll(&p, 1, params_.waitMs);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) return DownloadError::WaitFailed;
            if (r == 0 && ++timeouts > params_.maxTimeouts) return DownloadError::TimedOut;
            if (cancelled()) return DownloadError::Cancelled;
            if (r > 0) return std::nullopt;
        }
    }

    // Tries each address in turn; one that does not answer within the time-out is skipped.
    Error connectAny(const addrinfo* list) {
        for (const addrinfo* a = list; a; a = a->ai_next) {
            int fd =
                socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0) continue;
            Socket candidate(fd);
            if (connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
                if (errno != EINPROGRESS) continue;
                Error e = waitReady(fd, true);
                if (e == DownloadError::Cancelled) return e;
                int error = 0;
                socklen_t size = sizeof error;
                if (e || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error)
                    continue;
            }
            socket_ = std::move(candidate);
            return std::nullopt;
        }
        return DownloadError::ConnectFailed;
    }

    Error request() {
        show(DownloadStatus::Requesting);
        size_t sent = 0;
        int zeroSends = 0;
        while (sent < request_.size() && zeroSends < kMaxZeroSends && !cancelled()) {
            if (Error e = waitReady(socket_.fd(), true)) return e;
            ssize_t n =
                send(socket_.fd(), request_.data() + sent, request_.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
            if (n < 0) return DownloadError::SendFailed;
            if (n == 0) ++zeroSends;
            sent += static_cast<size_t>(n);
        }
        if (cancelled()) return DownloadError::Cancelled;
        if (zeroSends >= kMaxZeroSends) return DownloadError::SendFailed;
        return std::nullopt;
    }

    // The count is shown at most once per interval, except when forced (the final count).
    void showCount(bool force, bool complete = false) {
        Clock::time_point now = Clock::now();
        if (!force && now - lastShown_ < kStatusInterval) return;
        lastShown_ = now;
        shownTotal_ = total_;
        progress_.report(ReceivedText(total_, complete));
    }

    // When the data pauses, the count shown catches up within one status interval
    // instead of waiting for the next chunk.
    void catchUpBeforeWaiting() {
        if (total_ == shownTotal_) return;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(lastShown_ + kStatusInterval -
                                                                 Clock::now());
        pollfd p{socket_.fd(), POLLIN, 0};
        if (left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) != 0) return;
        showCount(true);
    }

    // Head bytes go to the scanner, everything after the head to the file.
    Error store(const char* data, size_t n) {
        if (head_.state() != ResponseHead::State::Body) {
            size_t used = head_.feed(data, n);
            if (head_.state() == ResponseHead::State::BadStatus) return DownloadError::BadStatus;
            data += used;
            n -= used;
        }
        if (n > 0 && !file_.write(data, n)) return DownloadError::FileWrite;
        progress_.reportBytes(progress_.receivedBytes() + n, 0);  // no length is parsed yet
        return std::nullopt;
    }

    Error receive() {
        std::vector<char> buffer(kReceiveBuffer);
        lastShown_ = Clock::now() - kStatusInterval;
        for (;;) {
            showCount(false);
            if (cancelled()) return DownloadError::Cancelled;
            ssize_t n = recv(socket_.fd(), buffer.data(), buffer.size(), 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                catchUpBeforeWaiting();
                if (Error e = waitReady(socket_.fd(), false)) return e;
                continue;
            }
            if (n < 0) return DownloadError::ReceiveFailed;
            if (n == 0) break;
            total_ += static_cast<std::uint64_t>(n);
            if (Error e = store(buffer.data(), static_cast<size_t>(n))) return e;
        }
        // Closed before the head ended: the body, if any, never arrived.
        if (head_.state() != ResponseHead::State::Body) return DownloadError::ReceiveFailed;
        shutdown(socket_.fd(), SHUT_WR);
        showCount(true, true);
        if (!file_.commit()) return DownloadError::FileWrite;
        return std::nullopt;
    }

    const DownloadParams& params_;
    DownloadProgress& progress_;
    TargetFile file_;
    Socket socket_;
    std::string request_;
    ResponseHead head_;
    std::uint64_t total_ = 0;
    std::uint64_t shownTotal_ = 0;
    Clock::time_point lastShown_;
};

}  // namespace

DownloadResult RunDownload(const DownloadParams& params, DownloadProgress& progress) {
    return Transfer(params, progress).run();
}

}  // namespace velmora
