// sixnet loaded through the real host: the six functions, injected version records,
// the open-file dialog in a Qt application and on a terminal, and the programs started.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "env_guard.h"
#include "fake_frontend.h"
#include "host/plugin_host.h"
#include "plugin_fixture.h"
#include "process.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// Replaces standard input for the lifetime of the object.
class ScopedStdin {
public:
    explicit ScopedStdin(int fd) : saved_(dup(STDIN_FILENO)) { dup2(fd, STDIN_FILENO); }
    ~ScopedStdin() {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

// What getip should answer, found independently of the plug-in.
// A numeric host name: getip answers it without any name look-up.
constexpr const char* kHostAddress = "192.0.2.7";

bool SocketWorks(int family) {
    int fd = socket(family, SOCK_STREAM, 0);
    if (fd >= 0) close(fd);
    return fd >= 0;
}

class SixnetTest : public ::testing::Test {
protected:
    SixnetTest() {
        Link(VELMORA_SIXNET, dir.file("sixnet.so"));
        fe.engine = &engine;
        engine.setProgramPath(dir.programPath());
        Run("dll,load,sixnet.dll,six");
        EXPECT_EQ(Var(kVar1), "OK");
    }

    void Run(const std::string& line) { RunLine(engine, line); }
    std::string& Var(int index) { return engine.vars[index]; }

    // A shell script that writes its arguments into `marker` when started.
    void WriteRecorder(const std::string& name, const std::string& marker) {
        dir.writeBytes(name, "#!/bin/sh\necho \"$@\" > '" + dir.programPath() + marker +
                                 ".tmp'\nmv '" + dir.programPath() + marker + ".tmp' '" +
                                 dir.programPath() + marker + "'\n");
        chmod((dir.programPath() + name).c_str(), 0755);
    }
    // The arguments a started recorder wrote, once it has run.
    std::string WaitForMarker(const std::string& marker) {
        for (int i = 0; i < 400 && !std::filesystem::exists(dir.programPath() + marker); ++i)
            std::this_thread::sleep_for(25ms);
        return dir.read(marker);
    }

    ScriptDir dir;
    FakeFrontend fe;
    Engine engine{fe};
    PluginHost host{engine};
};

TEST_F(SixnetTest, OsverNamesInjectedRecords) {
    struct Case {
        const char* record;  // nullptr: the running system
        const char* var1;
        const char* var2;  // "before" when left alone
        const char* var3;
    };
    const Case cases[] = {
        {"2,5,0,2195,Service Pack 4", "Windows 2000", "Service Pack 4", "4"},
        {"2,5,0,2195,Service Pack 3", "Windows 2000", "Service Pack 3", "3"},
        {"2,5,0,2195,", "Windows 2000", "before", "0"},
        {"2,5,1,2600,Service Pack 2", "Windows XP", "Service Pack 2", "2"},
        {"2,5,1,2600", "Windows XP", "before", "0"},
        {"2,5,1,2600,Service Pack 10", "Windows XP", "Service Pack 10", "10"},
        {"2,6,0,6000,Service Pack 1", "Unknown OS", "Service Pack 1", "1"},
        {"2,5,2,3790,", "Unknown OS", "before", "0"},
        {"1,4,10,2222,A", "Unknown OS", "before", "before"},  // not of the NT family
        {"2,5", "NG", "before", "before"},                    // unreadable record
        {"", "NG", "before", "before"},
        {nullptr, "Unknown OS", "before", "before"},  // Linux
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record ? c.record : "system");
        std::optional<ScopedEnv> env;
        if (c.record) env.emplace("VELMORA_SIXNET_OSVERSION", c.record);
        Var(kVar1) = Var(kVar2) = Var(kVar3) = "before";
        Run("dll,call,six,osver");
        EXPECT_EQ(Var(kVar1), c.var1);
        EXPECT_EQ(Var(kVar2), c.var2);
        EXPECT_EQ(Var(kVar3), c.var3);
    }
    EXPECT_TRUE(fe.messages.empty());
}

TEST_F(SixnetTest, FunctionNamesAreCaseSensitive) {
    Run("dll,call,six,OSVER");
    ASSERT_EQ(fe.messages.size(), 1u);
    EXPECT_EQ(fe.messages[0], Utf8ToCp932("DLLエラー：関数が見つかりません six/OSVER"));
    EXPECT_FALSE(engine.running);
}

TEST_F(SixnetTest, GetipAnswersTheHostNamesFirstIpv4Address) {
    ScopedEnv host("VELMORA_SIXNET_HOSTNAME", kHostAddress);
    Var(kVar2) = Var(kVar3) = "before";
    Run("dll,call,six,getip");
    EXPECT_EQ(Var(kVar1), kHostAddress);
    EXPECT_EQ(Var(kVar2), "before");
    EXPECT_EQ(Var(kVar3), "before");
}

TEST_F(SixnetTest, GetprotoPrefersIpv6WhenASocketCanBeMade) {
    const char* expected = SocketWorks(AF_INET6)  ? "AF_INET6"
                           : SocketWorks(AF_INET) ? "AF_INET"
                                                  : "NG";
    Run("dll,call,six,getproto");
    EXPECT_EQ(Var(kVar1), expected);
}

TEST_F(SixnetTest, Setup2StartsTheProgramWithDashX) {
    WriteRecorder("setup.sh", "args");
    const std::string program = dir.programPath() + "setup.sh";
    // As the argument, and as a fourth parameter left by an earlier line.
    for (const Lines& lines : {Lines{"dll,call,six,2ksetup2," + program},
                               Lines{"set,x,y,z," + program, "dll,call,six,2ksetup2"}}) {
        SCOPED_TRACE(lines.back());
        std::filesystem::remove(dir.file("args"));
        for (const std::string& line : lines) Run(line);
        EXPECT_EQ(Var(kVar1), "OK");
        EXPECT_EQ(WaitForMarker("args"), "-x\n");
    }
}

TEST_F(SixnetTest, Setup2WithoutAProgramAnswersNg) {
    Run("dll,call,six,2ksetup2,");
    EXPECT_EQ(Var(kVar1), "NG");
}

TEST_F(SixnetTest, Setup2OpensOtherFilesWithXdgOpen) {
    // A private xdg-open on PATH records what it was asked to open.
    std::filesystem::create_directory(dir.programPath() + "bin");
    WriteRecorder("bin/xdg-open", "opened");
    ScopedEnv path("PATH", dir.programPath() + "bin:" + getenv("PATH"));
    dir.writeBytes("readme.txt", "not a program");
    Run("dll,call,six,2ksetup2," + dir.programPath() + "readme.txt");
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(WaitForMarker("opened"), dir.programPath() + "readme.txt\n");
}

class HotfixTest : public SixnetTest {
protected:
    HotfixTest() {
        std::filesystem::create_directory(dir.programPath() + "fix");
        WriteRecorder("fix/hotfix.exe", "started");
    }
    std::string Target() const { return dir.programPath() + "fix/Q123456_W2K.exe"; }
};

TEST_F(HotfixTest, WritesTheServicePackLevelThenStartsHotfixExe) {
    struct Case {
        const char* name;
        const char* record;
        const char* before;
        const char* after;
    };
    const char* sp4 = "2,5,0,2195,Service Pack 4";
    const Case cases[] = {
        {"service pack 3", "2,5,0,2195,Service Pack 3", "[Version]\r\n",
         "[Version]\r\nNtServicePackVersion=768\r\n"},
        {"XP without a service pack", "2,5,1,2600,", "[Version]\nNtServicePackVersion=512\n",
         "[Version]\nNtServicePackVersion=0\n"},
        {"value replaced, case of names ignored, CR LF kept", sp4,
         "; fix\r\n[version]\r\nSignature=\"$Windows NT$\"\r\n ntservicepackversion = 3\r\n\r\n"
         "[Strings]\r\nName=fix\r\n",
         "; fix\r\n[version]\r\nSignature=\"$Windows NT$\"\r\nntservicepackversion=1024\r\n\r\n"
         "[Strings]\r\nName=fix\r\n"},
        {"key added after the section's last entry", sp4,
         "[Version]\nSignature=x\n\n[Strings]\nNtServicePackVersion=9\n",
         "[Version]\nSignature=x\nNtServicePackVersion=1024\n\n[Strings]\nNtServicePackVersion="
         "9\n"},
        {"section added at the end", sp4, "[Strings]\nName=fix",
         "[Strings]\nName=fix\n[Version]\n"
         "NtServicePackVersion=1024\n"},
        {"empty file", sp4, "", "[Version]\r\nNtServicePackVersion=1024\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv record("VELMORA_SIXNET_OSVERSION", c.record);
        std::filesystem::remove(dir.file("started"));
        dir.writeBytes("fix/hotfix.inf", c.before);
        Run("dll,call,six,2ksetup3," + Target());
        EXPECT_EQ(Var(kVar1), "OK");
        EXPECT_EQ(dir.read("fix/hotfix.inf"), c.after);
        EXPECT_EQ(WaitForMarker("started"), "\n");  // no arguments
    }
}

TEST_F(HotfixTest, WritesThroughALinkedHotfixInf) {
    ScopedEnv record("VELMORA_SIXNET_OSVERSION", "2,5,0,2195,Service Pack 4");
    dir.writeBytes("shared.inf", "[Version]\n");
    std::filesystem::create_symlink("../shared.inf", dir.file("fix/hotfix.inf"));
    Run("dll,call,six,2ksetup3," + Target());
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("fix/hotfix.inf")));
    EXPECT_EQ(dir.read("shared.inf"), "[Version]\nNtServicePackVersion=1024\n");
    EXPECT_EQ(WaitForMarker("started"), "\n");
}

