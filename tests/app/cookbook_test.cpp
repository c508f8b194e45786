// The cookbook in examples/, each folder run as it ships in the console front end: what an
// author copies from there must work.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>

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
        EXPECT_EQ(server.requests()[0].rfind("GET http://example.test/news.txt HTTP/1.0\n", 0), 0u);
    }
}

}  // namespace
}  // namespace velmora
