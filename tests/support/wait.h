// Waiting for a condition in tests: poll it until it holds or a generous deadline
// passes, never sleep a fixed time and then assert. A loaded machine only makes the
// wait longer, not the test fail.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace velmora::test {

// The deadline of a wait for something that normally takes milliseconds.
constexpr int kPatientMs = 10000;

// Polls every 10 ms until done() or the time is up; the last answer of done().
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = kPatientMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace velmora::test
