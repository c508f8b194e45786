// The web server's listener thread: it opens a listening socket for every local
// wildcard address of the port (IPv4 and IPv6 side by side), then accepts connections
// one at a time, reads each request once and hands it to the handler. It knows nothing
// of the engine; the handler decides what to answer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "net/shared/stop_signal.h"
#include "net/web/connection.h"

namespace velmora {

class WebListener {
public:
    // Runs on the listener thread for every request received.
    using Handler = std::function<void(Connection&, const std::string& request)>;

    // Outcome of the start-up: "OK", or "NG" with the reason ("Bind Error"...).
    struct StartResult {
        std::string var1, var2;
    };

    WebListener(int port, Handler handler,
                std::chrono::milliseconds idleLimit = Connection::kIdleLimit);
    ~WebListener();  // stops and joins
    WebListener(const WebListener&) = delete;
    WebListener& operator=(const WebListener&) = delete;

    // Starts a new listener thread (an ended one is joined first). Not while running().
    void start();
    bool running() const { return running_.load(std::memory_order_acquire); }
    bool ready() const { return ready_.load(std::memory_order_acquire); }
    // Wait up to the given time; true once the state has been reached.
    bool waitReady(std::chrono::milliseconds time);
    bool waitStopped(std::chrono::milliseconds time);
    StartResult startResult() const;  // meaningful once ready()

    void requestStop() { stop_.request(); }
    void join();
    const StopSignal& stopSignal() const { return stop_; }
    // The port asked for; for 0 (any free port) the one bound, once ready() after a start,
    // and kept for later starts.
    int port() const { return port_.load(std::memory_order_acquire); }

private:
    void run();
    int openListeners(int* sockets, int max);
    void serveLoop(const int* sockets, int count);
    bool serveOne(int listening);
    void setState(bool ready, bool running);

    std::atomic<int> port_;
    Handler handler_;
    const std::chrono::milliseconds idleLimit_;
    StopSignal stop_;
    std::atomic<bool> running_{false};
    std::atomic<bool> ready_{false};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    StartResult result_;
    std::thread thread_;
};

}  // namespace velmora
