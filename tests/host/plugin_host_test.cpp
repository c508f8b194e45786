// The `dll` command through a real engine and real shared libraries: loading, calling,
// unloading, every failure text, and the release at shutdown.
#include "host/plugin_host.h"

#include <gtest/gtest.h>

#include "fake_frontend.h"
#include "plugin_fixture.h"
#include "script_dir.h"

namespace velmora::test {
namespace {

const char* const kPlugins[] = {"recorder", "nocall",  "initzero", "noinit",
                                "setvar",   "refuser", "reenter",  "thrower"};

class PluginHostTest : public ::testing::Test {
protected:
    PluginHostTest() {
        for (const char* name : kPlugins)
            Link(std::string(VELMORA_TEST_PLUGIN_DIR) + "/" + name + ".so",
                 dir.file(std::string(name) + ".so"));
        setenv("VELMORA_TEST_PLUGIN_LOG", (dir.programPath() + "log.txt").c_str(), 1);
        fe.engine = &engine;
        engine.setProgramPath(dir.programPath());
    }
    ~PluginHostTest() override { unsetenv("VELMORA_TEST_PLUGIN_LOG"); }

    void Run(std::initializer_list<const char*> lines) {
        for (const char* l : lines) RunLine(engine, l);
    }
    std::vector<std::string> Log() const { return ReadLines(dir.file("log.txt")); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const LoadedPlugin* p = host.first(); p; p = p->next) names.push_back(p->name);
        return names;
    }
    std::string Path(const char* name) const { return dir.programPath() + name + ".so"; }
    std::string& Var(int index) { return engine.vars[index]; }
    static std::string Cp(const std::string& utf8) { return Utf8ToCp932(utf8); }

