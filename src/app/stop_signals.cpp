// The flag behind StopRequested, raised from the signal handler.
#include "app/stop_signals.h"

#include <signal.h>

namespace velmora {

namespace {

void OnStopSignal(int) {
    StopRequested().store(true);
}

}  // namespace

std::atomic<bool>& StopRequested() {
    static std::atomic<bool> flag{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    return flag;
}

void InstallStopSignalHandlers() {
    StopRequested();  // the static exists before a signal can reach it
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A closed terminal ends the run as cleanly as SIGTERM; but a program started under
    // nohup (SIGHUP ignored) is meant to outlive its terminal, and keeps doing so.
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &sa, nullptr);
}

}  // namespace velmora
