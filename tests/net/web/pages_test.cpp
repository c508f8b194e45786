// The status, input and choice pages over real sockets, byte for byte, and the answers
// they hand on.
#include <gtest/gtest.h>

#include <thread>

#include "net/web/state.h"
#include "net_support.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::Get;
using test::Sj;

const std::string kHead =
    "HTTP/1.0 200 Document follows\nMIME-Version: 1.0\nServer: Quillon/1.0\n"
    "Content-Type: text/html; charset=Shift_JIS";
const std::string kFoot = Sj(u8"<P><HR>zir　<a href=\"./\">リロード</a></body></html>");

std::string StatusHtml(const std::string& acks, const std::string& status) {
    return kHead + "\n\n<html><head><title>zir</title></head><body>" + acks + Sj(u8"<P>　") +
           status + kFoot;
}

std::string InputHtml(const std::string& ack, const std::string& prompt) {
    return kHead + "\n\n" + Sj(u8"<html><head><title>簡易入力鯖</title></head><body>") + ack +
           Sj(u8"<P>　") + prompt +
           Sj(u8"<P><form action=\"input.cgi\" method=\"GET\"><input size=20 maxlength=30 "
              u8"name=\"input\"><input type=submit value=\"ぽちっとな\"></form>") +
           kFoot;
}

std::string Radio(int k, bool checked, const std::string& label) {
    return Sj(u8"　<input type=radio name=\"choice\" value=\"") + std::to_string(k) +
           (checked ? "\" checked>" : "\">") + label + "<BR>";
}

std::string Found(const std::string& location) {
    return "HTTP/1.0 302 Moved Temporarily\nMIME-Version: 1.0\nServer: Quillon/1.0\nLocation: " +
           location + "\n\n";
}

std::string Entered(const std::string& text) {
    return text + Sj(u8"を入力しました<P> ");
}
std::string Chosen(const std::string& text) {
    return text + Sj(u8"を選択しました<P> ");
}

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.shared.update([](WebSnapshot& s) {
            s.mode = StatusPage;
            s.pages.choiceCount = 3;
            s.pages.choiceSelected = 2;
            s.pages.labels[0] = "a";
            s.pages.labels[1] = "b";
            s.pages.labels[2] = "c";
        });
        ASSERT_TRUE(server.start());
    }
    // Answers are handed on just after the connection is closed.
    std::vector<std::pair<WebAnswer, unsigned>> answersAfter(size_t count) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(test::kPatientMs);
        while (server.answers().size() < count && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(5ms);
        return server.answers();
    }
    void ask(int mode, unsigned question) {
        server.shared.update([&](WebSnapshot& s) {
            s.mode = mode;
            s.question = question;
        });
    }

    test::SiteServer server;
};

TEST_F(PagesTest, InitialTextsAndFoot) {
    const WebTexts& t = Texts();
    // The text itself, 51 bytes, and nothing beyond it.
    EXPECT_EQ(t.pageFoot, kFoot);
    EXPECT_EQ(t.pageFoot.size(), 51u);
    EXPECT_EQ(t.statusText, Sj(u8"zir　待機中"));
    EXPECT_EQ(t.inputPrompt, Sj(u8"入力してね"));
    EXPECT_EQ(t.choicePrompt, Sj(u8"選択してね"));
    EXPECT_EQ(t.labels[5], Sj(u8"選択肢6"));
}

