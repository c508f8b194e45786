// The download worker: one HTTP/1.0 GET over TCP or TLS, following redirects, run on its
// own thread, with the response body saved to a file. It publishes its status for the progress
// display and watches a cancel flag; it never touches the engine or any widget. Its result goes
// back to the user-interface thread, which stores it in var1 and var2.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace velmora {

// Redirects followed for one download; one more ends it with an error.
constexpr int kMaxRedirects = 10;

struct DownloadParams {
    std::string url;    // CP932, as written in the script line
    std::string file;   // OS path of the target file
    std::string proxy;  // the built-in variables proxy and proxyport at the start
    std::string proxyPort;
    int waitMs = 1000;     // one wait for the socket to become ready
    int maxTimeouts = 30;  // consecutive waits that may time out before giving up
};

struct DownloadResult {
    bool ok = false;
    std::string reason;  // CP932 text for var2 when not ok
};

// What the worker and the user-interface thread share while the worker runs.
class DownloadProgress {
public:
    std::atomic<bool> workerRunning{false};

    bool cancelRequested() const { return cancel_.load(); }
    // Requests cancel and, unless text is empty, shows text in the same step, so no
    // status of the worker can replace it.
    void requestCancel(const std::string& text = {});
    // The worker's status; dropped once cancel is requested.
    void report(const std::string& text);
    // Shows text whatever the worker does (the user-interface thread's texts).
    void setStatus(const std::string& text);
    std::string status() const;
    // Body bytes received so far and the length the server announced (0: none announced);
    // the worker reports them as the body arrives and the display fills its bar from them.
    void reportBytes(std::uint64_t received, std::uint64_t announced) {
        received_.store(received);
        announced_.store(announced);
    }
    std::uint64_t receivedBytes() const { return received_.load(); }
    std::uint64_t announcedBytes() const { return announced_.load(); }
    // Sees every status text as it is shown, on the thread that shows it (tests listen here).
    std::function<void(const std::string&)> observer;

private:
    void show(const std::string& text, bool fromWorker);

    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> announced_{0};
    mutable std::mutex mutex_;
    std::string status_;
};

// Runs the whole transfer on the calling thread. The target file holds the body when the
// result is ok and is left as it was otherwise. An https URL's server must show a
// certificate that the trusted set verifies for its name (SSL_CERT_FILE replaces that set).
DownloadResult RunDownload(const DownloadParams& params, DownloadProgress& progress);

}  // namespace velmora
