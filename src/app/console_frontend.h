// The console front end: runs the engine without a window. Text goes to standard
// output, message boxes to standard error, answers come from standard input.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "app/trace.h"
#include "engine/frontend.h"

namespace velmora {

class Engine;

// Lines from a file descriptor without blocking the interpreter's wait.
class LineInput {
public:
    explicit LineInput(int fd) : fd_(fd) {}
    // A complete line (without its end) if one can be had now.
    bool poll(std::string& line);
    // Waits for a line; false at end of input or when interrupted.
    bool readBlocking(std::string& line, const std::atomic<bool>& interrupted);
    // True while a line may still come.
    bool open() const { return open_ || !buffer_.empty(); }

private:
    bool takeLine(std::string& line);
    void fill(int timeoutMs);

    int fd_;
    bool open_ = true;
    std::string buffer_;
};

class ConsoleFrontend : public Frontend {
public:
    ConsoleFrontend(int inFd = 0, int outFd = 1, int errFd = 2);
    void attach(Engine& engine) { engine_ = &engine; }

    // Set by SIGINT or SIGTERM (see InstallSignalHandlers); ends the run.
    static std::atomic<bool>& interrupted();
    static void InstallSignalHandlers();

    void messageBox(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    bool inputDialog(const std::string& prompt, std::string& answer) override;
    void showText(const std::string& mode, const std::string& text) override;
    void clearDisplay() override {}
    void drawChoices() override;
    void setTitle(const std::string&) override {}
    void loadSkin(const std::string&) override {}
    void placeWindow(const std::string&) override {}
    void releaseDisplay() override {}
    void startScriptTimer(int milliseconds) override;
    void killScriptTimer() override { timerRunning_ = false; }
    void pumpOneMessage() override;
    // Ends early on SIGINT or SIGTERM.
    void sleepCommand(int milliseconds) override;
    void requestClose() override {}
    void postToUi(std::function<void()> fn) override;
    // Status on standard error; SIGINT cancels instead of ending the run.
    void runModalProgress(const std::string& caption, const std::string& detail,
                          ProgressTask& task) override;

private:
    void writeLine(int fd, const std::string& cp932);
    bool runPosted();
    void takeChoiceAnswer();

    Engine* engine_ = nullptr;
    LineInput input_;
    int outFd_, errFd_;
    bool timerRunning_ = false;
    std::chrono::steady_clock::time_point timerDue_;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    std::atomic<bool> hasPosted_{false};
};

// Runs code.txt of programPath in the console; the exit status of the program.
int RunConsole(const std::string& programPath, const std::vector<std::string>& args,
               TraceMode trace = TraceMode::Off);

}  // namespace velmora
