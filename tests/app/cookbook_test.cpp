// The cookbook in examples/, each folder run as it ships in the console front end: what an
// author copies from there must work.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <thread>

#include "engine/text.h"
#include "http_client.h"
#include "http_test_server.h"
#include "process.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using test::ProcessOptions;
using test::ProcessResult;
using test::ScriptDir;

// A copy of examples/NAME, so that runs may write into it.
struct Example {
    ScriptDir dir;
    explicit Example(const std::string& name) {
        namespace fs = std::filesystem;
        for (const auto& e :
             fs::directory_iterator(std::string(VELMORA_SOURCE_DIR) + "/examples/" + name))
            fs::copy_file(e.path(), dir.file(e.path().filename().string()));
    }
    // Replaces one line of variable.txt, as an author would edit a setting.
    void setSetting(const std::string& line, const std::string& replacement) const {
        std::string text = dir.read("variable.txt");
        auto at = text.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        dir.writeBytes("variable.txt", text.replace(at, line.size(), replacement));
    }
    ProcessResult run(const std::string& input, ProcessOptions o = {}) const {
        o.input = input;
        o.env.push_back("VELMORA_HOME=" + dir.path());
        return test::RunProcess({std::string(VELMORA_BIN_DIR) + "/velmora", "--console"}, o);
    }
};

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(Cookbook, TimedQuizKeepsTheBestScoreAcrossRuns) {
    Example quiz("timed-quiz");
    ProcessResult r = quiz.run("2\n3\n1\n2\n");  // three right answers, then "おわる"
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "正解！"), 3) << r.out;
    EXPECT_NE(r.out.find("3 問正解でした。\n\n新記録です！\n\n\nこれまでの最高: 3 問\n"),
              std::string::npos)
        << r.out;

    // Nobody answers: each question ends on the timer, and the best score stays.
    quiz.setSetting("seconds=10", "seconds=1");
    r = quiz.run("");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.out, "時間切れ！"), 3) << r.out;
    EXPECT_NE(r.out.find("0 問正解でした。\n\n\nこれまでの最高: 3 問\n"), std::string::npos)
        << r.out;
}

// Answers the web input page of the program pid once it is asked, on the port the
// system gave it; the status line of the reply, or empty.
std::string AnswerWhenAsked(const std::atomic<pid_t>& pid, const std::string& target) {
    int port = 0;
    // The server starts a few lines before the question: an answer sent in between
    // would reach the status page.
    bool asked = test::WaitFor(
        [&] {
            if (!port && pid) port = test::ListeningPort(pid);
            return port && test::Get(port, "/").find("input.cgi") != std::string::npos;
        },
        20000);
    if (!asked) return {};
    std::string response = test::Get(port, target);
    return response.substr(0, response.find('\n'));
}

