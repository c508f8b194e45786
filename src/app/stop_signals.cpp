// The flag behind StopRequested, raised from the signal handler.
#include "app/stop_signals.h"

#include <signal.h>

namespace velmora {

namespace {

// A second request means the first could not end the program (an exit section that never
// ends): the signal then does what it would without a handler.
void OnStopSignal(int signal) {
    if (!StopRequested().exchange(true)) return;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
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