TEST_F(HotfixTest, AnswersNgAndStartsNothing) {
    struct Case {
        const char* name;
        const char* record;  // nullptr: the running system
        bool inf;
        std::string line;
    };
    const Case cases[] = {
        {"no hotfix.inf", "2,5,0,2195,Service Pack 4", false, "dll,call,six,2ksetup3," + Target()},
        {"no argument", "2,5,0,2195,Service Pack 4", true, "dll,call,six,2ksetup3,"},
        {"no service pack level on Linux", nullptr, true, "dll,call,six,2ksetup3," + Target()},
        {"unreadable record", "bad", true, "dll,call,six,2ksetup3," + Target()},
    };
    // Every start of hotfix.exe adds the record it saw to the log.
    dir.writeBytes("fix/hotfix.exe",
                   "#!/bin/sh\necho \"$VELMORA_SIXNET_OSVERSION\" >> '" + dir.file("log") + "'\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.programPath() + "fix/hotfix.inf");
        if (c.inf) dir.writeBytes("fix/hotfix.inf", "[Version]\r\n");
        std::optional<ScopedEnv> env;
        if (c.record) env.emplace("VELMORA_SIXNET_OSVERSION", c.record);
        Var(kVar3) = "4";  // a stale level from an earlier command must not be written
        Run(c.line);
        EXPECT_EQ(Var(kVar1), "NG");
        EXPECT_EQ(std::filesystem::exists(dir.programPath() + "fix/hotfix.inf"), c.inf);
        if (c.inf) {
            EXPECT_EQ(dir.read("fix/hotfix.inf"), "[Version]\r\n");
        }
    }
    // A start that must happen shows the ones above are over: a program wrongly started
    // there began earlier and would have logged before it.
    ScopedEnv record("VELMORA_SIXNET_OSVERSION", "2,5,1,2600,Service Pack 2");
    dir.writeBytes("fix/hotfix.inf", "[Version]\r\n");
    Run("dll,call,six,2ksetup3," + Target());
    ASSERT_EQ(Var(kVar1), "OK");
    ASSERT_TRUE(WaitFor([&] { return dir.read("log").find('\n') != std::string::npos; }));
    EXPECT_EQ(dir.read("log"), "2,5,1,2600,Service Pack 2\n");
}