TEST(Cookbook, AnswerLogAppendsAnswersFromTheWindowAndTheBrowser) {
    Example log("answer-log");
    ProcessOptions o;
    std::atomic<pid_t> pid{0};
    o.pid = &pid;
    o.env.push_back("VELMORA_WEB_PORT=0");  // any free port; found through /proc
    // Answered in the window, then from the browser, then "おわる".
    auto run = std::async(std::launch::async, [&] { return log.run("1\nこんにちは\n2\n3\n", o); });
    // "ありがとう" as a browser sends it from the Shift-JIS page.
    EXPECT_EQ(AnswerWhenAsked(pid, "/input.cgi?input=%82%A0%82%E8%82%AA%82%C6%82%A4"),
              "HTTP/1.0 302 Moved Temporarily");
    ProcessResult r = run.get();
    EXPECT_EQ(r.status, 0) << r.err;

    // A second run keeps what is there and adds to it; a '%' answer is refused.
    r = log.run("1\n50% off\n1\nさようなら\n3\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "% を含む答えは記録しません\n");

    std::string file = Cp932ToUtf8(log.dir.read("answers.txt"));
    const char* answers[] = {" こんにちは\r\n", " ありがとう\r\n", " さようなら\r\n"};
    size_t from = 0;
    for (const char* answer : answers) {
        SCOPED_TRACE(answer);
        size_t at = file.find(answer, from);
        ASSERT_NE(at, std::string::npos) << file;
        // Each line is "M/D H:MM answer", and no blank line came between.
        EXPECT_EQ(file.substr(from, at - from).find('\n'), std::string::npos) << file;
        from = at + std::string(answer).size();
    }
    EXPECT_EQ(from, file.size()) << file;
}

// The answers of answers.txt in file order, from lines "M/D H:MM answer"; false when the
// file ends inside a line or a line is not of that form.
bool LoggedAnswers(const std::string& file, std::vector<std::string>& answers) {
    answers.clear();
    size_t from = 0;
    for (size_t end; (end = file.find("\r\n", from)) != std::string::npos; from = end + 2) {
        const std::string line = file.substr(from, end - from);
        const size_t space = line.rfind(' ');
        if (space == std::string::npos || line.find(':') > space) return false;
        answers.push_back(line.substr(space + 1));
    }
    return from == file.size();
}

// kill -9 at random moments, at start-up and while answers pour in: every line the log held
// before a kill is still there, each whole, and each run's answers follow in order.
TEST(Cookbook, AnswerLogKeepsEveryLineThroughKills) {
    using namespace std::chrono;
    Example log("answer-log");
    // Many lines from earlier runs: a start that rewrote the log would be caught midway.
    std::string earlier;
    std::vector<std::string> expected;
    for (int i = 0; i < 3000; ++i) {
        expected.push_back("old-" + std::to_string(i));
        earlier += "1/2 3:04 " + expected.back() + "\r\n";
    }
    log.dir.writeBytes("answers.txt", earlier);

    std::mt19937 random(20);  // fixed, so a failing order of kills comes back
    const auto end = steady_clock::now() + seconds(60);
    int rounds = 0;
    for (; rounds < 16 && steady_clock::now() < end; ++rounds) {
        SCOPED_TRACE("round " + std::to_string(rounds));
        const std::string tag = "r" + std::to_string(rounds) + "-";
        std::string input;  // more answers than a run gets through before its kill
        for (int i = 0; i < 20000; ++i) input += "1\n" + tag + std::to_string(i) + "\n";
        ProcessOptions o;
        o.keepInputOpen = true;
        o.timeoutSeconds = 30;
        std::atomic<pid_t> pid{0};
        o.pid = &pid;
        o.env.push_back("VELMORA_WEB_PORT=0");
        auto run = std::async(std::launch::async, [&] { return log.run(input, o); });
        ASSERT_TRUE(test::WaitFor([&] { return pid != 0; }));
        if (rounds % 2 == 0) {
            // Anywhere in the start and the first answers.
            std::this_thread::sleep_for(milliseconds(random() % 400));
        } else {
            // After a random number of this run's answers reached the file.
            const size_t before = log.dir.read("answers.txt").size();
            const size_t grown = 1 + random() % 100 * 20;
            ASSERT_TRUE(test::WaitFor(
                [&] { return log.dir.read("answers.txt").size() >= before + grown; }));
        }
        kill(pid, SIGKILL);
        ProcessResult r = run.get();
        ASSERT_EQ(r.status, 128 + SIGKILL) << r.err;

        std::vector<std::string> answers;
        ASSERT_TRUE(LoggedAnswers(log.dir.read("answers.txt"), answers)) << "a line was cut";
        ASSERT_GE(answers.size(), expected.size());
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), answers.begin()))
            << "a line written before the kill is gone";
        for (size_t i = expected.size(); i < answers.size(); ++i)
            ASSERT_EQ(answers[i], tag + std::to_string(i - expected.size()));
        expected = answers;
    }
    EXPECT_GE(rounds, 4);
    // Each second round waited for at least one answer of its own.
    EXPECT_GE(expected.size(), 3000u + rounds / 2);
}

TEST(Cookbook, DownloadShowsItsResult) {
    struct Case {
        std::string answer, shown;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nfirst line\r\nsecond line\r\n",
         "ダウンロードしました: http://example.test/news.txt\n\n最初の一行: first line\n"},
        {"HTTP/1.0 404 Not Found\r\n\r\n", "ダウンロードできませんでした: ステータスエラー\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        test::HttpTestServer server({test::Send(c.answer)});
        ASSERT_TRUE(server.listening());
        Example dl("download");
        // Through the test server as the proxy: no name look-up, and any port.
        dl.setSetting("url=http://example.com/",
                      "url=http://example.test/news.txt\r\nproxy=127.0.0.1\r\nproxyport=" +
                          std::to_string(server.port()));
        ProcessResult r = dl.run("");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "http://example.test/news.txt をダウンロードします…\n" + c.shown);
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(server.requests()[0].rfind("GET http://example.test/news.txt HTTP/1.0\r\n", 0),
                  0u);
    }
}

}  // namespace
}  // namespace velmora
