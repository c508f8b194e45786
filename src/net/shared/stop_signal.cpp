// Stop requests through an eventfd, which poll() can wait on beside the sockets.
#include "net/shared/stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace velmora {

StopSignal::StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (fd_ >= 0) close(fd_);
}

void StopSignal::request() {
    flag_.store(true, std::memory_order_release);
    std::uint64_t one = 1;
    if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) {
        // The counter is already non-zero: the descriptor is readable either way.
    }
}

void StopSignal::reset() {
    flag_.store(false, std::memory_order_release);
    std::uint64_t count;
    if (fd_ >= 0 && read(fd_, &count, sizeof count) < 0) {
        // Nothing was pending.
    }
}

bool StopSignal::sleepFor(std::chrono::milliseconds time) const {
    auto end = std::chrono::steady_clock::now() + time;
    while (!requested()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd p{fd_, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
}

}  // namespace velmora
