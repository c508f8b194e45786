// The `web` command in a running script, through the engine and a fake front end: the
// questions a script asks through the browser, the answers that resume it, start-up
// results, errors, late answers and the server's life.
#include "net/web/module.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "fake_frontend.h"
#include "net_support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Get;
using test::Sj;

// Sleeps a little for real, so that waiting on the listener does not spin a core.
class WebFrontend : public test::FakeFrontend {
public:
    void sleepMs(int ms) override {
        FakeFrontend::sleepMs(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 2)));
    }
};

class ScriptRun {
public:
    // On port 0 the server takes a free port of the system's choosing: web.port().
    explicit ScriptRun(const char8_t* code, int port = 0) : web(engine, port) {
        dir.writeBytes("code.txt", Sj(code));
        dir.mkdir("root");
        dir.writeBytes("root/a.txt", "A");
        dir.mkdir("other");
        dir.writeBytes("other/a.txt", "B");
        fe.engine = &engine;
        engine.setProgramPath(dir.path() + "/");
        engine.LoadSettings();
    }
    ~ScriptRun() {
        if (!engine.exiting()) engine.Shutdown();
    }
    void run() {
        engine.StartScript();
        if (!engine.exiting()) engine.Shutdown();
    }
    // While the script waits: fetch a target, keep the response.
    void fetch(const std::string& target) {
        fe.events.push_back(
            [this, target](Engine&) { responses.push_back(Get(web.port(), target)); });
    }
    void shutDown() {
        fe.events.push_back([](Engine& e) { e.Shutdown(); });
    }
    std::string root() const { return dir.path() + "/root"; }

    test::TempDir dir;
    WebFrontend fe;
    Engine engine{fe};
    WebModule web;
    std::vector<std::string> responses;
};

std::string Found(const std::string& location) {
    return "HTTP/1.0 302 Moved Temporarily\nMIME-Version: 1.0\nServer: Quillon/1.0\nLocation: " +
           location + "\n\n";
}

TEST(WebModule, InputAnswersResumeTheScript) {
    struct Case {
        std::string query, var1, shown;
    } cases[] = {
        {"input=a+b%25c", "a b%c", "a b%c"},
        {"input=100%25%25", "100/per", "100%"},  // "/per" reads as "%" in a script line
        {"input=%A4%CA%A4%DE%A4%A8", Sj(u8"なまえ"), Sj(u8"なまえ")},              // EUC-JP
        {"input=%1B%24B%24J%24%5E%24%28%1B%28B", Sj(u8"なまえ"), Sj(u8"なまえ")},  // JIS
    };
    for (const auto& c : cases) {
        ScriptRun s(u8"[main]\nweb,input,名前は？\ntext,clear,%var1%\nweb,stop\npause\n");
        s.fetch("/favicon.ico");
        s.fetch("/input.cgi?" + c.query);
        s.run();
        ASSERT_EQ(s.responses.size(), 2u) << c.query;
        EXPECT_NE(s.responses[0].find(Sj(u8"<P>　名前は？<P><form")), std::string::npos);
        EXPECT_EQ(s.responses[1].rfind("HTTP/1.0 302 Moved Temporarily\n", 0), 0u);
        EXPECT_EQ(s.engine.vars[kVar1], c.var1) << c.query;
        EXPECT_EQ(s.web.webInputAnswer(), c.var1);
        EXPECT_EQ(s.fe.texts, std::vector<std::string>{"clear|" + c.shown}) << c.query;
        EXPECT_TRUE(s.fe.messages.empty());
        EXPECT_FALSE(s.web.serverRunning());
    }
}

TEST(WebModule, ChoiceAnswersResumeTheScript) {
    ScriptRun s(
        u8"[main]\nweb,choice,3,2,どれ？,りんご,みかん,ぶどう\n"
        u8"text,clear,%choice_sel%:%choice_text%\nweb,stop\npause\n");
    s.fetch("/");
    s.fetch("/input.cgi?choice=9");
    s.run();
    ASSERT_EQ(s.responses.size(), 2u);
    EXPECT_NE(s.responses[0].find(Sj(u8"value=\"2\" checked>みかん<BR>")), std::string::npos);
    EXPECT_NE(s.responses[0].find(Sj(u8"value=\"3\">ぶどう<BR>")), std::string::npos);
    EXPECT_EQ(s.responses[1], Found("input.cgi?prevc=9"));
    EXPECT_EQ(s.fe.texts, std::vector<std::string>{"clear|" + Sj(u8"3:ぶどう")});
    EXPECT_EQ(s.engine.choice.highlighted, 3);
    EXPECT_EQ(s.engine.choice.count, 3);
    EXPECT_FALSE(s.engine.choice.active);  // the window's choices were never shown
}

