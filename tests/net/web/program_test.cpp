// The real program with its web server, in both front ends: a browser's answer reaches
// the script, and a running server keeps the console alive.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "net_support.h"
#include "process.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// The program takes any free port; the test finds it among the program's sockets.
struct Program {
    test::TempDir dir;
    std::atomic<pid_t> pid{0};
    int port = 0;  // known once getWhenUp has seen the server

    std::future<test::ProcessResult> start(const std::string& script, std::vector<std::string> args,
                                           double timeoutSeconds = 30) {
        dir.write("code.txt", script);
        test::ProcessOptions o;
        o.env = {"VELMORA_HOME=" + dir.path(), "VELMORA_WEB_PORT=0"};
        o.timeoutSeconds = timeoutSeconds;
        o.pid = &pid;
        args.insert(args.begin(), std::string(VELMORA_BIN_DIR) + "/velmora");
        return std::async(std::launch::async, [args, o] { return test::RunProcess(args, o); });
    }
    // Asks until the server answers; the response, or empty after the time.
    std::string getWhenUp(const std::string& target) {
        auto end = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < end) {
            if (!port && pid) port = test::ListeningPort(pid);
            std::string r = port ? test::Get(port, target) : std::string();
            if (!r.empty()) return r;
            std::this_thread::sleep_for(50ms);
        }
        return {};
    }
};

TEST(Program, AnswerReachesTheScriptInBothFrontEnds) {
    for (auto args : {std::vector<std::string>{"--console"}, std::vector<std::string>{}}) {
        const char* frontEnd = args.empty() ? "window" : "console";
        Program p;
        auto run = p.start("[main]\nweb,input,お名前は？\nsetdef,got,%var1%\nexit\n", args);
        EXPECT_NE(p.getWhenUp("/").find(test::Sj(u8"お名前は？")), std::string::npos) << frontEnd;
        EXPECT_EQ(test::Get(p.port, "/input.cgi?input=%8ER%93c"),  // "山田" in Shift-JIS
                  "HTTP/1.0 302 Moved Temporarily\nMIME-Version: 1.0\nServer: Quillon/1.0\n"
                  "Location: input.cgi?prev=%8ER%93c\n\n")
            << frontEnd;
        test::ProcessResult r = run.get();
        EXPECT_FALSE(r.timedOut) << frontEnd;
        EXPECT_EQ(r.status, 0) << frontEnd << ": " << r.err;
        EXPECT_NE(p.dir.read("variable.txt").find("got=" + test::Sj(u8"山田")), std::string::npos)
            << frontEnd;
        EXPECT_EQ(test::Connect(p.port), -1) << frontEnd << ": the server ended with the program";
    }
}

TEST(Program, RunningServerKeepsTheConsoleAlive) {
    Program p;
    p.dir.mkdir("root");
    p.dir.writeBytes("root/a.txt", "served");
    auto run = p.start("[main]\nweb,server,%programpath%root\npause\n", {"--console"}, 8);
    EXPECT_EQ(test::Body(p.getWhenUp("/a.txt")), "served");
    test::ProcessResult r = run.get();
    EXPECT_TRUE(r.timedOut);  // still serving when the time ran out
}

}  // namespace
}  // namespace velmora
