// The engine's only view of the outside world: dialogs, drawing, timers and events.
// The Qt window and the console implement it; tests use a fake. All calls are made
// on the user-interface thread, except postToUi, which any thread may call.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace velmora {

// How far a piece of work has come, in units of its own (bytes for a download).
struct ProgressAmount {
    std::uint64_t done = 0;
    std::uint64_t total = 0;  // 0: not known

    // Whole percent done, 100 only when done reaches total; nothing while total is unknown.
    std::optional<int> percent() const {
        if (total == 0) return std::nullopt;
        if (done >= total) return 100;
        // In floating point, since done * 100 may overflow; rounding never reaches 100.
        return std::min(
            99, static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total)));
    }
};

// Work that runs on another thread while a front end shows its modal progress display.
class ProgressTask {
public:
    virtual ~ProgressTask() = default;
    // Begins the work; the display calls it once it is up, so it can show every status.
    virtual void start() = 0;
    // CP932 text describing where the work stands; it changes while the work runs.
    virtual std::string statusText() const = 0;
    // True once the work has ended by itself; the display then closes.
    virtual bool finished() const = 0;
    // How much is done, for a display that can fill a bar; any thread may have written it
    // last. Work that cannot tell leaves the total unknown.
    virtual ProgressAmount amount() const { return {}; }
    // Ends the work's life: cancels it if unfinished (dispatching events meanwhile), waits
    // for its thread and cleans up. The display calls it once it closes, for whatever reason;
    // later calls return at once.
    virtual void close() = 0;
};

class Frontend {
public:
    virtual ~Frontend() = default;

    // Standard message box with OK. Text is CP932.
    virtual void messageBox(const std::string& text) = 0;
    // Standard message box with OK and Cancel; true for OK.
    virtual bool askOkCancel(const std::string& text) = 0;
    // Modal input dialog; false when cancelled. The answer is CP932, at most 250 bytes.
    virtual bool inputDialog(const std::string& prompt, std::string& answer) = 0;

    // Display: the `text`, `clear` and `choice` drawing, the title, the skin and placement.
    virtual void showText(const std::string& mode, const std::string& text) = 0;
    virtual void clearDisplay() = 0;
    virtual void drawChoices() = 0;
    virtual void setTitle(const std::string& text) = 0;
    virtual void loadSkin(const std::string& name) = 0;
    virtual void placeWindow(const std::string& rectText) = 0;
    // Shutdown releases the drawing layers; painting shows nothing afterwards.
    virtual void releaseDisplay() = 0;

    // The script timer (timer 1). Expiry calls Engine::onScriptTimer on this thread.
    virtual void startScriptTimer(int milliseconds) = 0;
    virtual void killScriptTimer() = 0;

    // Dispatch at most one pending event (window message, timer, stdin line, posted call).
    virtual void pumpOneMessage() = 0;
    // Ask the window to close (the close request that follows Shutdown).
    virtual void requestClose() = 0;
    // Run fn on the user-interface thread soon; safe from any thread.
    virtual void postToUi(std::function<void()> fn) = 0;
    // Shows a modal progress display (caption, a detail line, the task's status, Cancel),
    // starts the task, and waits until it has finished or the user cancelled; then it calls
    // task.close(). Texts are
    // CP932. Without a display the call just waits for the task, dispatching events.
    virtual void runModalProgress(const std::string& caption, const std::string& detail,
                                  ProgressTask& task) {
        (void)caption;
        (void)detail;
        task.start();
        while (!task.finished()) {
            pumpOneMessage();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        task.close();
    }
    // Block the interpreter (the loop's 10 ms polls, the pause before the exit section).
    // Tests skip it.
    virtual void sleepMs(int milliseconds) {
        if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
    // The interpreter's idle wait while the script waits for an event: returns after at
    // most `milliseconds`, and a front end that can tell returns as soon as one arrives.
    virtual void waitForEvents(int milliseconds) { sleepMs(milliseconds); }
    // The `sleep` command: blocks the interpreter like sleepMs, except that a request to end
    // the program (a signal, closing the window) that arrives meanwhile ends it. In the exit
    // section that takes a second request: the first one started the section.
    virtual void sleepCommand(int milliseconds) { sleepMs(milliseconds); }
};

}  // namespace velmora
