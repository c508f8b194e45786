// Console front end: the engine's dialogs and display as lines of text.
#include "app/console_frontend.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "app/console_progress.h"
#include "app/stop_signals.h"
#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/system_helpers.h"
#include "engine/text.h"
#include "window/display.h"

namespace velmora {

namespace {

constexpr size_t kMaxAnswer = 250;
// How soon a signal ends a `sleep`.
constexpr std::chrono::milliseconds kSleepStep{50};

// Cuts a CP932 text to at most n bytes without splitting a double-byte character.
void CutCp932(std::string& s, size_t n) {
    size_t i = 0;
    while (i < s.size()) {
        size_t len = IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
        if (i + len > n) break;
        i += len;
    }
    s.resize(i);
}

// Typed answers are UTF-8 on a Linux terminal; anything else is taken as CP932 already.
std::string AnswerToCp932(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsValidUtf8(line)) line = Utf8ToCp932(line);
    CutCp932(line, kMaxAnswer);
    return line;
}

}  // namespace

// ---- LineInput --------------------------------------------------------------------------

bool LineInput::takeLine(std::string& line) {
    size_t lf = buffer_.find('\n');
    if (lf == std::string::npos) {
        if (open_ || buffer_.empty()) return false;
        lf = buffer_.size();  // a last line without its end
    }
    line.assign(buffer_, 0, lf);
    buffer_.erase(0, lf + 1 > buffer_.size() ? buffer_.size() : lf + 1);
    return true;
}

void LineInput::fill(int timeoutMs) {
    if (!open_) return;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return;
    char buf[4096];
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0)
        buffer_.append(buf, n);
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        open_ = false;
}

bool LineInput::poll(std::string& line) {
    if (takeLine(line)) return true;
    fill(0);
    return takeLine(line);
}

bool LineInput::readBlocking(std::string& line, const std::atomic<bool>& interrupted) {
    while (!takeLine(line)) {
        if (!open_ || interrupted) return false;
        fill(100);
    }
    return true;
}

// ---- ConsoleFrontend ------------------------------------------------------------------

ConsoleFrontend::ConsoleFrontend(int inFd, int outFd, int errFd)
    : input_(inFd), outFd_(outFd), errFd_(errFd) {}

std::atomic<bool>& ConsoleFrontend::interrupted() {
    return StopRequested();
}

void ConsoleFrontend::InstallSignalHandlers() {
    InstallStopSignalHandlers();
}

void ConsoleFrontend::sleepCommand(int milliseconds) {
    // In short steps, so that a signal ends the sleep at once and the next event dispatch
    // shuts down; the steps do not add up to more than the time asked for.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point due =
        Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        if (interrupted()) return;
        const Clock::duration left = due - Clock::now();
        if (left <= Clock::duration::zero()) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, kSleepStep));
    }
}

void ConsoleFrontend::writeLine(int fd, const std::string& cp932) {
    WriteAll(fd, Cp932ToUtf8(cp932) + '\n');
}

void ConsoleFrontend::messageBox(const std::string& text) {
    writeLine(errFd_, text);
}

bool ConsoleFrontend::askOkCancel(const std::string& text) {
    writeLine(errFd_, text);
    return true;
}

bool ConsoleFrontend::inputDialog(const std::string& prompt, std::string& answer) {
    writeLine(outFd_, prompt);
    std::string line;
    if (!input_.readBlocking(line, interrupted())) return false;
    answer = AnswerToCp932(line);
    return true;
}

void ConsoleFrontend::showText(const std::string&, const std::string& text) {
    writeLine(outFd_, text);
}

void ConsoleFrontend::drawChoices() {
    const ChoiceState& c = engine_->choice;
    for (int i = 0; i < c.count && i < kMaxChoices; ++i)
        writeLine(outFd_, Format("[%d] ", i + 1) + c.text[i]);
}

void ConsoleFrontend::startScriptTimer(int milliseconds) {
    timerRunning_ = true;
    timerDue_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void ConsoleFrontend::postToUi(std::function<void()> fn) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(fn));
    hasPosted_ = true;
}

bool ConsoleFrontend::runPosted() {
    if (!hasPosted_) return false;
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (posted_.empty()) return false;
        fn = std::move(posted_.front());
        posted_.pop_front();
        hasPosted_ = !posted_.empty();
    }
    fn();
    return true;
}

void ConsoleFrontend::takeChoiceAnswer() {
    std::string line;
    if (!input_.poll(line)) return;
    line = AnswerToCp932(line);
    const ChoiceState& c = engine_->choice;
    if (line.empty()) {
        engine_->confirmChoice(c.highlighted);
        return;
    }
    if (line.find_first_not_of("0123456789") != std::string::npos || line.size() > 2) return;
    int n = ToInt(line);
    if (n >= 1 && n <= c.count) engine_->confirmChoice(n);
}

void ConsoleFrontend::pumpOneMessage() {
    if (!engine_) return;
    // Taking the signal clears it, so that a sleep in the exit section waits until the next.
    if (interrupted().exchange(false)) {
        engine_->running = false;
        engine_->Shutdown();
        return;
    }
    if (runPosted()) return;
    if (timerRunning_ && std::chrono::steady_clock::now() >= timerDue_) {
        timerRunning_ = false;
        engine_->onScriptTimer();
        return;
    }
    if (engine_->running || engine_->quit) return;
    // The script waits: an answer may wake it; if nothing can, the run is over.
    if (engine_->choice.active && input_.open()) {
        takeChoiceAnswer();
        return;
    }
    if (!engine_->keepsAlive() && !hasPosted_) engine_->Shutdown();
}

void ConsoleFrontend::runModalProgress(const std::string& caption, const std::string& detail,
                                       ProgressTask& task) {
    RunConsoleProgress(caption, detail, task, errFd_, [this] { pumpOneMessage(); });
}

int RunConsole(const std::string& programPath, const std::vector<std::string>& args,
               TraceMode trace) {
    ConsoleFrontend::InstallSignalHandlers();
    ConsoleFrontend fe;
    Engine engine(fe);
    fe.attach(engine);
    InstallTrace(engine, trace);
    // The layers exist in the console too, so picture commands report as in the window.
    Display display(engine);
    display.layers.create();
    Subsystems subsystems(engine, display);
    engine.setProgramPath(Utf8ToCp932(programPath));  // the engine works in CP932
    engine.setArguments(args);
    engine.LoadSettings();
    engine.StartScript();
    if (!engine.exiting()) engine.Shutdown();
    return engine.errorShown() ? 1 : 0;
}

}  // namespace velmora