TEST(WebModule, ChoiceSetsTheDefaultBeforeTheAnswer) {
    ScriptRun s(u8"[main]\nweb,choice,3,7,p,a,b,c\n");
    s.shutDown();
    s.run();
    EXPECT_EQ(s.engine.vars[kChoiceSel], "3");  // the default is clamped to the count
    EXPECT_EQ(s.engine.vars[kChoiceText], "c");
    WebSnapshot st = s.web.state();
    EXPECT_EQ(st.pages.choiceSelected, 3);
    EXPECT_EQ(st.pages.choicePrompt, "p");
}

TEST(WebModule, ChoiceCountAboveSixUsesSix) {
    ScriptRun s(
        u8"[main]\nweb,choice,9,1,p,a,b,c,d,e,f,g,h\ntext,clear,%choice_sel%%choice_text%\n"
        u8"web,stop\npause\n");
    s.fetch("/");
    s.fetch("/input.cgi?choice=8");
    s.run();
    ASSERT_EQ(s.responses.size(), 2u);
    EXPECT_NE(s.responses[0].find("value=\"6\">f<BR>"), std::string::npos);
    EXPECT_EQ(s.responses[0].find("value=\"7\""), std::string::npos);
    EXPECT_EQ(s.fe.texts, std::vector<std::string>{"clear|6f"});
    EXPECT_EQ(s.engine.choice.count, 6);
}

TEST(WebModule, ChoiceWithTooFewLabelsStopsTheScript) {
    ScriptRun s(u8"[main]\nweb,choice,3,1,p,a\ntext,clear,never\n");
    s.fetch("/");
    s.shutDown();
    s.run();
    ASSERT_EQ(s.fe.messagesUtf8().size(), 1u);
    EXPECT_EQ(s.fe.messagesUtf8()[0], "コードエラー：パラメーターが足りません web (line:2)");
    EXPECT_TRUE(s.fe.texts.empty());
    // The page still asks, with the labels it had.
    ASSERT_EQ(s.responses.size(), 1u);
    EXPECT_NE(s.responses[0].find(Sj(u8"value=\"1\" checked>選択肢1<BR>")), std::string::npos);
}

TEST(WebModule, StartResults) {
    ScriptRun s(
        u8"[main]\nweb,server,%programpath%root\ntext,a,%var1%/%var2%\n"
        u8"web,start,<b>待機</b>\ntext,b,%var1%/%var2%\npause\n");
    s.fetch("/a.txt");
    s.shutDown();
    s.run();
    EXPECT_EQ(s.fe.texts, (std::vector<std::string>{"a|OK/" + Sj(u8"新規に開始しました"),
                                                    "b|OK/" + Sj(u8"既に開始されてます")}));
    ASSERT_EQ(s.responses.size(), 1u);  // the mode changed without a restart
    EXPECT_NE(s.responses[0].find(Sj(u8"<P>　<b>待機</b>")), std::string::npos);
    EXPECT_EQ(s.engine.vars[kWebRoot], s.dir.path() + "/root");
}

TEST(WebModule, WebrootChangesReachTheRunningServer) {
    ScriptRun s(u8"[main]\nweb,server,%programpath%root\nset,webroot,%programpath%other\npause\n");
    s.fetch("/a.txt");
    s.shutDown();
    s.run();
    ASSERT_EQ(s.responses.size(), 1u);
    EXPECT_EQ(test::Body(s.responses[0]), "B");
}