// The application a window front end would run, for the open-file dialog.
class DialogTest : public SixnetTest {
protected:
    DialogTest() : app(argc, argv) { mainWindow.show(); }

    // Acts on the open-file dialog once it is showing.
    void OnDialog(std::function<void(QFileDialog*)> act) {
        QObject::connect(&poll, &QTimer::timeout, [this, act] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                poll.stop();
                act(d);
            }
        });
        poll.start(10);
    }

    int argc = 1;
    char arg0[8] = "tests";
    char* argv[2] = {arg0, nullptr};
    QApplication app;
    QWidget mainWindow;
    QTimer poll;
};

TEST_F(DialogTest, Setup1AnswersThePickedFileWithTheDefaultSuffix) {
    QWidget* owner = nullptr;
    OnDialog([&](QFileDialog* d) {
        owner = d->parentWidget();
        d->selectFile(QString::fromStdString(dir.programPath() + "mysetup"));
        QMetaObject::invokeMethod(d, "accept");  // the OK button's slot
    });
    Run("dll,call,six,2ksetup1");
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(Var(kVar2), dir.programPath() + "mysetup.exe");
    EXPECT_EQ(owner, &mainWindow);
}

TEST_F(DialogTest, Setup1OffersSetupExeAndCancelKeepsVar2) {
    Var(kVar2) = "kept";
    QStringList offered;
    OnDialog([&](QFileDialog* d) {
        offered = d->selectedFiles();
        d->reject();
    });
    Run("dll,call,six,2ksetup1");
    // In the folder the dialog shows first: the current one, or the last one visited.
    ASSERT_EQ(offered.size(), 1);
    EXPECT_EQ(QFileInfo(offered[0]).fileName(), "setup.exe");
    EXPECT_EQ(Var(kVar1), "NG");
    EXPECT_EQ(Var(kVar2), "kept");
}

TEST_F(DialogTest, ClosingTheProgramDuringTheDialogIsSafe) {
    OnDialog([this](QFileDialog* d) {
        engine.Shutdown();  // the close box, handled inside the dialog's loop
        d->reject();
    });
    Run("dll,call,six,2ksetup1");
    EXPECT_EQ(Var(kVar1), "NG");
    EXPECT_EQ(host.first(), nullptr);
    EXPECT_FALSE(IsMapped(VELMORA_SIXNET));
}

