// Progress on a terminal line, and SIGINT as Cancel for the time the display is open.
#include "app/console_progress.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "engine/system_helpers.h"
#include "engine/text.h"

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t gCancelSignal = 0;

void OnCancelSignal(int) {
    gCancelSignal = 1;
}

// SIGINT means Cancel while an object of this class lives; the old handler comes back after.
class CancelOnInterrupt {
public:
    CancelOnInterrupt() {
        gCancelSignal = 0;
        struct sigaction sa {};
        sa.sa_handler = OnCancelSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &previous_);
    }
    ~CancelOnInterrupt() { sigaction(SIGINT, &previous_, nullptr); }
    bool requested() const { return gCancelSignal != 0; }

private:
    struct sigaction previous_ {};
};

class StatusLine {
public:
    explicit StatusLine(int fd) : fd_(fd), terminal_(isatty(fd) == 1) {}

    void heading(const std::string& caption, const std::string& detail) {
        put(Cp932ToUtf8(caption) + ": " + Cp932ToUtf8(detail) + "\n");
    }

    // Shows a changed status, with the share done when it is known, at most every interval
    // unless forced.
    void show(const std::string& status, std::optional<int> percent, bool force) {
        std::string text = Cp932ToUtf8(status);
        if (percent) text += " (" + std::to_string(*percent) + "%)";
        Clock::time_point now = Clock::now();
        if (text == shown_ || (!force && now - last_ < interval())) return;
        shown_ = text;
        last_ = now;
        put(terminal_ ? "\r" + text + "\x1b[K" : text + "\n");
    }

    void end() {
        if (terminal_) put("\n");
    }

private:
    // A terminal line may change often; a log file gets a line a second at most.
    Clock::duration interval() const {
        return terminal_ ? std::chrono::milliseconds(100) : std::chrono::seconds(1);
    }

    void put(const std::string& bytes) { WriteAll(fd_, bytes); }

    int fd_;
    bool terminal_;
    std::string shown_;
    Clock::time_point last_{};
};

}  // namespace

void RunConsoleProgress(const std::string& caption, const std::string& detail, ProgressTask& task,
                        int errFd, const std::function<void()>& pump) {
    CancelOnInterrupt interrupt;
    StatusLine line(errFd);
    line.heading(caption, detail);
    task.start();
    while (!task.finished() && !interrupt.requested()) {
        line.show(task.statusText(), task.amount().percent(), false);
        if (pump) pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    task.close();
    line.show(task.statusText(), task.amount().percent(), true);
    line.end();
}

}  // namespace velmora