TEST_F(PagesTest, StatusPageAcknowledges) {
    const std::string status = Sj(u8"zir　待機中");
    struct Case {
        std::string target, expected;
    } cases[] = {
        {"/", StatusHtml("", status)},
        {"/anything.html", StatusHtml("", status)},
        {"/input.cgi?prev=abc", StatusHtml(Entered("abc"), status)},
        {"/input.cgi?prevc=2", StatusHtml(Chosen("b"), status)},
        {"/input.cgi?prevc=9", StatusHtml(Chosen("c"), status)},  // clamped to the count
        {"/input.cgi?prevc=x", StatusHtml(Chosen("a"), status)},
        {"/input.cgi?prevc=-4", StatusHtml(Chosen("a"), status)},
        {"/input.cgi?prevc=2&prev=x", StatusHtml(Entered("x") + Chosen("b"), status)},
        {"/input.cgi?prev=%3Cb%3E%26", StatusHtml(Entered("&lt;b&gt;&amp;"), status)},
        {"/input.cgi?prev=%A4%A2", StatusHtml(Entered("\x82\xA0"), status)},  // EUC-JP
        {"/input.cgi?input=ignored", StatusHtml("", status)},
    };
    for (const auto& c : cases) EXPECT_EQ(Get(server.port(), c.target), c.expected) << c.target;
    EXPECT_EQ(test::Exchange(server.port(), "OPTIONS * HTTP/1.0\r\n\r\n"), "");
    EXPECT_TRUE(server.answers().empty());
}

TEST_F(PagesTest, ScriptTextsKeepTheirMarkup) {
    server.shared.update([](WebSnapshot& s) { s.pages.statusText = "<b>busy</b>"; });
    EXPECT_EQ(Get(server.port(), "/"), StatusHtml("", "<b>busy</b>"));
}

TEST_F(PagesTest, InputPageShowsTheForm) {
    ask(InputPage, 7);
    const std::string prompt = Sj(u8"入力してね");
    struct Case {
        std::string target, expected;
    } cases[] = {
        {"/favicon.ico", InputHtml("", prompt)},
        {"/input.cgi?prev=abc", InputHtml(Entered("abc"), prompt)},
        {"/input.cgi?input=", InputHtml("", prompt)},
        {"/input.cgi?prev=%22%3E", InputHtml(Entered("&quot;&gt;"), prompt)},
    };
    for (const auto& c : cases) EXPECT_EQ(Get(server.port(), c.target), c.expected) << c.target;
    EXPECT_TRUE(server.answers().empty());
}

TEST_F(PagesTest, InputAnswersAreRedirectedAndHandedOn) {
    struct Case {
        std::string query, location, answer;
    } cases[] = {
        {"input=a+b%25c", "input.cgi?prev=a%20b%25c", "a b%c"},
        {"input=100%25%25", "input.cgi?prev=100%25%25", "100/per"},
        {"input=%A4%A2%A4%A4", "input.cgi?prev=%82%A0%82%A2", "\x82\xA0\x82\xA2"},  // EUC-JP
        {"input=%1B%24B%24%22%1B%28B", "input.cgi?prev=%82%A0", "\x82\xA0"},        // JIS
        {"input=%82%A0", "input.cgi?prev=%82%A0", "\x82\xA0"},                      // Shift-JIS
        {"input=a%0D%0ALocation:%20x", "input.cgi?prev=a%0D%0ALocation%3A%20x", "a\r\nLocation: x"},
        {"prev=old&input=new&other=1", "input.cgi?prev=new", "new"},
    };
    unsigned question = 10;
    for (const auto& c : cases) {
        ask(InputPage, ++question);
        EXPECT_EQ(Get(server.port(), "/input.cgi?" + c.query), Found(c.location)) << c.query;
        auto answers = answersAfter(question - 10);
        ASSERT_EQ(answers.size(), question - 10);
        EXPECT_FALSE(answers.back().first.isChoice);
        EXPECT_EQ(answers.back().first.input, c.answer) << c.query;
        EXPECT_EQ(answers.back().second, question);
        EXPECT_EQ(server.shared.snapshot().mode, StatusPage);
    }
}

TEST_F(PagesTest, RedirectRoundTripGivesBackTheAnswer) {
    ask(InputPage, 1);
    std::string location = Get(server.port(), "/input.cgi?input=%3Cx%3E+%2B%26y");
    ASSERT_EQ(location.rfind("HTTP/1.0 302", 0), 0u);
    std::string target = location.substr(location.find("Location: ") + 10);
    target = "/" + target.substr(0, target.find('\n'));
    EXPECT_EQ(Get(server.port(), target),
              StatusHtml(Entered("&lt;x&gt; +&amp;y"), Sj(u8"zir　待機中")));
}

