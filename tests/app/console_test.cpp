// The console front end end to end: the real executable on small script folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "app/options.h"
#include "engine/text.h"
#include "env_guard.h"
#include "process.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using test::ProcessOptions;
using test::ProcessResult;
using test::RunProcess;
using test::ScriptDir;

struct Console {
    ScriptDir dir;
    ProcessResult run(const std::string& script, ProcessOptions o = {},
                      std::vector<std::string> args = {}) {
        dir.write("code.txt", script);
        o.env.push_back("VELMORA_HOME=" + dir.path());
        std::vector<std::string> argv = {std::string(VELMORA_BIN_DIR) + "/velmora", "--console"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProcess(argv, o);
    }
};

TEST(Console, TextMessagesAndExitStatus) {
    Console c;
    ProcessResult r = c.run(
        "[main]\ntext,clear,こんにちは\nmessagebox,お知らせ\ntitle,x\nclear\n"
        "pause\n[exit]\ntext,,bye\n");
    EXPECT_EQ(r.out, "こんにちは\nbye\n");
    // The exit section ran into the end of the script: that is an error, shown on stderr.
    EXPECT_EQ(r.err, "お知らせ\nコードエラー：次のコードが見つかりません\n");
    EXPECT_EQ(r.status, 1);

    Console clean;
    r = clean.run("[main]\ntext,,ok\npause\n[exit]\nendcode\n");
    EXPECT_EQ(r.out, "ok\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Console, ChoicesFromStandardInput) {
    Console c;
    ProcessOptions o;
    o.input = "junk\n9\n2\n\n";
    ProcessResult r = c.run(
        "[main]\nchoice,3,3,赤,青,緑\ntext,,%choice_sel% %choice_text%\n"
        "choice,2,1,a,b\ntext,,%choice_sel% %choice_text%\npause\n",
        o);
    EXPECT_EQ(r.out, "[1] 赤\n[2] 青\n[3] 緑\n2 青\n[1] a\n[2] b\n1 a\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Console, InputInUtf8ReachesTheScriptAsCp932) {
    Console c;
    ProcessOptions o;
    o.input = "太郎\n";
    ProcessResult r = c.run(
        "[main]\ninput,お名前は？\nset,name,%var1%\ninput,もう一度\n"
        "text,,[%var1%]\npause\n",
        o);
    EXPECT_EQ(r.out, "お名前は？\nもう一度\n[]\n");  // end of input counts as Cancel
    EXPECT_NE(c.dir.read("variable.txt").find(Utf8ToCp932("name=太郎")), std::string::npos);
}

TEST(Console, InputKeepsAtMost250Bytes) {
    Console c;
    ProcessOptions o;
    o.input = std::string(300, 'a') + "\n";
    ProcessResult r = c.run("[main]\ninput,?\nset,len,%var1%\npause\n", o);
    std::string file = c.dir.read("variable.txt");
    EXPECT_NE(file.find("len=" + std::string(250, 'a') + "\r\n"), std::string::npos);
}

TEST(Console, TimerFiresWhileWaitingForAChoice) {
    Console c;
    ProcessOptions o;
    o.keepInputOpen = true;
    ProcessResult r = c.run(
        "[main]\ntimer,start,1,[late]\nchoice,2,1,a,b\ntext,,answered\n"
        "[late]\ntext,,%var3%\nexit\n",
        o);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "[1] a\n[2] b\ntimeout\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Console, EndsWhenNothingCanWakeTheScript) {
    Console c;
    ProcessOptions o;
    o.keepInputOpen = true;  // an open terminal does not keep a plain pause alive
    ProcessResult r =
        c.run("[main]\ntext,,waiting\npause\n[exit]\ntext,,exit section\nendcode\n", o);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "waiting\nexit section\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Console, SignalsRunTheExitSectionOnce) {
    const struct {
        const char* name;
        int signal;
        const char* script;
        const char* out;
    } cases[] = {
        {"SIGINT while a timer waits", SIGINT,
         "[main]\ntext,,waiting\ntimer,wait,60\ntext,,never\n[exit]\ntext,,cleanup\nendcode\n",
         "waiting\ncleanup\n"},
        // The line read before the signal must not run after the script was closed.
        {"SIGINT in a busy loop without an exit section", SIGINT,
         "[main]\ntext,,waiting\n[loop]\ngoto,[loop]\n", "waiting\n"},
        {"SIGTERM in a busy loop", SIGTERM,
         "[main]\ntext,,waiting\n[loop]\ngoto,[loop]\n[exit]\ntext,,cleanup\nendcode\n",
         "waiting\ncleanup\n"},
        // A sleep of about 35 days ends with the signal, not with its time.
        {"SIGTERM during a long sleep", SIGTERM,
         "[main]\ntext,,waiting\nsleep,3000000\ntext,,never\n[exit]\ntext,,cleanup\nendcode\n",
         "waiting\ncleanup\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Console console;
        ProcessOptions o;
        o.signalAfterOutput = "waiting";
        o.signal = c.signal;
        ProcessResult r = console.run(c.script, o);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}

// A console run whose questions the test answers one at a time, reading between them.
class Conversation {
public:
    explicit Conversation(const std::string& home) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC)) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            setenv("VELMORA_HOME", home.c_str(), 1);
            const std::string exe = std::string(VELMORA_BIN_DIR) + "/velmora";
            execl(exe.c_str(), exe.c_str(), "--console", nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Conversation() {
        close(toChild_);
        close(fromChild_);
        test::StopChild(pid_);
    }
    // True once the child printed the line.
    bool awaitLine(const std::string& text) {
        return test::WaitFor([&] {
            pollfd p{fromChild_, POLLIN, 0};
            char buf[4096];
            if (poll(&p, 1, 100) > 0) {
                ssize_t n = read(fromChild_, buf, sizeof buf);
                if (n > 0) seen_.append(buf, static_cast<size_t>(n));
            }
            return seen_.find(text + "\n") != std::string::npos;
        });
    }
    void answer(const std::string& line) {
        (void)!write(toChild_, (line + "\n").data(), line.size() + 1);
    }
    void kill9() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1, fromChild_ = -1;
    std::string seen_;
};

// The values of a variable.txt that must be whole: every line a section or a key.
std::map<std::string, std::string> WholeSettings(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '[') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) return {};  // a cut line
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

// Sets wait in memory while the script runs, but whenever it waits everything it set is
// on disk, whole; a kill -9 at any moment loses at most the sets since the last wait (or
// the last 100 ms) and never leaves a broken file; a script that never waits still has
// its sets written while it runs.
TEST(Console, HeldSettingsAreOnDiskWheneverTheScriptWaits) {
    ScriptDir dir;
    dir.write("code.txt",
              "[main]\nset,round,0\nwhile,cmp,%round%,<,1000000\ncalculate,%round%+1\n"
              "set,round,%var1%\nset,k,0\nwhile,cmp,%k%,<,3000\ncalculate,%k%+1\nset,k,%var1%\n"
              "endwhile\ninput,round %round%\nendwhile\n");
    std::mt19937 random(23);
    for (int run = 0; run < 6; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Conversation talk(dir.path());
        int rounds = 1 + static_cast<int>(random() % 4);
        for (int r = 1; r <= rounds; ++r) {
            ASSERT_TRUE(talk.awaitLine("round " + std::to_string(r)));
            auto values = WholeSettings(dir.read("variable.txt"));
            EXPECT_EQ(values["round"], std::to_string(r));
            EXPECT_EQ(values["k"], "3000");
            talk.answer("ok");
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        talk.kill9();
        auto values = WholeSettings(dir.read("variable.txt"));
        ASSERT_FALSE(values.empty()) << dir.read("variable.txt");
        const int round = std::stoi(values["round"]);
        EXPECT_TRUE(round == rounds || round == rounds + 1) << round;
        EXPECT_LE(std::stoi(values["k"]), 3000);
    }
    // No wait at all: the sets still reach the disk while the loop runs.
    dir.write("code.txt", "[main]\nset,k,0\n[loop]\ncalculate,%k%+1\nset,k,%var1%\ngoto,[loop]\n");
    Conversation busy(dir.path());
    std::set<std::string> seen;
    EXPECT_TRUE(test::WaitFor([&] {
        seen.insert(WholeSettings(dir.read("variable.txt"))["k"]);
        return seen.size() >= 3;  // written again and again, not only at the end
    }));
}

// An exit section that never ends: the second request ends it at once, and the program
// with it. (A second signal before the first was taken ends the program by the signal.)
TEST(Console, SecondSignalEndsAnEndlessExitSection) {
    Console console;
    ProcessOptions o;
    o.signalAfterOutput = "waiting";
    o.signalAgainAfterOutput = "cleanup";
    o.signal = SIGINT;
    ProcessResult r = console.run(
        "[main]\ntext,,waiting\ntimer,wait,60\n[exit]\ntext,,cleanup\n[spin]\ngoto,[spin]\n", o);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.out, "waiting\ncleanup\n");
    EXPECT_EQ(r.status, 0);
}

// A folder name may hold a backslash on Linux: the program folder is used as given, and
// only the names a script writes get the Windows treatment.
TEST(Console, ProgramFolderWithABackslash) {
    ScriptDir parent;
    const std::string home = parent.file("a\\b");
    std::filesystem::create_directories(home + "/sub");
    std::ofstream(home + "/code.txt", std::ios::binary)
        << "[main]\nfileout,open,%programpath%sub\\out.txt\nfileout,write,kept\n"
           "fileout,close\ntext,,%var1%\nendcode\n";
    ProcessOptions o;
    o.env.push_back("VELMORA_HOME=" + home);
    ProcessResult r = RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora", "--console"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "OK\n");
    std::ifstream written(home + "/sub/out.txt");
    std::string text;
    std::getline(written, text);
    EXPECT_EQ(text, "kept");
}

TEST(Console, BookmarkArgument) {
    Console c;
    c.dir.write("variable.txt", "[default]\nbookmark=[b],0\n");
    ProcessResult r =
        c.run("[main]\ntext,,main\npause\n[b]\ntext,,at b\npause\n", {}, {"bookmark"});
    EXPECT_EQ(r.out, "at b\n");
}

TEST(Console, MissingScript) {
    ScriptDir empty;
    ProcessOptions o;
    o.env.push_back("VELMORA_HOME=" + empty.path());
    ProcessResult r = RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora", "--console"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ファイルが開けません " + empty.path() + "/code.txt"), std::string::npos);
}

TEST(Console, Options) {
    const std::string exe = std::string(VELMORA_BIN_DIR) + "/velmora";
    ProcessResult v = RunProcess({exe, "--version"}, {});
    EXPECT_EQ(v.out, "1.0\n");
    EXPECT_EQ(v.status, 0);
    ProcessResult h = RunProcess({exe, "--help"}, {});
    EXPECT_NE(h.out.find("--console"), std::string::npos);
    // Every variable the program reads is named once, in --help and in the man page.
    std::ifstream manFile(std::string(VELMORA_SOURCE_DIR) + "/docs/velmora.1");
    const std::string man((std::istreambuf_iterator<char>(manFile)), {});
    for (const std::string name :
         {"VELMORA_HOME", "VELMORA_WEB_PORT", "SSL_CERT_FILE", "DISPLAY", "WAYLAND_DISPLAY",
          "QT_QPA_PLATFORM", "QT_IM_MODULE", "QT_SCALE_FACTOR", "XDG_CONFIG_HOME"}) {
        auto entries = [&](const std::string& text, const std::string& mark) {
            int n = 0;
            for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(entries(h.out, "\n  " + name + " "), 1) << name;
        EXPECT_EQ(entries(man, "\n.B " + name + "\n"), 1) << name;
    }
    ProcessResult bad = RunProcess({exe, "--frobnicate"}, {});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown option --frobnicate"), std::string::npos);
}

TEST(Console, ProgramPathFromTheEnvironment) {
    {
        test::ScopedEnv home("VELMORA_HOME", "/some/where");
        EXPECT_EQ(FindProgramPath("x"), "/some/where/");
    }
    test::ScopedEnv noHome("VELMORA_HOME", nullptr);
    std::string own = FindProgramPath("x");
    EXPECT_EQ(own.back(), '/');
    EXPECT_NE(own, "/some/where/");
}

}  // namespace
}  // namespace velmora
