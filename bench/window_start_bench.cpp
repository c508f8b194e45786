// From process start to the first script line, in the window with the sample's skin:
// the script's first line writes a variable, and the time is taken when variable.txt
// is renamed into place. Runs on $DISPLAY, or on a private Xvfb when there is none.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "private_xvfb.h"

namespace fs = std::filesystem;

namespace {

// Milliseconds from fork to the first write of variable.txt; -1 on a time-out.
double OneStart(const fs::path& home) {
    fs::remove(home / "variable.txt");
    std::ofstream(home / "variable.txt") << "[default]\nbackground=skin.bmp\n";
    const int in = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(in, home.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("VELMORA_HOME", home.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(VELMORA_BIN_DIR "/velmora", "velmora", static_cast<char*>(nullptr));
        _exit(127);
    }
    double ms = -1;
    char buf[4096];
    pollfd p{in, POLLIN, 0};
    while (ms < 0 && poll(&p, 1, 10000) > 0) {
        const ssize_t n = read(in, buf, sizeof buf);
        for (ssize_t i = 0; i < n;) {
            auto* e = reinterpret_cast<inotify_event*>(buf + i);
            if (e->len && std::strcmp(e->name, "variable.txt") == 0 && (e->mask & IN_MOVED_TO))
                ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count();
            i += sizeof(inotify_event) + e->len;
        }
    }
    close(in);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return ms;
}

}  // namespace

int main() {
    pid_t xvfb = -1;
    if (!std::getenv("DISPLAY")) {
        std::string display;
        xvfb = StartXvfb(display);
        if (xvfb < 0) {
            std::fprintf(stderr, "no $DISPLAY and no Xvfb\n");
            return 1;
        }
        setenv("DISPLAY", display.c_str(), 1);
    }
    const fs::path home = fs::temp_directory_path() / ("velmora-start-" + std::to_string(getpid()));
    fs::create_directories(home);
    fs::copy_file(fs::path(VELMORA_SOURCE_DIR) / "examples/sample/skin.bmp", home / "skin.bmp");
    std::ofstream(home / "code.txt") << "[main]\nset,started,yes\npause\n";
    OneStart(home);  // warm the file cache and the font cache
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) ms.push_back(OneStart(home));
    std::sort(ms.begin(), ms.end());
    std::printf(
        "process start to first script line (440 x 320 skin), 15 runs: "
        "median %.0f ms, min %.0f ms, max %.0f ms\n",
        ms[ms.size() / 2], ms.front(), ms.back());
    fs::remove_all(home);
    if (xvfb > 0) {
        kill(xvfb, SIGTERM);
        waitpid(xvfb, nullptr, 0);
    }
    return 0;
}
