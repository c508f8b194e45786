// The phases of one download: URL, file, then for each hop look-up, connect, tunnel, TLS,
// request, receive. Every wait for the socket lasts at most one wait period, so a cancel
// request is seen within it, over TLS as over plain TCP.
#include "net/download/worker.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "net/download/response_head.h"
#include "net/download/target_file.h"
#include "net/download/texts.h"
#include "net/download/tls.h"
#include "net/download/url.h"

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
using Io = TlsSession::Io;

// A receive takes whatever has arrived, up to this much.
constexpr size_t kReceiveBuffer = 64 * 1024;
// Byte counts are shown at most this often; the final count always.
constexpr auto kStatusInterval = std::chrono::milliseconds(50);
// A send that moves nothing this many times means the request cannot go out.
constexpr int kMaxZeroSends = 7;
// A proxy's answer to CONNECT longer than this is no answer to it.
constexpr size_t kMaxProxyAnswer = 64 * 1024;

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

// One request and its answer over one connection: the body saved, or where a redirect leads.
struct Hop {
    Hop(Error e = std::nullopt, std::string to = {}) : error(e), location(std::move(to)) {}
    Error error;
    std::string location;  // empty unless the answer was a redirect
};

class Transfer {
public:
    Transfer(const DownloadParams& params, DownloadProgress& progress)
        : params_(params), progress_(progress), buffer_(kReceiveBuffer) {}

    DownloadResult run() {
        if (Error e = follow()) return {false, DownloadErrorText(*e)};
        return {true, {}};
    }

private:
    bool cancelled() const { return progress_.cancelRequested(); }
    void show(DownloadStatus status) { progress_.report(DownloadStatusText(status)); }

    // Asks each URL in turn until one answers with a body. Nothing reaches the file before
    // that answer, so a failure at any hop keeps the old file.
    Error follow() {
        DownloadTarget target;
        if (!ParseDownloadUrl(params_.url, params_.proxy, params_.proxyPort, target))
            return DownloadError::BadUrl;
        if (!file_.create(params_.file)) return DownloadError::FileCreate;
        for (int redirects = 0;; ++redirects) {
            Hop hop = fetch(target);
            if (hop.error || hop.location.empty()) return hop.error;
            if (redirects == kMaxRedirects) return DownloadError::TooManyRedirects;
            DownloadTarget next;
            if (!ParseDownloadUrl(ResolveLocation(target, hop.location), params_.proxy,
                                  params_.proxyPort, next))
                return DownloadError::BadUrl;
            if (target.secure && !next.secure) return DownloadError::InsecureRedirect;
            target = next;
        }
    }