    ScriptDir dir;
    FakeFrontend fe;
    Engine engine{fe};
    PluginHost host{engine};
};

using Lines = std::vector<std::string>;

TEST_F(PluginHostTest, LoadCallUnloadReachTheEntryPointsInOrder) {
    Var(kVar2) = "untouched";
    Run({"dll,load,recorder.dll,a"});
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(Var(kVar2), "untouched");
    Run({"dll,call,a,hello,arg4"});
    EXPECT_EQ(Var(kVar1), "recorded hello");  // written through the address given to Init
    Run({"dll,unload,a"});
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(Log(),
              (Lines{"recorder loaded", "recorder init", "recorder call hello p4=arg4 count=4",
                     "recorder remove", "recorder unloaded"}));
    EXPECT_EQ(host.first(), nullptr);
    EXPECT_TRUE(fe.messages.empty());
}

TEST_F(PluginHostTest, LoadFailuresSetNgAndTheirText) {
    struct Case {
        const char* line;
        std::string var2;  // UTF-8; "<dir>" stands for the program folder
    };
    const Case cases[] = {
        {"dll,load,missing.dll,m", "DLLロードエラー <dir>missing.dll"},
        {"dll,load,sub\\missing.so,m", "DLLロードエラー <dir>sub\\missing.so"},
        {"dll,load,C:\\x\\plug.dll,m", "DLLロードエラー C:\\x\\plug.dll"},  // used as written
        {"dll,load,noinit.dll,m", "DLLInit呼び出しエラー"},
        {"dll,load,initzero.dll,m", "DLLInitエラー"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Var(kVar2) = "before";
        Run({c.line});
        std::string expected = c.var2;
        if (auto at = expected.find("<dir>"); at != std::string::npos)
            expected.replace(at, 5, dir.programPath());
        EXPECT_EQ(Var(kVar1), "NG");
        EXPECT_EQ(Var(kVar2), Cp(expected));
        EXPECT_EQ(host.first(), nullptr);
    }
    EXPECT_TRUE(fe.messages.empty());
    // Refused libraries are closed again and never see Remove.
    EXPECT_EQ(Log(), (Lines{"noinit loaded", "noinit unloaded", "initzero loaded", "initzero init",
                            "initzero unloaded"}));
}

TEST_F(PluginHostTest, PathsAbsoluteOrWithTheSoSuffixLoadAsWritten) {
    Run({("dll,load," + Path("recorder") + ",abs").c_str(), "dll,load,setvar.so,direct"});
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(Names(), (Lines{"abs", "direct"}));
}

TEST_F(PluginHostTest, SubCommandCaseIsIgnoredButNamesAreCaseSensitive) {
    Run({"dll,LoAd,recorder.dll,a", "dll,call,A,f"});
    EXPECT_EQ(Names(), Lines{"a"});
    ASSERT_EQ(fe.messages.size(), 1u);
    EXPECT_EQ(fe.messages[0], Cp("DLLエラー：関数が見つかりません A/f"));
    EXPECT_FALSE(engine.running);
    EXPECT_EQ(engine.line.p(1), "call");  // lower-cased in the line itself
}

TEST_F(PluginHostTest, SecondLoadUnderALoadedNameIsASuccessfulNoOp) {
    Run({"dll,load,recorder.dll,a", "dll,load,setvar.dll,a"});
    EXPECT_EQ(Var(kVar1), "OK");
    Run({"dll,call,a,which"});
    EXPECT_EQ(Var(kVar1), "recorded which");
    EXPECT_EQ(Log(),
              (Lines{"recorder loaded", "recorder init", "recorder call which p4= count=3"}));
}

TEST_F(PluginHostTest, UnloadOfAnUnknownNameAnswersNgQuietly) {
    Run({"dll,load,recorder.dll,a", "dll,unload,b"});
    EXPECT_EQ(Var(kVar1), "NG");
    EXPECT_TRUE(fe.messages.empty());
    EXPECT_TRUE(engine.running);
    EXPECT_EQ(Names(), Lines{"a"});
}

TEST_F(PluginHostTest, ReloadAfterUnloadCallsInitAgain) {
    Run({"dll,load,recorder.dll,a", "dll,unload,a", "dll,load,recorder.dll,a"});
    EXPECT_EQ(Var(kVar1), "OK");
    EXPECT_EQ(Log(), (Lines{"recorder loaded", "recorder init", "recorder remove",
                            "recorder unloaded", "recorder loaded", "recorder init"}));
}

TEST_F(PluginHostTest, UnloadingAnyRecordKeepsTheListLinked) {
    // first, middle and last of three
    for (const char* gone : {"a", "b", "c"}) {
        SCOPED_TRACE(gone);
        Run({"dll,load,recorder.dll,a", "dll,load,setvar.dll,b", "dll,load,nocall.dll,c"});
        Run({(std::string("dll,unload,") + gone).c_str()});
        Lines expected;
        for (const char* n : {"a", "b", "c"})
            if (std::string(n) != gone) expected.push_back(n);
        EXPECT_EQ(Names(), expected);
        const LoadedPlugin* p = host.first();
        EXPECT_EQ(p->previous, nullptr);
        EXPECT_EQ(p->next->previous, p);
        EXPECT_EQ(p->next->next, nullptr);
        for (const std::string& n : expected) {
            Run({("dll,call," + n + ",f").c_str()});
            EXPECT_TRUE(engine.running) << n;
        }
        host.releaseAll();
    }
    EXPECT_TRUE(fe.messages.empty());
}

TEST_F(PluginHostTest, OneLibraryUnderTwoNamesHasTwoReferences) {
    Run({"dll,load,recorder.dll,a", "dll,load,recorder.dll,b", "dll,unload,a"});
    EXPECT_TRUE(IsMapped(Path("recorder")));
    Run({"dll,call,b,still"});
    EXPECT_EQ(Var(kVar1), "recorded still");
    Run({"dll,unload,b"});
    EXPECT_FALSE(IsMapped(Path("recorder")));
}

TEST_F(PluginHostTest, CallLeavesExactlyWhatThePluginWrote) {
    Var(kVar2) = "two";
    Var(kVar3) = "three";
    Run({"dll,load,setvar.dll,s", "dll,call,s,f"});
    EXPECT_EQ(Var(kVar1), "set by plug-in for f");
    EXPECT_EQ(Var(kVar2), "two");
    EXPECT_EQ(Var(kVar3), "three");
}

TEST_F(PluginHostTest, CallOnAPluginWithoutCallChangesNothing) {
    Run({"dll,load,nocall.dll,n"});
    Var(kVar1) = "kept";
    Run({"dll,call,n,anything"});
    EXPECT_EQ(Var(kVar1), "kept");
    EXPECT_TRUE(engine.running);
    EXPECT_TRUE(fe.messages.empty());
}

TEST_F(PluginHostTest, RefusedFunctionIsReportedWithTheNameAsWritten) {
    Run({"dll,load,refuser.dll,r", "dll,call,r,original,x"});
    ASSERT_EQ(fe.messages.size(), 1u);
    // The plug-in changed its copy of the name; the script's text is untouched.
    EXPECT_EQ(fe.messages[0], Cp("DLLエラー：関数が見つかりません r/original"));
    EXPECT_EQ(engine.line.p(3), "original");
    EXPECT_FALSE(engine.running);
    EXPECT_TRUE(engine.errorShown());
    EXPECT_EQ(Log(), Lines{"refuser call changed by plug-in"});
}

TEST_F(PluginHostTest, ParameterFourMayBeLeftFromAnEarlierLine) {
    Run({"dll,load,recorder.dll,a,left", "dll,call,a,f"});
    EXPECT_EQ(Log().back(), "recorder call f p4=left count=3");
}

TEST_F(PluginHostTest, ScriptErrorsStopTheScript) {
    struct Case {
        const char* line;
        const char* message;  // UTF-8, "%i" is the line number
    };
    const Case cases[] = {
        {"dll,load", "コードエラー：パラメーターが足りません dll (line:%i)"},
        {"dll,load,x.dll", "コードエラー：パラメーターが足りません dll (line:%i)"},
        {"dll,call,a", "コードエラー：パラメーターが足りません dll (line:%i)"},
        {"dll,Unknown,a", "DLLエラー：不明なコマンドです unknown"},
        {"dll,call,nothing,f", "DLLエラー：関数が見つかりません nothing/f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fe.messages.clear();
        Run({c.line});
        ASSERT_EQ(fe.messages.size(), 1u);
        EXPECT_EQ(fe.messages[0], Cp(Format(c.message, engine.line.lineNumber)));
        EXPECT_FALSE(engine.running);
    }
}

// An exception from a plug-in answers NG with the reason in var2, unloads the plug-in
// and leaves the script and the program running.
TEST_F(PluginHostTest, AThrowingPluginIsUnloadedAndTheScriptGoesOn) {
    struct Case {
        std::initializer_list<const char*> lines;
        const char* var1;
        const char* var2;  // UTF-8
    };
    const Case cases[] = {
        {{"dll,load,thrower.dll,init"}, "NG", "DLLエラー：Init が例外で終わりました init failed"},
        {{"dll,load,thrower.dll,t", "dll,call,t,call"},
         "NG",
         "DLLエラー：Call が例外で終わりました exception"},
        {{"dll,load,thrower.dll,t", "dll,call,t,arm", "dll,unload,t"},
         "OK",
         "DLLエラー：Remove が例外で終わりました remove failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(*c.lines.begin());
        engine.running = true;
        Run(c.lines);
        EXPECT_EQ(Var(kVar1), c.var1);
        EXPECT_EQ(Var(kVar2), Cp(c.var2));
        EXPECT_EQ(host.first(), nullptr);
        EXPECT_FALSE(IsMapped(Path("thrower")));
        EXPECT_TRUE(engine.running);
        EXPECT_TRUE(fe.messages.empty());
    }
}

TEST_F(PluginHostTest, ShutdownReleasesEveryLibraryWithoutRemove) {
    Run({"dll,load,recorder.dll,a", "dll,load,nocall.dll,b"});
    engine.Shutdown();
    EXPECT_EQ(host.first(), nullptr);
    EXPECT_FALSE(IsMapped(Path("recorder")));
    EXPECT_FALSE(IsMapped(Path("nocall")));
    EXPECT_EQ(Log(), (Lines{"recorder loaded", "recorder init", "nocall loaded", "nocall init",
                            "recorder unloaded", "nocall unloaded"}));
}

TEST_F(PluginHostTest, ExitSectionStillReachesLoadedPlugins) {
    dir.writeBytes("code.txt",
                   "[main]\ndll,load,recorder.dll,a\nendcode\n[exit]\ndll,call,a,bye\n");
    engine.LoadSettings();
    engine.StartScript();
    EXPECT_TRUE(engine.exiting());
    EXPECT_EQ(Log(), (Lines{"recorder loaded", "recorder init", "recorder call bye p4= count=3",
                            "recorder unloaded"}));
}

// A plug-in that shows a dialog runs events inside its Call; one of them may unload the
// plug-in or close the program. Its code must stay mapped until the call returns.
class ReentryTest : public PluginHostTest, public ::testing::WithParamInterface<bool> {
protected:
    void Arm(void (*fn)(void*)) {
        Run({"dll,load,reenter.dll,r"});
        void* handle = dlopen(Path("reenter").c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(handle, nullptr);
        auto set = reinterpret_cast<void (*)(void (*)(void*), void*)>(dlsym(handle, "SetReentry"));
        set(fn, this);
        dlclose(handle);  // the host holds the only reference again
    }
    static void ShutDown(void* self) { static_cast<ReentryTest*>(self)->engine.Shutdown(); }
    static void UnloadSelf(void* self) { static_cast<ReentryTest*>(self)->host.Unload("r"); }
};

TEST_P(ReentryTest, LibraryIsClosedOnlyAfterItsCallReturns) {
    bool shutdown = GetParam();
    Arm(shutdown ? &ShutDown : &UnloadSelf);
    Run({"dll,call,r,f"});
    EXPECT_EQ(Var(kVar1), "returned from f");
    EXPECT_EQ(host.first(), nullptr);
    EXPECT_FALSE(IsMapped(Path("reenter")));
    Lines expected{"reenter loaded"};
    if (!shutdown) expected.push_back("reenter remove");
    expected.insert(expected.end(), {"reenter call done", "reenter unloaded"});
    EXPECT_EQ(Log(), expected);
}

INSTANTIATE_TEST_SUITE_P(UnloadOrShutdown, ReentryTest, ::testing::Bool());

}  // namespace
}  // namespace velmora::test
