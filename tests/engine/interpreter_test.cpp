// The interpreter loop, settings, values, timers, choices, input and shutdown.
#include <gtest/gtest.h>

#include <functional>

#include "engine_harness.h"

namespace velmora {
namespace {

using test::EngineHarness;
using Texts = std::vector<std::string>;

TEST(Interpreter, DefaultsWithoutVariableTxt) {
    EngineHarness h;
    h.run("[main]\npause\n");
    EXPECT_EQ(h.var("begin"), "[main]");
    EXPECT_EQ(h.var("title"), "すくりぷと実行中");
    EXPECT_EQ(h.var("text_pos"), "10,10,350,150");
    EXPECT_EQ(h.var("choice_pos6"), "20,150,320,170");
    EXPECT_EQ(h.var("webroot"), "c:/public_html");
    EXPECT_EQ(h.var("programver"), "1.0");
    EXPECT_EQ(h.var("programpath"), h.dir.programPath());
    EXPECT_EQ(Cp932ToUtf8(h.fe.titles.at(0)), "すくりぷと実行中");
    EXPECT_EQ(h.fe.skins, Texts{""});
}

TEST(Interpreter, SettingsLoadAreasAndCustomBegin) {
    EngineHarness h;
    h.dir.write("variable.txt",
                "[default]\nbegin=[start]\nbegin_pos=1,2,3\nexit_pos=0x10,010,30,40\n"
                "title=My title\n");
    h.run("[main]\ntext,,wrong\n[start]\ntext,,right\npause\n");
    EXPECT_EQ(h.texts(), Texts{"right"});
    EXPECT_EQ(h.engine.beginArea.right, 0);
    EXPECT_EQ(h.engine.exitArea.left, 16);
    EXPECT_EQ(h.engine.exitArea.top, 8);
    EXPECT_EQ(h.var("title"), "My title");
}

TEST(Interpreter, VariablesPersistAndBuiltinsAreCaseSensitive) {
    EngineHarness h;
    h.run(
        "[main]\nset,score,10\nset,var1,x\ntext,,[%VAR1%][%var1%]\nset,year,1999\n"
        "getdef,counter\ngetdef,mykey,abc\nsetdef,title,New\ntext,,%title%\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"[][x]", "すくりぷと実行中"}));
    EXPECT_EQ(h.var("score"), "10");
    EXPECT_NE(h.var("year"), "1999");
    EXPECT_EQ(h.var("counter"), "0");
    EXPECT_EQ(h.var("mykey"), "abc");
    std::string file = Cp932ToUtf8(h.dir.read("variable.txt"));
    EXPECT_NE(file.find("year=1999"), std::string::npos);
    EXPECT_NE(file.find("title=New"), std::string::npos);

    EngineHarness next;  // a new run of the program in the same folder
    next.dir.writeBytes("variable.txt", h.dir.read("variable.txt"));
    next.run("[main]\ntext,,%score%\npause\n");
    EXPECT_EQ(next.texts(), Texts{"10"});
}

TEST(Interpreter, ProgrampathMovesRelativeScriptNames) {
    EngineHarness h;
    h.dir.write("other.txt", "[start]\ntext,,other\npause\n");
    h.run("[main]\nusescript,[start],other.txt\n");
    EXPECT_EQ(h.texts(), Texts{"other"});

    EngineHarness moved;
    moved.run("[main]\nset,programpath,/nonexistent/\nusescript,[start],other.txt\n");
    EXPECT_EQ(moved.messages(),
              Texts{"コードファイルオープンエラー　ファイルが開けません /nonexistent/other.txt"});
}

TEST(Interpreter, UsescriptAloneRestartsAtBegin) {
    EngineHarness h;
    h.run("[main]\nif,same,%var2%,\nset,var2,again\nusescript\nendif\ntext,,%var2%\npause\n");
    EXPECT_EQ(h.texts(), Texts{"again"});
}

TEST(Interpreter, UnknownCommandStopsWithItsLine) {
    EngineHarness h;
    h.run("[main]\n\ntext,,a\nfrobnicate,1\ntext,,b\n");
    EXPECT_EQ(h.messages(), Texts{"コードエラー：不明なコード frobnicate (line:4)"});
    EXPECT_EQ(h.texts(), Texts{"a"});
    EXPECT_TRUE(h.engine.errorShown());
}

TEST(Interpreter, DoubleByteCommandWordsAndNamesKeepTheirCharacters) {
    EngineHarness h;
    // ア is 83 41 and ヂ 83 61: the second bytes differ only as the letters A and a would.
    h.run("[main]\nset,ア,a\nset,ヂ,di\ntext,,%ア%%ヂ%\nアイ,x\n");
    EXPECT_EQ(h.texts(), Texts{"adi"});
    EXPECT_EQ(h.messages(), Texts{"コードエラー：不明なコード アイ (line:5)"});
}

// Delivers one event at the nth pump once the script is ready for it, whether that pump
// lies between reading a line and running it or after the line ran.
class EventAtPump : public test::FakeFrontend {
public:
    std::function<bool(Engine&)> ready;
    std::function<void(Engine&)> event;
    int at = 1;
    bool spun = false;  // the script ran on until the limit ended it

    void pumpOneMessage() override {
        if (event && ready(*engine) && --at == 0) {
            auto e = std::move(event);
            event = nullptr;
            e(*engine);
            return;
        }
        if (++pumps_ > kLimit && !engine->exiting()) {
            spun = true;
            engine->Shutdown();
            return;
        }
        FakeFrontend::pumpOneMessage();
    }

private:
    static constexpr int kLimit = 5000;
    int pumps_ = 0;
};

TEST(Interpreter, AnEventBetweenReadingAndRunningALineWins) {
    const auto always = [](Engine&) { return true; };
    const auto timerRuns = [](Engine& e) { return e.timerActive(); };
    const auto timer = [](Engine& e) { e.onScriptTimer(); };
    const auto signal = [](Engine& e) {
        e.running = false;
        e.Shutdown();
    };
    const auto close = [](Engine& e) { e.Shutdown(Confirm::Ask); };
    const auto restart = [](Engine& e) { e.restartFromBegin(); };
    const struct {
        const char* name;
        std::function<bool(Engine&)> ready;
        std::function<void(Engine&)> event;
        const char* script;
        Texts texts;
    } cases[] = {
        {"timer jump out of a goto loop",
         timerRuns,
         timer,
         "[main]\ntimer,start,1,[late]\n[loop]\ngoto,[loop]\n[late]\ntext,,late\npause\n",
         {"late"}},
        {"timer jump out of a counting while loop",
         timerRuns,
         timer,
         "[main]\ntimer,start,1,[late]\nset,i,0\nwhile,cmp,%i%,<,100000\ncalculate,%i%+1\n"
         "set,i,%var1%\nendwhile\ntext,,fell through\n[late]\ntext,,late\npause\n",
         {"late"}},
        {"signal in a loop without an exit section",
         always,
         signal,
         "[main]\n[loop]\ngoto,[loop]\n",
         {}},
        {"closing the window during a loop",
         always,
         close,
         "[main]\n[loop]\ngoto,[loop]\n[exit]\ntext,,bye\nendcode\n",
         {"bye"}},
        {"restart click during a loop",
         [](Engine& e) { return e.vars[kVar2] == "1"; },
         restart,
         "[main]\nif,same,%var2%,\nset,var2,1\n[loop]\ngoto,[loop]\nendif\ntext,,restarted\n"
         "pause\n",
         {"restarted"}},
    };
    for (const auto& c : cases) {
        // Every pump position over the loop's lines: half of them fall between read and run.
        for (int at = 1; at <= 12; ++at) {
            SCOPED_TRACE(std::string(c.name) + ", pump " + std::to_string(at));
            test::ScriptDir dir;
            EventAtPump fe;
            Engine engine(fe);
            fe.engine = &engine;
            fe.ready = c.ready;
            fe.event = c.event;
            fe.at = at;
            engine.setProgramPath(dir.programPath());
            dir.write("code.txt", c.script);
            engine.LoadSettings();
            engine.StartScript();
            if (!engine.exiting()) engine.Shutdown();
            EXPECT_FALSE(fe.spun);
            EXPECT_EQ(fe.messagesUtf8(), Texts{});
            Texts texts;
            for (const auto& t : fe.texts) texts.push_back(Cp932ToUtf8(t.substr(t.find('|') + 1)));
            EXPECT_EQ(texts, c.texts);
        }
    }
}

TEST(Interpreter, MissingStartLabel) {
    EngineHarness h;
    h.run("text,,never\n");
    EXPECT_EQ(h.messages(), Texts{"コードエラー：[main] が見つかりません"});
    EXPECT_TRUE(h.texts().empty());
}

TEST(Interpreter, MissingScriptShutsDownAndCloses) {
    EngineHarness h;
    h.engine.LoadSettings();
    h.engine.StartScript();
    EXPECT_TRUE(h.engine.exiting());
    EXPECT_EQ(h.fe.closeRequests, 1);
    // One message: shutdown does not report the missing file a second time.
    EXPECT_EQ(h.messages().size(), 1u);
}

TEST(Interpreter, RandomIsRepeatableAndBounded) {
    EngineHarness a, b;
    const char* script =
        "[main]\nrandom,100\ntext,,%var1%\nrandom,100\ntext,,%var1%\n"
        "random,1\ntext,,%var1%\nrandom,0\ntext,,%var1%\nrandom,100000\n"
        "text,,%var1%\npause\n";
    a.run(script);
    b.run(script);
    ASSERT_EQ(a.texts().size(), 5u);
    EXPECT_EQ(a.texts(), b.texts());
    EXPECT_EQ(a.texts()[2], "0");
    EXPECT_EQ(a.texts()[3], "0");
    EXPECT_LT(std::stoi(a.texts()[4]), 32768);
    EXPECT_LT(std::stoi(a.texts()[0]), 100);
}

TEST(Interpreter, SleepWaitsAndNeverGoesNegative) {
    EngineHarness h;
    h.run("[main]\nsleep,2\nsleep,-5\npause\n");
    EXPECT_GE(h.fe.sleptMs, 2000);
    EXPECT_LT(h.fe.sleptMs, 2000 + 1000);  // only the loop's own short waits besides
}

TEST(Interpreter, TimerWaitJumpsAndSetsTimeout) {
    EngineHarness h;
    h.run(
        "[main]\ntimer,wait,2\ntext,,%var3%\ntimer,wait,1,[x]\ntext,,never\n[x]\ntext,,at x\n"
        "timer,Stop,1\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"timeout", "at x"}));
    EXPECT_EQ(h.fe.timerMs, 1000);  // 'Stop' is not the stop mode: it starts a timer
    // Once a timer has fired the script goes on without sleeping: each wait would
    // otherwise end late by the sleeps (the fake counts them, it does not sleep).
    EXPECT_LT(h.fe.sleptMs, 10);
}

TEST(Interpreter, TimerStopAndVar3Clearing) {
    EngineHarness h;
    h.run(
        "[main]\nset,var3,old\ntimer,start\ntext,,[%var3%]\ntimer,start,5\ntimer,stop,0\n"
        "text,,%var3%\npause\n");
    // The failed check still cleared var3 first; the error stopped the script.
    EXPECT_EQ(h.messages(), Texts{"コードエラー：パラメーターが足りません timer (line:3)"});
    EXPECT_EQ(h.var("var3"), "");
}

TEST(Interpreter, ChoiceDefaultsAndAnswers) {
    EngineHarness h;
    h.fe.events.push_back([](Engine& e) {
        EXPECT_TRUE(e.choice.active);
        EXPECT_EQ(e.vars[kChoiceSel], "3");
        EXPECT_EQ(e.vars[kChoiceText], "c");
        e.confirmChoice(2);
    });
    h.run(
        "[main]\nchoice,3,5,a,b,c\ntext,,%choice_sel%:%choice_text%\nchoice,7,1,x\n"
        "text,,ignored\nchoice,3,1,a,b\ntext,,never\n");
    EXPECT_EQ(h.texts(), (Texts{"2:b", "ignored"}));
    EXPECT_EQ(h.messages(), Texts{"コードエラー：パラメーターが足りません choice (line:6)"});
    EXPECT_EQ(h.fe.choiceDraws, 1);
}

TEST(Interpreter, TimerEndsAChoiceWithItsDefault) {
    EngineHarness h;
    h.run(
        "[main]\ntimer,start,10,[late]\nchoice,2,2,yes,no\ntext,,answered\n[late]\n"
        "text,,%var3% %choice_sel% %choice_text%\npause\n");
    EXPECT_EQ(h.texts(), Texts{"timeout 2 no"});
    EXPECT_FALSE(h.engine.choice.active);
}

TEST(Interpreter, InputStoresTheAnswerOrNothing) {
    EngineHarness h;
    h.fe.inputAnswers = {std::string("Taro"), std::nullopt};
    h.run("[main]\ninput,Name?\ntext,,[%var1%]\ninput,Again?\ntext,,[%var1%]\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"[Taro]", "[]"}));
    EXPECT_EQ(h.fe.prompts.size(), 2u);
}

TEST(Interpreter, ExitRunsTheExitSectionOnce) {
    EngineHarness h;
    h.run("[main]\ntext,,main\nexit\ntext,,never\n[exit]\ntext,,bye\nexit\n");
    EXPECT_EQ(h.texts(), (Texts{"main", "bye"}));
    EXPECT_EQ(h.fe.closeRequests, 2);
    EXPECT_EQ(h.fe.displayReleases, 1);
    EXPECT_TRUE(h.fe.questions.empty());
}

TEST(Interpreter, ShutdownAsksOnceAndCanBeDeclined) {
    EngineHarness h;
    h.dir.write("code.txt", "[main]\npause\n[exit]\ntext,,bye\npause\n");
    h.engine.LoadSettings();
    h.fe.okAnswers = {false};
    EXPECT_FALSE(h.engine.Shutdown(Confirm::Ask));
    EXPECT_FALSE(h.engine.exiting());
    EXPECT_TRUE(h.engine.Shutdown(Confirm::Ask));
    EXPECT_TRUE(h.engine.Shutdown(Confirm::Ask));
    EXPECT_EQ(h.fe.questions.size(), 2u);
    EXPECT_EQ(h.texts(), Texts{"bye"});
}

TEST(Interpreter, RestartFromBeginReloadsSettings) {
    EngineHarness h;
    h.fe.events.push_back([&](Engine& e) {
        h.dir.write("variable.txt", "[default]\nbegin=[second]\n");
        e.restartFromBegin();
    });
    h.run("[main]\ntext,,first\npause\n[second]\ntext,,second\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"first", "second"}));
}

TEST(Interpreter, TextTitleClearMessagebox) {
    EngineHarness h;
    h.run("[main]\ntext,CLEAR,a\ntitle,\ntitle,Mine\nclear\nmessagebox,hello\npause\n");
    EXPECT_EQ(h.fe.texts, Texts{"clear|a"});
    ASSERT_EQ(h.fe.titles.size(), 3u);
    EXPECT_EQ(Cp932ToUtf8(h.fe.titles[1]), "すくりぷと実行中");
    EXPECT_EQ(h.fe.titles[2], "Mine");
    EXPECT_EQ(h.fe.clears, 1);
    EXPECT_EQ(h.messages(), Texts{"hello"});
    EXPECT_FALSE(h.engine.errorShown());
}

TEST(Interpreter, CalculateStoresResults) {
    EngineHarness h;
    h.run("[main]\ncalculate,2*(3+4)\ntext,,%var1%\ncalculatef,1/4\ntext,,%var1%\npause\n");
    EXPECT_EQ(h.texts(), (Texts{"14", "0.250000"}));
}

}  // namespace
}  // namespace velmora
