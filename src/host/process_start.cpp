// Double fork with a close-on-exec pipe: the middle child exits at once (or after a
// short watch of the program) and is reaped here, the grandchild is adopted by init,
// and an exec failure travels back through the pipe as an errno value while a
// successful exec just closes it.
#include "host/process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <cstdlib>

namespace velmora {

namespace {

// Only async-signal-safe calls from here on: the parent may have other threads.
[[noreturn]] void RunGrandchild(char* const* argv, const char* dir, int devNull, int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &byDefault, nullptr);  // an ignored SIGPIPE would be inherited
    int err = 0;
    if (dir && chdir(dir) != 0) err = errno;
    if (!err) {
        dup2(devNull, STDIN_FILENO);
        // Sockets and files of ours must not outlive us in the started program.
        close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        execv(argv[0], argv);
        err = errno;
    }
    ssize_t n = write(report, &err, sizeof err);
    (void)n;
    _exit(127);
}

// What the middle child reports for a program that ended with a failure in time.
constexpr int kProgramFailed = -1;

// In the middle child: waits up to ms for the grandchild and reports a failed end.
void WatchGrandchild(pid_t child, int ms, int report) {
    const timespec step{0, 10 * 1000 * 1000};
    for (int waited = 0; waited <= ms; waited += 10) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                const int failed = kProgramFailed;
                ssize_t n = write(report, &failed, sizeof failed);
                (void)n;
            }
            return;
        }
        if (done < 0 && errno != EINTR) return;
        nanosleep(&step, nullptr);
    }
}

// Reads the first report: nothing (pipe closed by exec, or by the middle child after
// its watch) means success.
bool ReadStartReport(int fd) {
    int err = 0;
    ssize_t n;
    do {
        n = read(fd, &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof err)) {
        errno = err == kProgramFailed ? ECHILD : err;
        return false;
    }
    return true;
}

}  // namespace

bool StartDetached(const std::vector<std::string>& argv, const std::string& dir,
                   int waitForExitMs) {
    if (argv.empty() || argv[0].empty()) {
        errno = ENOENT;
        return false;
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* folder = dir.empty() ? nullptr : dir.c_str();

    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int report[2];
    if (devNull < 0 || pipe2(report, O_CLOEXEC) != 0) {
        int err = errno;
        if (devNull >= 0) close(devNull);
        errno = err;
        return false;
    }
    pid_t middle = fork();
    if (middle == 0) {
        setsid();  // the program keeps running when our terminal goes away
        pid_t child = fork();
        if (child == 0) RunGrandchild(args.data(), folder, devNull, report[1]);
        if (child < 0) {
            int err = errno;
            ssize_t n = write(report[1], &err, sizeof err);
            (void)n;
        } else if (waitForExitMs > 0) {
            WatchGrandchild(child, waitForExitMs, report[1]);
        }
        _exit(0);
    }
    int forkErr = errno;
    close(report[1]);
    close(devNull);
    bool ok = false;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        ok = ReadStartReport(report[0]);
    } else {
        errno = forkErr;
    }
    int err = errno;
    close(report[0]);
    errno = err;
    return ok;
}

std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace velmora
