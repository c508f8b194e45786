// Child process with three pipes, polled until it ends or its time runs out.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "process.h"
#include "wait.h"

namespace velmora::test {

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& o) {
    ProcessResult r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return r;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (!o.cwd.empty() && chdir(o.cwd.c_str()) != 0) _exit(127);
        for (const auto& e : o.env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (o.pid) o.pid->store(pid);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    bool inOpen = true, signalled = false, signalledAgain = false;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<long>(o.timeoutSeconds * 1000));
    int openOutputs = 2;
    while (openOutputs > 0) {
        if (inOpen && written == o.input.size() && !o.keepInputOpen) {
            close(in[1]);
            inOpen = false;
        }
        pollfd fds[3] = {{out[0], POLLIN, 0},
                         {err[0], POLLIN, 0},
                         {inOpen && written < o.input.size() ? in[1] : -1, POLLOUT, 0}};
        poll(fds, 3, 50);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, n);
            } else {
                close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --openOutputs;
            }
        }
        if (fds[2].fd >= 0 && (fds[2].revents & POLLOUT)) {
            ssize_t n = write(in[1], o.input.data() + written, o.input.size() - written);
            if (n > 0)
                written += n;
            else
                written = o.input.size();
        }
        if (!signalled && o.signal && !o.signalAfterOutput.empty() &&
            r.out.find(o.signalAfterOutput) != std::string::npos) {
            kill(pid, o.signal);
            signalled = true;
        }
        if (signalled && !signalledAgain && !o.signalAgainAfterOutput.empty() &&
            r.out.find(o.signalAgainAfterOutput) != std::string::npos) {
            kill(pid, o.signal);
            signalledAgain = true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    if (inOpen) close(in[1]);
    for (int fd : {out[0], err[0]})
        if (fd >= 0) close(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

void StopChild(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!WaitFor([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5000)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

int ListeningPort(pid_t pid) {
    // The process's sockets, by inode.
    std::set<std::string> inodes;
    std::error_code ec;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& e : std::filesystem::directory_iterator(fds, ec)) {
        std::string target = std::filesystem::read_symlink(e.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    int port = 0;
    ForEachTcpSocket([&](const TcpSocket& t) {
        if (!port && t.state == "0A" && inodes.count(t.inode)) port = t.localPort;
    });
    return port;
}

void ForEachTcpSocket(const std::function<void(const TcpSocket&)>& fn) {
    // Lines of the tables: "sl local rem st tx:rx tr:when retrnsmt uid timeout inode".
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, queues, timer, retransmits, uid, timeout;
            TcpSocket t;
            fields >> slot >> local >> remote >> t.state >> queues >> timer >> retransmits >> uid >>
                timeout >> t.inode;
            const size_t colon = local.rfind(':'), split = queues.find(':');
            if (colon == std::string::npos || split == std::string::npos) continue;
            t.localPort = static_cast<int>(std::stoul(local.substr(colon + 1), nullptr, 16));
            t.sendQueue = std::stol(queues.substr(0, split), nullptr, 16);
            t.receiveQueue = std::stol(queues.substr(split + 1), nullptr, 16);
            fn(t);
        }
    }
}

}  // namespace velmora::test
