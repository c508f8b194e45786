// A private Xvfb for the benchmarks that need an X server: started on a display number
// it picks itself (-displayfd), so a benchmark never collides with another server.
#pragma once

#include <unistd.h>

#include <string>

// Starts Xvfb and sets display to its name (":N"); the server's process id, or -1.
inline pid_t StartXvfb(std::string& display) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string n;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') n += c;
    close(fds[0]);
    display = ":" + n;
    return n.empty() ? -1 : pid;
}
