// `velmora --check` against a run, over every command family, and the checker's and
// the tracer's command-line side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/script_check.h"
#include "fake_frontend.h"
#include "process.h"
#include "script_dir.h"
#include "window/display.h"

namespace velmora {
namespace {

using test::ProcessOptions, test::ProcessResult, test::RunProcess, test::ScriptDir;

// A fake front end that also notes the line a message box was shown for: the line the
// message names, else the last line the trace saw run (a failed `usescript` has already
// left its line when it reports; a skip reads lines without running them).
struct StopFrontend : test::FakeFrontend {
    int lastLine = 0;
    std::vector<int> messageLines;
    void messageBox(const std::string& text) override {
        const size_t at = text.rfind("(line:");
        messageLines.push_back(at == std::string::npos ? lastLine : std::atoi(&text[at + 6]));
        FakeFrontend::messageBox(text);
    }
};

// Every subsystem's commands on one engine, as both front ends install them.
struct AllCommands {
    ScriptDir dir;
    StopFrontend fe;
    Engine engine{fe};
    Display display{engine};
    std::unique_ptr<Subsystems> subsystems;

    AllCommands() {
        fe.engine = &engine;
        engine.setTraceSink([this](const std::string& utf8) {
            if (utf8.compare(0, 9, "code.txt:") == 0) fe.lastLine = std::atoi(utf8.c_str() + 9);
        });
        ::setenv("VELMORA_WEB_PORT", "0", 1);  // any free port
        engine.setProgramPath(dir.programPath());
        display.layers.create();
        subsystems = std::make_unique<Subsystems>(engine, display);
    }
};

std::string WithFolder(std::string text, const std::string& folder) {
    for (size_t at; (at = text.find("$D")) != std::string::npos;) text.replace(at, 2, folder);
    return text;
}

// n loops inside each other, left by a jump from the innermost.
std::string NestedLoops(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "while,same,a,a\n";
    s += "goto,[out]\n";
    for (int i = 0; i < n; ++i) s += "endwhile\n";
    return s + "[out]";
}

std::string CallChain(int n) {
    std::string s = "subcode,[s1]\nendcode\n";
    for (int i = 1; i <= n; ++i)
        s += "[s" + std::to_string(i) + "]\n" +
             (i < n ? "subcode,[s" + std::to_string(i + 1) + "]\n" : std::string()) + "end\n";
    return s;
}

// Lines after "[main]"; the run and the checker must agree on whether, and on which
// line, the run stops with an error. `stops` keeps the agreement from being vacuous.
TEST(CheckAgreesWithRun, EveryCommandFamily) {
    struct Case {
        std::string lines;
        bool stops;
    } cases[] = {
        // The engine's own rows, conditions and nesting.
        {"set,x,1", false},
        {"set,a1,Slowly, with a book", false},  // a warning only
        {"set,x", true},
        {"frob,1", true},
        {"timer,wait", true},
        {"choice,3,1,a,b", true},
        {"if,cmp,1,=>,2\nendif", true},
        {"if,like,a,b\nendif", true},
        {"if,cmp,1,<\nendif", true},
        {"goto,[nowhere]", true},
        {"usescript,[s],missing.txt", true},
        {"usescript,[u],$D/code.txt\n[u]\nendcode", false},  // a name from "/" as written
        {"if,same,a,b\nelseif\nendif", true},
        {"goto,[in]\nif,same,a,a\n[in]\nset,x,1\nelse\nset,x,2\nendif", true},
        {"goto,[in]\nwhile,same,a,a\n[in]\nendwhile", true},
        {"goto,[in]\nif,same,a,a\n[in]\ngoto,[out]\nendif\n[out]", false},
        {"goto,[a/_b]\nendcode\n[a/_b]", true},
        {"goto,[a/_b]\nendcode\n[a/b]", false},
        {"set,a=b,1", true},
        {"set,[x,1", true},
        // `end` inside a loop of a subroutine called from a loop: the caller's loop
        // goes on to its end, and the line after it runs.
        {"set,n,0\nwhile,cmp,%n%,<,3\nsubcode,[s]\ncalculate,%n%+1\nset,n,%var1%\nendwhile\n"
         "frob\nendcode\n[s]\nwhile,same,a,a\nend\nendwhile",
         true},
        {NestedLoops(50), false},
        {NestedLoops(51), true},
        {CallChain(50), false},
        {CallChain(51), true},
        // web
        {"web,stop", false},
        {"web,strat", true},
        {"web", true},
        {"web,choice,2,1,q,a", true},
        // dll
        {"dll,unload,x", false},
        {"dll,LOAD,$D/missing.so,m", false},
        {"dll,lod,x.so,y", true},
        {"dll,call,a", true},
        {"dll,load", true},
        // filein and fileout; parameters are checked once a file is open
        {"filein,close\nfileout,close", false},
        {"filein,frob", true},
        {"fileout,READ,x", true},
        {"filein,open", true},
        {"filein,open,$D/code.txt\nfilein,read", true},
        {"fileout,open,$D/out.txt\nfileout,write", true},
        {"fileout,APPEND,$D/log.txt\nfileout,write,x", false},
        {"fileout,append", true},
        // image: "clear" as written; any other mode places a picture
        {"image,clear", false},
        {"image,x,$D/none.jpg,0,0", false},
        {"image,Clear,a.jpg", true},
        {"image", true},
        // the other families
        {"download,http://127.0.0.1:9/x", true},
        {"sendkey,some window", true},
        {"background", true},
        {"messagebox", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.substr(0, 60));
        AllCommands h;
        const std::string script = "[main]\n" + WithFolder(c.lines, h.dir.path()) + "\nendcode\n";
        h.dir.write("code.txt", script);

        std::vector<int> found;
        for (const Finding& f :
             CheckScript(h.engine, h.dir.file("code.txt"), h.dir.programPath(), "[main]"))
            if (f.severity == Severity::Error) found.push_back(f.line);

        // A web question waits even after its error; end whatever wait the run reaches.
        h.fe.events.push_back([](Engine& e) { e.Shutdown(); });
        h.engine.LoadSettings();
        h.engine.StartScript();
        if (!h.engine.exiting()) h.engine.Shutdown();

        EXPECT_EQ(!h.fe.messageLines.empty(), c.stops)
            << testing::PrintToString(h.fe.messagesUtf8());
        EXPECT_EQ(found, h.fe.messageLines);
    }
}

std::string Exe() {
    return std::string(VELMORA_BIN_DIR) + "/velmora";
}

TEST(CheckCommand, WithoutAFileChecksTheFolderARunUses) {
    ScriptDir dir;
    dir.write("code.txt", "[main]\ntext,,%programpath%\nfrob\n");
    ProcessOptions o;
    o.cwd = dir.path();
    // A folder made by --new: its launcher runs code.txt of the current folder.
    ProcessResult r = RunProcess({Exe(), "--check"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir.file("code.txt") + ":3: unknown command 'frob'\n");
    EXPECT_EQ(r.err, "velmora: checked " + dir.file("code.txt") + ": 1 finding\n");
    // The checker's own words follow the locale; the run's stay as they are.
    ProcessOptions ja = o;
    ja.env.push_back("LC_ALL=ja_JP.UTF-8");
    r = RunProcess({Exe(), "--check"}, ja);
    EXPECT_EQ(r.out, dir.file("code.txt") + ":3: 不明なコマンド 'frob'\n");
    EXPECT_EQ(r.err,
              "velmora: " + dir.file("code.txt") + " を検査しました：指摘 1 件、警告 0 件\n");

    ProcessResult run = RunProcess({Exe(), "--console"}, o);
    EXPECT_EQ(run.out, dir.path() + "/\n") << run.err;
    EXPECT_NE(run.err.find("frob"), std::string::npos) << run.err;

    // Neither folder holds a script: both say where they looked.
    ScriptDir empty;
    o.cwd = empty.path();
    for (const char* mode : {"--check", "--console"}) {
        ProcessResult none = RunProcess({Exe(), mode}, o);
        EXPECT_NE(none.err.find("current folder " + empty.path() + "/;"), std::string::npos)
            << none.err;
        EXPECT_NE(none.err.find("VELMORA_HOME"), std::string::npos) << none.err;
        EXPECT_EQ(none.status, 1);
    }

    // VELMORA_HOME names the program folder, as for a run.
    ScriptDir home;
    home.write("code.txt", "[main]\npause\n");
    o.env.push_back("VELMORA_HOME=" + home.path());
    r = RunProcess({Exe(), "--check"}, o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "velmora: checked " + home.file("code.txt") + ": 0 findings\n");
}

// The lines of standard error that belong to the trace (Qt may add its own notes);
// the loader's reasons, one per place searched, as one "dll: ..." line.
std::string TraceLines(const std::string& err) {
    std::string out;
    bool loaderSeen = false;
    for (size_t at = 0, end; at < err.size(); at = end + 1) {
        end = err.find('\n', at);
        if (end == std::string::npos) end = err.size();
        const std::string line = err.substr(at, end - at);
        if (line.rfind("dll: ", 0) == 0) {
            if (!loaderSeen) out += "dll: ...\n";
            loaderSeen = true;
        } else if (line.rfind("code.txt:", 0) == 0 || line.rfind("event: ", 0) == 0) {
            out += line + "\n";
        }
    }
    return out;
}

// Both front ends trace the lines they run, after expansion, and the events that move
// the script; the loader's reasons appear there and nowhere without --trace.
TEST(Trace, BothFrontEnds) {
    const std::string script =
        "[main]\nset,who,world\ntext,,hello %who%\ndll,load,missing.dll,m\n"
        "timer,wait,0,[late]\n[late]\nexit\n[exit]\nendcode\n";
    const std::string expected =
        "code.txt:2: set,who,world\n"
        "code.txt:3: text,,hello world\n"
        "code.txt:4: dll,load,missing.dll,m\n"
        "dll: ...\n"
        "code.txt:5: timer,wait,0,[late]\n"
        "event: timer expired, on at [late],0\n"
        "code.txt:7: exit\n"
        "event: shutdown\n"
        "code.txt:9: endcode\n";
    for (bool console : {true, false}) {
        SCOPED_TRACE(console ? "console" : "window");
        ScriptDir dir;
        dir.write("code.txt", script);
        ProcessOptions o;
        o.env.push_back("VELMORA_HOME=" + dir.path());
        o.env.push_back("QT_QPA_PLATFORM=offscreen");
        std::vector<std::string> argv{Exe()};
        if (console) argv.push_back("--console");
        ProcessResult quiet = RunProcess(argv, o);
        EXPECT_EQ(TraceLines(quiet.err), "") << quiet.err;
        argv.push_back("--trace");
        ProcessResult r = RunProcess(argv, o);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(TraceLines(r.err), expected) << r.err;
    }
}

}  // namespace
}  // namespace velmora
