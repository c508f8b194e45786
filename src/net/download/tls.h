// TLS for the download worker over a connected non-blocking socket: the trusted
// certificates (the system's, or those of SSL_CERT_FILE when it is set), the handshake with
// the server's name or address checked against its certificate, and reads and writes that
// say which readiness of the socket to wait for when they cannot go on yet. Only TLS comes
// from a library: an HTTP library would send its own request bytes and head rules, while the
// command's request, its status rules and its one-second waits must stay exactly as they are.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

class TlsSession {
public:
    enum class Io {
        Done,       // bytes moved, or the handshake is complete
        WantRead,   // wait until the socket is readable, then call again
        WantWrite,  // wait until the socket is writable, then call again
        Closed,     // the server has ended the stream
        Failed,
    };

    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Prepares the session on fd for the server named; false when TLS cannot be set up.
    bool start(int fd, const std::string& server);
    Io handshake();
    // After a failed handshake: the server's certificate was the cause.
    bool certificateRejected() const { return certificateRejected_; }

    // Reads as much as has arrived, up to n bytes, into data; `moved` tells how much.
    Io read(char* data, size_t n, size_t& moved);
    Io write(const char* data, size_t n, size_t& moved);

private:
    struct State;
    std::unique_ptr<State> state_;
    bool certificateRejected_ = false;
};

}  // namespace velmora
