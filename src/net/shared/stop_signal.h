// The listener's stop request: a flag any thread may set, and a descriptor that becomes
// readable when it is set, so that every wait of the listener ends at once.
#pragma once

#include <atomic>
#include <chrono>

namespace velmora {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    void reset();
    bool requested() const { return flag_.load(std::memory_order_acquire); }
    int fd() const { return fd_; }  // readable while a stop is requested

    // Sleeps up to the given time; false when a stop request ended it early.
    bool sleepFor(std::chrono::milliseconds time) const;

private:
    std::atomic<bool> flag_{false};
    int fd_;
};

}  // namespace velmora