// A root that climbs with ".." is the folder it names when the server starts.
TEST(WebModule, RootWithParentPartsIsResolved) {
    for (const char8_t* root : {u8"%programpath%root/../other", u8"%programpath%other/../other/"}) {
        const std::u8string code = u8"[main]\nweb,server," + std::u8string(root) + u8"\npause\n";
        ScriptRun s(code.c_str());
        s.fetch("/a.txt");
        s.shutDown();
        s.run();
        ASSERT_EQ(s.responses.size(), 1u);
        EXPECT_EQ(test::Body(s.responses[0]), "B");
    }
}

TEST(WebModule, BindErrorIsReported) {
    test::HeldPort taken(test::HeldPort::Listening::Yes);
    ASSERT_NE(taken.port(), 0);
    ScriptRun s(u8"[main]\nweb,start\ntext,a,%var1%/%var2%\nweb,input\ntext,b,never\n",
                taken.port());
    s.run();
    EXPECT_EQ(s.fe.texts, std::vector<std::string>{"a|NG/Bind Error"});
    EXPECT_EQ(s.fe.messagesUtf8(),
              std::vector<std::string>{"HTTPDエラー：サーバを開始出来ませんでした Bind Error"});
    EXPECT_FALSE(s.web.serverRunning());
    EXPECT_TRUE(s.engine.errorShown());
}

TEST(WebModule, UnknownSubCommand) {
    ScriptRun s(u8"[main]\nweb,Bogus\ntext,a,never\n");
    s.run();
    EXPECT_EQ(s.fe.messagesUtf8(),
              std::vector<std::string>{"コードエラー：不明なwebコマンド bogus"});
    EXPECT_TRUE(s.fe.texts.empty());
}

TEST(WebModule, LateAnswersGetTheStatusPage) {
    // The timer ends the wait before the browser answers.
    ScriptRun s(u8"[main]\ntimer,start,60\nweb,input,q\ntext,a,%var3%:%var1%\npause\n");
    s.fe.events.push_back([](Engine& e) { e.onScriptTimer(); });
    s.fetch("/input.cgi?input=late");
    s.shutDown();
    s.run();
    EXPECT_EQ(s.fe.texts, std::vector<std::string>{"a|timeout:OK"});
    ASSERT_EQ(s.responses.size(), 1u);
    EXPECT_NE(s.responses[0].find("<title>zir</title>"), std::string::npos);
    EXPECT_EQ(s.web.state().mode, StatusPage);
}

TEST(WebModule, AnswerToAnEndedWaitIsDropped) {
    ScriptRun s(u8"[main]\nweb,input,q\npause\n");
    s.fe.events.push_back([&](Engine& e) {
        unsigned question = s.web.state().question;
        e.CancelWaits();  // something else ended the wait first
        s.web.WebAnswerArrived(WebAnswer{false, "late", 0}, question);
        s.responses.push_back(e.running ? "resumed" : "waiting");
        e.Shutdown();
    });
    s.run();
    EXPECT_EQ(s.responses, std::vector<std::string>{"waiting"});
    EXPECT_EQ(s.engine.vars[kVar1], "OK");
}

TEST(WebModule, ServerKeepsTheScriptAliveUntilShutdown) {
    ScriptRun s(u8"[main]\nweb,server,%programpath%root\npause\n");
    s.fe.events.push_back([&](Engine& e) {
        s.responses.push_back(e.keepsAlive() ? "alive" : "idle");
        e.Shutdown();
        s.responses.push_back(e.keepsAlive() ? "alive" : "idle");
    });
    s.run();
    EXPECT_EQ(s.responses, (std::vector<std::string>{"alive", "idle"}));
    EXPECT_EQ(test::Connect(s.web.port()), -1);  // shutdown stopped the listener
}

TEST(WebModule, StopAndStartAgain) {
    ScriptRun s(
        u8"[main]\nweb,server,%programpath%root\nweb,stop\nweb,stop\ntext,a,%var2%\n"
        u8"web,server\ntext,b,%var2%\npause\n");
    s.fetch("/a.txt");
    s.shutDown();
    s.run();
    EXPECT_EQ(s.fe.texts, (std::vector<std::string>{"a|" + Sj(u8"新規に開始しました"),
                                                    "b|" + Sj(u8"新規に開始しました")}));
    ASSERT_EQ(s.responses.size(), 1u);
    EXPECT_EQ(test::Body(s.responses[0]), "A");
}

}  // namespace
}  // namespace velmora
