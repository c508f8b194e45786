// Runs a program with piped standard streams, for end-to-end tests of the executable.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace velmora::test {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
    bool timedOut = false;
};

struct ProcessOptions {
    std::vector<std::string> env;  // "NAME=value" added to the environment
    std::string input;             // written to standard input
    std::string cwd;               // the program's working folder, when not empty
    bool keepInputOpen = false;    // do not close standard input after writing
    double timeoutSeconds = 20;
    // Sent to the program once its standard output contains this text (if not empty).
    std::string signalAfterOutput;
    int signal = 0;
    // Then the same signal again once standard output also contains this text.
    std::string signalAgainAfterOutput;
    std::atomic<pid_t>* pid = nullptr;  // receives the child's process id once started
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

// Ends a child: SIGTERM, then SIGKILL if it has not ended within a few seconds; reaped,
// and pid is -1 afterwards. Nothing for a pid of 0 or less.
void StopChild(pid_t& pid);

// One socket of the kernel's TCP tables (/proc/net/tcp and tcp6).
struct TcpSocket {
    int localPort = 0;
    std::string state;  // "0A" listening, "01" established
    long sendQueue = 0;
    long receiveQueue = 0;  // of a listening socket: connections not yet accepted
    std::string inode;
};
// Calls fn for each TCP socket of the machine, IPv4 and IPv6.
void ForEachTcpSocket(const std::function<void(const TcpSocket&)>& fn);

// A TCP port the process listens on, found through /proc (0 while it listens on none):
// how a test learns the port a program chose when it was asked for any free one.
int ListeningPort(pid_t pid);

}  // namespace velmora::test
