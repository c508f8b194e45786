// Runs a program with piped standard streams, for end-to-end tests of the executable.
#pragma once

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
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options);

}  // namespace velmora::test
