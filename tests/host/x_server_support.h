// Helpers for the host tests: velmora_test_window processes and their logs, and a
// fixture on a private X server (tests/support's, optionally with openbox as the window
// manager). A private server keeps other tests' windows out of the stacking order and
// the focus. The temporary folder, the environment guard and the waits come from
// tests/support too.
#pragma once

#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "env_guard.h"
#include "process.h"
#include "temp_dir.h"
#include "wait.h"
#include "x_server.h"

typedef struct _XDisplay Display;

namespace velmora::test {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text, int mode = 0644);
std::vector<std::string> Lines(const std::string& text);

// Starts a child with argv; -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv);

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
                          const std::vector<std::string>& options = {}, int timeoutMs = kPatientMs);

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
