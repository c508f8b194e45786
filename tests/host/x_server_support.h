// Helpers for the host tests: a private Xvfb (optionally with openbox as the window
// manager), velmora_test_window processes and their logs, temporary folders and
// polling waits. A private server keeps other tests' windows out of the stacking
// order and the focus.
#pragma once

#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace velmora::test {

// Polls until done() or the time is up; the last answer of done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text, int mode = 0644);
std::vector<std::string> Lines(const std::string& text);

// A folder removed with its contents at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets an environment variable for one scope (unset when value is null).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string name_, old_;
    bool had_;
};

// Starts a child with argv; -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv);
void Stop(pid_t pid);  // SIGTERM, then reaped

class XServer {
public:
    ~XServer();
    // Starts Xvfb on a free display and, with wm, openbox on it. False on failure.
    bool start(bool wm);
    const std::string& display() const { return display_; }

private:
    pid_t xvfb_ = -1, wm_ = -1;
    std::string display_;
};

// A velmora_test_window process.
struct TestWindow {
    pid_t pid = -1;
    std::string log;
    unsigned long id = 0;

    std::string text() const { return ReadFile(log); }
    std::vector<std::string> keyLines() const;  // press/release lines only
    bool alive() const;
};

// Opens a test window with the given title and further options, logging into dir;
// waits until it is mapped (or created, with --hidden). id is 0 on failure.
TestWindow OpenTestWindow(const std::string& dir, const std::string& title,
                          const std::vector<std::string>& options = {}, int timeoutMs = 5000);

// Windows of this process's own connection, top to bottom: ours (claiming this
// process's pid), `fillers` windows titled "filler", "Far target", "Far beyond".
class ManyWindows {
public:
    explicit ManyWindows(int fillers);
    ~ManyWindows();
    unsigned long target() const { return target_; }
    unsigned long own() const { return own_; }
    unsigned long beyond() const { return beyond_; }

private:
    unsigned long make(const char* title, const char* state);
    Display* d_;
    unsigned long beyond_, target_, own_;
};

// Zombie children of this process, counted from /proc.
int CountZombieChildren();

}  // namespace velmora::test

#include <gtest/gtest.h>

namespace velmora::test {

// Tests on a private X server, run once bare (parameter false) and once under
// openbox (true). Windows opened through open() are stopped after each test.
class XDisplayTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override;
    void TearDown() override;
    TestWindow& open(const std::string& title, const std::vector<std::string>& options = {});
    // A window that claims this process's pid: velmora's own window for the search.
    TestWindow& openOwn();
    // The window the X server (or window manager) reports active now.
    unsigned long active();

    TempDir dir_;
    std::deque<TestWindow> windows_;  // references to its items stay valid
};

std::string ModeName(const ::testing::TestParamInfo<bool>& info);

}  // namespace velmora::test
