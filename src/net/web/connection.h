// One accepted client of the web server and the request line it sent.
// The connection: a single receive of the request, sends that take everything or fail, a
// file sent straight from the disk, and the orderly close. Every wait gives up after the idle limit
// or when the server is asked to stop, so a client that sends nothing or stops reading cannot hold
// the server.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/shared/stop_signal.h"

namespace velmora {

class Connection {
public:
    static constexpr std::chrono::milliseconds kIdleLimit{10000};
    static constexpr size_t kRequestLimit = 1024;

    // Takes ownership of a non-blocking connected socket.
    Connection(int fd, const StopSignal& stop, std::chrono::milliseconds idleLimit = kIdleLimit);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class Received { Data, PeerClosed, Failed };
    // One receive of at most kRequestLimit bytes.
    Received receive(std::string& request);

    // Sends all of data; `more` tells the kernel that more follows at once.
    bool send(std::string_view data, bool more = false);
    // Sends `size` bytes of an open file from its start; stops early on a stop request.
    bool sendFile(int fileFd, std::uint64_t size);

    void finish();  // shut down both ways, then close
    void abort();   // close without a shutdown
    bool isOpen() const { return fd_ >= 0; }
    const StopSignal& stopSignal() const { return stop_; }

private:
    bool waitFor(short events);

    int fd_;
    bool unread_ = false;  // the request may have more bytes than were received
    const StopSignal& stop_;
    std::chrono::milliseconds idleLimit_;
};

// Reading the one request line the web server gets: where the path and the query are,
// and the values of the two keys a page reads from the query.
struct RequestTarget {
    bool found = false;                // a "/" in the first 10 bytes
    std::string path;                  // without its leading "/", not decoded
    std::optional<std::string> query;  // the text after the last "?" of the path
};

// Finds the path and the query in the request text; the method is not looked at.
RequestTarget ParseRequestTarget(std::string_view request);

// The values of two keys of a query ("a=1&b=2"), each decoded; empty when absent.
// A later occurrence of a key wins; other keys are dropped.
struct QueryValues {
    std::string first, second;
};
QueryValues ParseQuery(const std::optional<std::string>& query, std::string_view firstKey,
                       std::string_view secondKey);

}  // namespace velmora
