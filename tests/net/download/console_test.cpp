// The download command in the console front end, run as the real program: the status
// line on standard error, SIGINT cancelling the download instead of the run, and SIGHUP
// and SIGTERM ending the run without leaving a file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "http_test_server.h"
#include "net/download/texts.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

// velmora --console in a program folder, which is also its current directory.
class ConsoleRun {
public:
    ConsoleRun(const ScriptDir& dir, const std::string& script, int proxyPort) : dir_(dir) {
        dir.write("code.txt", script);
        dir.write("variable.txt",
                  "[default]\nproxy=127.0.0.1\nproxyport=" + std::to_string(proxyPort) + "\n");
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            freopen("stdout.txt", "w", stdout);
            freopen("stderr.txt", "w", stderr);
            freopen("/dev/null", "r", stdin);
            setenv("VELMORA_HOME", dir.path().c_str(), 1);
            // As started from a terminal, even when the tests run under nohup.
            ::signal(SIGHUP, SIG_DFL);
            execl(VELMORA_BIN_DIR "/velmora", "velmora", "--console", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~ConsoleRun() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void signal(int sig) { kill(pid_, sig); }
    // The exit status, or -1 when the program did not end within the time.
    int wait(std::chrono::seconds limit) {
        auto end = Clock::now() + limit;
        int status = 0;
        while (Clock::now() < end) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    std::string out() const { return dir_.read("stdout.txt"); }
    std::string err() const { return dir_.read("stderr.txt"); }

private:
    const ScriptDir& dir_;
    pid_t pid_ = -1;
    bool exited_ = false;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DownloadConsole, StatusGoesToStandardError) {
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    HttpTestServer server({Send(head), Stream(1 << 20)});
    ScriptDir dir;
    ConsoleRun run(dir, "[main]\ndownload,http://h/big,big.bin\ntext,,%var1%\nexit\n",
                   server.port());
    ASSERT_EQ(run.wait(std::chrono::seconds(30)), 0);
    EXPECT_EQ(run.out(), "OK\n");
    EXPECT_TRUE(Contains(run.err(), "ダウンロード: http://h/big\n")) << run.err();
    EXPECT_TRUE(Contains(run.err(), "1,048,595 bytes受信完了")) << run.err();
    EXPECT_EQ(dir.read("big.bin"), PatternBytes(1 << 20));
}

TEST(DownloadConsole, InterruptCancelsTheDownloadOnly) {
    HttpTestServer server({Send("HTTP/1.0 200 OK\r\n\r\n"), Stream(100000), Silence()});
    ScriptDir dir;
    ConsoleRun run(dir,
                   "[main]\ndownload,http://h/,part.bin\ntext,,%var1% %var2%\n"
                   "text,,after\nexit\n",
                   server.port());
    ASSERT_TRUE(test::WaitFor([&] { return server.bytesSent() >= 100000; }));
    run.signal(SIGINT);
    ASSERT_EQ(run.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(run.out(), "NG 中断されました\nafter\n");
    EXPECT_TRUE(Contains(run.err(), "中断しています……")) << run.err();
    EXPECT_FALSE(dir.exists("part.bin"));
}

// A closed terminal (SIGHUP) ends the run as a shutdown (SIGTERM) does: the download is
// cancelled, the exit section runs, and its temporary file goes with it.
TEST(DownloadConsole, HangUpAndTerminateLeaveNoFile) {
    for (int sig : {SIGHUP, SIGTERM}) {
        SCOPED_TRACE(sig);
        HttpTestServer server({Send("HTTP/1.0 200 OK\r\n\r\n"), Stream(100000), Silence()});
        ScriptDir dir;
        ConsoleRun run(dir,
                       "[main]\ndownload,http://h/,part.bin\ntext,,%var1%\n"
                       "[exit]\ntext,,exit section\nendcode\n",
                       server.port());
        auto partial = [&] {
            std::error_code gone;  // a file listed may be gone before it is looked at
            for (const std::string& name : dir.entries())
                if (Contains(name, ".part") && std::filesystem::file_size(dir.file(name), gone) > 0)
                    return !gone;
            return false;
        };
        ASSERT_TRUE(test::WaitFor(partial)) << "the body never reached its temporary file";
        run.signal(sig);
        ASSERT_EQ(run.wait(std::chrono::seconds(10)), 0);
        EXPECT_EQ(run.out(), "exit section\n");
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"code.txt", "stderr.txt", "stdout.txt",
                                                           "variable.txt"}));
    }
}

TEST(DownloadConsole, InterruptAfterTheDownloadEndsTheRunAgain) {
    HttpTestServer server({Send("HTTP/1.0 200 OK\r\n\r\nx")});
    ScriptDir dir;
    ConsoleRun run(dir,
                   "[main]\ndownload,http://h/,x.bin\ntext,,ready\ntimer,start,60,[late]\n"
                   "pause\n[late]\ntext,,late\n",
                   server.port());
    ASSERT_TRUE(test::WaitFor([&] { return Contains(run.out(), "ready"); }));
    run.signal(SIGINT);
    EXPECT_EQ(run.wait(std::chrono::seconds(10)), 0);
    EXPECT_EQ(run.out(), "ready\n");
}

}  // namespace
}  // namespace velmora