    Hop fetch(const DownloadTarget& target) {
        tls_.reset();
        socket_ = Socket();
        reader_ = ResponseReader();
        total_ = shownTotal_ = 0;
        show(DownloadStatus::Resolving);
        AddressList addresses;
        if (!addresses.lookUp(target.host, target.port)) return {DownloadError::HostNotFound};
        if (cancelled()) return {DownloadError::Cancelled};
        show(DownloadStatus::Connecting);
        if (Error e = connectAny(addresses.first())) return {e};
        if (!target.tunnel.empty())
            if (Error e = openTunnel(target.tunnel)) return {e};
        if (target.secure)
            if (Error e = startTls(target.server)) return {e};
        show(DownloadStatus::Requesting);
        if (Error e = sendAll(BuildRequest(target.path, target.authority))) return {e};
        return receive();
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

    // The proxy's tunnel to the server. It says nothing after its answer until the server
    // does, and a TLS server waits for the client to speak first.
    Error openTunnel(const std::string& tunnel) {
        if (Error e = sendAll(BuildConnectRequest(tunnel))) return e;
        ResponseHead answer;
        size_t seen = 0;
        char buffer[1024];
        while (answer.state() == ResponseHead::State::Reading) {
            size_t n = 0;
            if (Error e = receiveSome(buffer, sizeof buffer, n)) return e;
            if (n == 0 || (seen += n) > kMaxProxyAnswer) return DownloadError::ConnectFailed;
            if (answer.feed(buffer, n) != n) return DownloadError::ConnectFailed;
        }
        if (answer.state() != ResponseHead::State::Body) return DownloadError::ConnectFailed;
        return std::nullopt;
    }

    Error startTls(const std::string& server) {
        tls_ = std::make_unique<TlsSession>();
        if (!tls_->start(socket_.fd(), server)) return DownloadError::TlsFailed;
        for (;;) {
            if (cancelled()) return DownloadError::Cancelled;
            Io io = tls_->handshake();
            if (io == Io::Done) return std::nullopt;
            if (io != Io::WantRead && io != Io::WantWrite)
                return tls_->certificateRejected() ? DownloadError::CertificateRejected
                                                   : DownloadError::TlsFailed;
            if (Error e = waitReady(socket_.fd(), io == Io::WantWrite)) return e;
        }
    }

    // One send or TLS write, as far as it goes without waiting.
    Io writeSome(const char* data, size_t n, size_t& moved) {
        moved = 0;
        if (tls_) return tls_->write(data, n, moved);
        ssize_t r = send(socket_.fd(), data, n, MSG_NOSIGNAL);
        if (r >= 0) {
            moved = static_cast<size_t>(r);
            return Io::Done;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Io::WantWrite;
        return Io::Failed;
    }

    // One receive or TLS read of what has arrived, without waiting.
    Io readSome(char* data, size_t n, size_t& moved) {
        moved = 0;
        if (tls_) return tls_->read(data, n, moved);
        for (;;) {
            ssize_t r = recv(socket_.fd(), data, n, 0);
            if (r > 0) {
                moved = static_cast<size_t>(r);
                return Io::Done;
            }
            if (r == 0) return Io::Closed;
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::WantRead;
            return Io::Failed;
        }
    }

    Error sendAll(const std::string& data) {
        size_t sent = 0;
        int zeroSends = 0;
        bool forWrite = true;
        while (sent < data.size() && zeroSends < kMaxZeroSends && !cancelled()) {
            if (Error e = waitReady(socket_.fd(), forWrite)) return e;
            size_t moved = 0;
            Io io = writeSome(data.data() + sent, data.size() - sent, moved);
            if (io == Io::Closed || io == Io::Failed) return DownloadError::SendFailed;
            forWrite = io != Io::WantRead;
            if (io != Io::Done) continue;
            if (moved == 0) ++zeroSends;
            sent += moved;
        }
        if (cancelled()) return DownloadError::Cancelled;
        if (zeroSends >= kMaxZeroSends) return DownloadError::SendFailed;
        return std::nullopt;
    }

    // Waits for bytes and reads them; n is 0 when the server has closed.
    Error receiveSome(char* data, size_t size, size_t& n) {
        for (;;) {
            if (cancelled()) return DownloadError::Cancelled;
            Io io = readSome(data, size, n);
            if (io == Io::Done || io == Io::Closed) return std::nullopt;
            if (io == Io::Failed) return DownloadError::ReceiveFailed;
            catchUpBeforeWaiting();
            if (Error e = waitReady(socket_.fd(), io == Io::WantWrite)) return e;
        }
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

    // Head bytes go to the reader, the body it finds to the file.
    Error store(char* data, size_t n) {
        bool bodyBefore = reader_.head().state() == ResponseHead::State::Body;
        std::string_view body = reader_.take(data, n);
        const ResponseHead& head = reader_.head();
        // A broken chunked framing is as unreadable as a malformed length.
        if (head.state() == ResponseHead::State::BadStatus || reader_.framingBroken())
            return DownloadError::BadStatus;
        if (head.state() != ResponseHead::State::Body) return std::nullopt;
        if (!body.empty() && !file_.write(body.data(), body.size()))
            return DownloadError::FileWrite;
        if (!bodyBefore || !body.empty())
            progress_.reportBytes(reader_.bodyBytes(), head.contentLength().value_or(0));
        return std::nullopt;
    }

    Hop receive() {
        lastShown_ = Clock::now() - kStatusInterval;
        for (;;) {
            showCount(false);
            size_t n = 0;
            if (Error e = receiveSome(buffer_.data(), buffer_.size(), n)) return {e};
            if (n == 0) break;
            total_ += n;
            if (Error e = store(buffer_.data(), n)) return {e};
            if (reader_.head().state() == ResponseHead::State::Redirect)
                return {std::nullopt, reader_.head().location()};
            if (reader_.complete()) break;
        }
        // Closed before the head ended, or before the announced length: the body is not whole.
        if (!reader_.wholeAtClose()) return {DownloadError::ReceiveFailed};
        shutdown(socket_.fd(), SHUT_WR);
        showCount(true, true);
        if (!file_.commit()) return {DownloadError::FileWrite};
        return {};
    }

    const DownloadParams& params_;
    DownloadProgress& progress_;
    TargetFile file_;
    Socket socket_;
    std::unique_ptr<TlsSession> tls_;
    std::vector<char> buffer_;
    ResponseReader reader_;
    std::uint64_t total_ = 0;
    std::uint64_t shownTotal_ = 0;
    Clock::time_point lastShown_;
};

}  // namespace

DownloadResult RunDownload(const DownloadParams& params, DownloadProgress& progress) {
    return Transfer(params, progress).run();
}

}  // namespace velmora