TEST_F(PagesTest, TheListenerPausesAfterAnAnswer) {
    ask(InputPage, 1);
    Get(server.port(), "/input.cgi?input=x");
    auto before = std::chrono::steady_clock::now();
    Get(server.port(), "/");
    EXPECT_GE(std::chrono::steady_clock::now() - before, 900ms);
}

TEST_F(PagesTest, ChoicePageShowsTheButtons) {
    ask(ChoicePage, 3);
    server.shared.update([](WebSnapshot& s) { s.pages.choicePrompt = "<i>p</i>"; });
    std::string rows = Radio(1, false, "a") + Radio(2, true, "b") + Radio(3, false, "c");
    auto page = [&](const std::string& ack) {
        return kHead + "\r\n\r\n" + Sj(u8"<html><head><title>簡易選択鯖</title></head><body>") +
               ack + Sj(u8"<P>　<i>p</i><P><form action=\"input.cgi\" method=\"GET\">") + rows +
               Sj(u8"<BR>　　<input type=submit value=\"ぽちっとな\"></form>") + kFoot;
    };
    EXPECT_EQ(Get(server.port(), "/"), page(""));
    EXPECT_EQ(Get(server.port(), "/input.cgi?prevc=3"), page(Chosen("c")));
    EXPECT_EQ(Get(server.port(), "/input.cgi?choice="), page(""));
    EXPECT_TRUE(server.answers().empty());
}

TEST_F(PagesTest, ChoiceAnswersAreClamped) {
    struct Case {
        std::string value, location;
        int chosen;
    } cases[] = {{"2", "2", 2}, {"9", "9", 3}, {"0", "0", 1}, {"x", "x", 1}, {"%203", "%203", 3}};
    unsigned question = 20;
    for (const auto& c : cases) {
        ask(ChoicePage, ++question);
        EXPECT_EQ(Get(server.port(), "/input.cgi?choice=" + c.value),
                  Found("input.cgi?prevc=" + c.location));
        auto answers = answersAfter(question - 20);
        ASSERT_EQ(answers.size(), question - 20);
        EXPECT_TRUE(answers.back().first.isChoice);
        EXPECT_EQ(answers.back().first.choice, c.chosen) << c.value;
        EXPECT_EQ(answers.back().second, question);
    }
}

TEST_F(PagesTest, AcknowledgementNamesTheChoiceAsOffered) {
    ask(ChoicePage, 30);
    Get(server.port(), "/input.cgi?choice=2");
    ASSERT_EQ(answersAfter(1).size(), 1u);
    // The script asks a new question with new labels before the browser comes back.
    server.shared.update([](WebSnapshot& s) {
        s.mode = ChoicePage;
        s.question = 31;
        s.pages.choiceCount = 2;
        s.pages.labels[0] = "yes";
        s.pages.labels[1] = "no";
    });
    std::string page = Get(server.port(), "/input.cgi?prevc=2");
    EXPECT_NE(page.find(Chosen("b")), std::string::npos);
    EXPECT_EQ(page.find(Chosen("no")), std::string::npos);
    EXPECT_NE(page.find(Radio(2, true, "no")), std::string::npos);
}

TEST(WebShared, TakesAnAnswerOnlyForTheOpenQuestion) {
    WebShared shared;
    shared.update([](WebSnapshot& s) {
        s.mode = InputPage;
        s.question = 4;
    });
    EXPECT_FALSE(shared.takeAnswer(ChoicePage, 4));
    EXPECT_FALSE(shared.takeAnswer(InputPage, 3));
    EXPECT_EQ(shared.snapshot().mode, InputPage);
    EXPECT_TRUE(shared.takeAnswer(InputPage, 4));
    EXPECT_EQ(shared.snapshot().mode, StatusPage);
    EXPECT_FALSE(shared.takeAnswer(InputPage, 4));  // only once
}

}  // namespace
}  // namespace velmora