// Without a Qt application the question goes to the terminal.
class TerminalTest : public SixnetTest {
protected:
    TerminalTest() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~TerminalTest() override {
        if (terminal >= 0) close(terminal);
        if (master >= 0) close(master);
    }
    void Type(const std::string& keys) {
        ASSERT_EQ(write(master, keys.data(), keys.size()), (ssize_t)keys.size());
    }

    int master = -1, terminal = -1;
};

TEST_F(TerminalTest, Setup1ReadsTheNameFromTheTerminal) {
    ASSERT_GE(terminal, 0);
    struct Case {
        const char* typed;
        std::string chosen;
    };
    std::string cwd = std::filesystem::current_path().string() + "/";
    const Case cases[] = {
        {"\n", cwd + "setup.exe"},
        {"other\n", cwd + "other.exe"},
        {"/opt/ipv6/install.sh\n", "/opt/ipv6/install.sh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ScopedStdin in(terminal);
        Type(c.typed);
        Run("dll,call,six,2ksetup1");
        EXPECT_EQ(Var(kVar1), "OK");
        EXPECT_EQ(Var(kVar2), c.chosen);
    }
}

TEST_F(TerminalTest, Setup1EndOfInputCancels) {
    ASSERT_GE(terminal, 0);
    ScopedStdin in(terminal);
    Var(kVar2) = "kept";
    Type("\x04");  // Ctrl-D on an empty line
    Run("dll,call,six,2ksetup1");
    EXPECT_EQ(Var(kVar1), "NG");
    EXPECT_EQ(Var(kVar2), "kept");
}

// Standard error is the script's own; the note is only for someone tracing the run.
TEST_F(TerminalTest, Setup1WithoutATerminalCancelsAtOnce) {
    int null = open("/dev/null", O_RDONLY);
    ScopedStdin in(null);
    for (bool tracing : {false, true}) {
        std::optional<ScopedEnv> trace;
        if (tracing) trace.emplace(kTraceEnvironment, "1");
        testing::internal::CaptureStderr();
        Run("dll,call,six,2ksetup1");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Var(kVar1), "NG");
        EXPECT_EQ(err.find("no terminal") != std::string::npos, tracing) << err;
    }
    close(null);
}

TEST_F(SixnetTest, UnloadAndReloadGiveInitTheRecordsAgain) {
    Run("dll,unload,six");
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_FALSE(IsMapped(VELMORA_SIXNET));
    Run("dll,load,sixnet.dll,six");
    ScopedEnv record("VELMORA_SIXNET_OSVERSION", "2,5,1,2600,Service Pack 1");
    Run("dll,call,six,osver");
    EXPECT_EQ(Var(kVar1), "Windows XP");
}

// The sample script in examples/, run by the real program on the console.
TEST(SampleScriptTest, ReportsTheMachinesIpv6Readiness) {
    struct Case {
        const char* record;  // empty: the running system
        const char* system;
    };
    const Case cases[] = {
        {"", "Unknown OS "},
        {"2,5,0,2195,Service Pack 4", "Windows 2000 Service Pack 4"},
        {"2,5,1,2600,", "Windows XP "},
    };
    std::string ipv6 = SocketWorks(AF_INET6)  ? "ready (the socket layer accepts IPv6)"
                       : SocketWorks(AF_INET) ? "not available (IPv4 only)"
                                              : "no protocol answered";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system);
        ScriptDir home;
        std::filesystem::copy_file(VELMORA_SOURCE_DIR "/examples/ipv6-readiness/code.txt",
                                   home.file("code.txt"));
        Link(VELMORA_SIXNET, home.file("sixnet.so"));
        ProcessOptions options;
        options.env = {"VELMORA_HOME=" + home.path(),
                       std::string("VELMORA_SIXNET_HOSTNAME=") + kHostAddress};
        if (*c.record) options.env.push_back(std::string("VELMORA_SIXNET_OSVERSION=") + c.record);
        ProcessResult result = RunProcess({VELMORA_EXE, "--console"}, options);
        ASSERT_EQ(result.status, 0) << result.err;

        std::vector<std::string> expected{std::string("System: ") + c.system,
                                          "IPv4 address: " + std::string(kHostAddress),
                                          "IPv6: " + ipv6};
        if (std::string(c.system).rfind("Windows 2000", 0) == 0)
            expected.push_back(
                "Windows 2000 needs the IPv6 set-up program (2ksetup1 and 2ksetup2) and its hot "
                "fix (2ksetup3).");
        std::string out;
        for (const std::string& line : expected) out += line + "\n";
        EXPECT_EQ(result.out, out);
    }
}

}  // namespace
}  // namespace velmora::test
