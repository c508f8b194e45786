// Runs a program with piped standard streams, for end-to-end tests of the executable.
#pragma once

#include <sys/types.h>

#include <atomic>
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
    std::atomic<pid_t>* pid = nullptr;  // receives the child's process id once started
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

// A TCP port the process listens on, found through /proc (0 while it listens on none):
// how a test learns the port a program chose when it was asked for any free one.
int ListeningPort(pid_t pid);

}  // namespace velmora::test
