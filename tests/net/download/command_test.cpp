// The download command through the engine: parameters, results in var1 and var2, the
// current-directory rule, waits it ends, cancel or shutdown while it runs, and the close
// sequence of its progress display.
#include "net/download/command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "engine/engine.h"
#include "fake_frontend.h"
#include "http_test_server.h"
#include "net/download/texts.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace test;

// A fake front end that records the progress display and can act while it is open.
class ProgressFrontend : public FakeFrontend {
public:
    std::vector<std::string> captions, details;
    std::function<void(ProgressTask&)> whileOpen;

    void runModalProgress(const std::string& caption, const std::string& detail,
                          ProgressTask& task) override {
        captions.push_back(caption);
        details.push_back(detail);
        task.start();
        if (whileOpen) whileOpen(task);
        Frontend::runModalProgress(caption, detail, task);  // starts no second worker
    }
};

struct Harness {
    ScriptDir dir;
    ProgressFrontend fe;
    Engine engine{fe};
    DownloadModule download{engine};

    explicit Harness(int proxyPort) {
        fe.engine = &engine;
        engine.setProgramPath(dir.programPath());
        dir.write("variable.txt",
                  "[default]\nproxy=127.0.0.1\nproxyport=" + std::to_string(proxyPort) + "\n");
    }
    void run(const std::string& script) {
        dir.write("code.txt", script);
        engine.LoadSettings();
        engine.StartScript();
        if (!engine.exiting()) engine.Shutdown();
    }
    std::string var(const std::string& name) { return Cp932ToUtf8(engine.GetVariable(name, "")); }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        for (const auto& t : fe.texts) out.push_back(Cp932ToUtf8(t.substr(t.find('|') + 1)));
        return out;
    }
};

// Runs the rest of the test in another current directory.
class InDirectory {
public:
    explicit InDirectory(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~InDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

const std::string kOk = "HTTP/1.0 200 OK\r\n\r\n";

TEST(DownloadCommand, SuccessKeepsVar2AndShowsTheUrl) {
    HttpTestServer server({Send(kOk + "payload")});
    Harness h(server.port());
    ScriptDir out;
    h.run("[main]\nset,var2,before\ndownload,http://example.com/f.txt," + out.file("f.txt") +
          "\ntext,,%var1% %var2%\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"OK before"});
    EXPECT_EQ(out.read("f.txt"), "payload");
    EXPECT_EQ(h.fe.captions, std::vector<std::string>{Utf8ToCp932("ダウンロード")});
    EXPECT_EQ(h.fe.details, std::vector<std::string>{"http://example.com/f.txt"});
    EXPECT_EQ(server.requests().at(0).substr(0, 34), "GET http://example.com/f.txt HTTP/");
}

TEST(DownloadCommand, FailuresSetNgAndTheScriptGoesOn) {
    HttpTestServer server({Send("HTTP/1.0 404 Not Found\r\n\r\nmissing")});
    Harness h(server.port());
    ScriptDir out;
    // Through a dangling link the download would create the file it names: not on failure.
    std::filesystem::create_symlink("made", out.file("link"));
    h.run("[main]\ndownload,http://h/x," + out.file("x") + "\ntext,,%var1% %var2%\n" +
          "download,ftp://h/x," + out.file("y") + "\ntext,,%var1% %var2%\n" +
          "download,http://h/x," + out.file("link") + "\ntext,,%var1% %var2%\npause\n");
    EXPECT_EQ(h.texts(), (std::vector<std::string>{"NG ステータスエラー", "NG URLエラー",
                                                   "NG ステータスエラー"}));
    EXPECT_EQ(out.entries(), std::vector<std::string>{"link"});
    EXPECT_TRUE(h.fe.messages.empty()) << "no message box for a failed download";
}

TEST(DownloadCommand, RelativeNamesUseTheCurrentDirectory) {
    HttpTestServer server({Send(kOk + "here")});
    Harness h(server.port());
    ScriptDir cwd;
    std::filesystem::create_directory(cwd.file("sub"));
    InDirectory in(cwd.path());
    h.run("[main]\ndownload,http://h/,sub\\got.txt\npause\n");
    EXPECT_EQ(h.var("var1"), "OK");
    EXPECT_EQ(cwd.read("sub/got.txt"), "here");
    EXPECT_FALSE(h.dir.exists("sub"));
}

TEST(DownloadCommand, TooFewParametersStopTheScript) {
    HttpTestServer server({Send(kOk)});
    Harness h(server.port());
    h.run("[main]\ndownload,http://h/\ntext,,not reached\npause\n");
    ASSERT_EQ(h.fe.messagesUtf8().size(), 1u);
    EXPECT_EQ(h.fe.messagesUtf8()[0], "コードエラー：パラメーターが足りません download (line:2)");
    EXPECT_TRUE(h.fe.captions.empty());
    EXPECT_TRUE(h.texts().empty());
    EXPECT_EQ(server.connections(), 0);
}

TEST(DownloadCommand, EndsAPendingTimer) {
    HttpTestServer server({Send(kOk)});
    Harness h(server.port());
    ScriptDir out;
    h.run("[main]\ntimer,start,1,[late]\ndownload,http://h/," + out.file("f") +
          "\ntext,,%var1%\npause\n[late]\ntext,,late\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"OK"});
}

// Waits until the task reports received bytes.
void UntilReceiving(ProgressTask& task) {
    test::WaitFor([&] { return task.statusText().find("bytes") != std::string::npos; });
}

TEST(DownloadCommand, CancelFromTheDisplay) {
    HttpTestServer server({Send(kOk), Stream(30000), Silence()});
    Harness h(server.port());
    ScriptDir out;
    std::filesystem::create_symlink("part", out.file("link"));  // dangling until the end
    ProgressAmount seen;
    h.fe.whileOpen = [&seen](ProgressTask& task) {
        // The display counts body bytes only, and has no share without an announced length.
        test::WaitFor([&] { return task.amount().done >= 30000; });
        seen = task.amount();
        task.close();
    };
    h.run("[main]\ndownload,http://h/," + out.file("link") + "\ntext,,%var1% %var2%\npause\n");
    EXPECT_EQ(h.texts(), std::vector<std::string>{"NG 中断されました"});
    EXPECT_EQ(out.entries(), std::vector<std::string>{"link"});
    EXPECT_EQ(seen.done, 30000u);
    EXPECT_EQ(seen.percent(), std::nullopt);
}

TEST(DownloadCommand, ShutdownDuringADownloadStopsIt) {
    HttpTestServer server({Send(kOk), Silence()});
    Harness h(server.port());
    ScriptDir out;
    h.fe.whileOpen = [&h](ProgressTask& task) {
        UntilReceiving(task);
        h.engine.Shutdown();  // as SIGTERM does in the console
    };
    auto start = std::chrono::steady_clock::now();
    h.run("[main]\ndownload,http://h/," + out.file("f") + "\ntext,,%var1% %var2%\npause\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20))
        << "the worker did not wait for its 30-second time-out";
    EXPECT_EQ(h.var("var2"), "中断されました");
    EXPECT_TRUE(out.entries().empty());
}

// The close sequence of a download: it cancels an unfinished worker, keeps events going
// while it waits, shows both cancel texts in order, and runs once.

class StatusLog {
public:
    void attach(DownloadTask& task) {
        task.progress().observer = [this](const std::string& s) {
            std::lock_guard<std::mutex> lock(mutex_);
            texts_.push_back(s);
        };
    }
    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

DownloadParams Params(const HttpTestServer& server, const std::string& file) {
    DownloadParams p{"http://h/", file, "127.0.0.1", std::to_string(server.port())};
    p.waitMs = 200;
    return p;
}

TEST(DownloadTask, FinishedWorkIsNotCancelled) {
    ScriptDir dir;
    HttpTestServer server({Send("HTTP/1.0 200 OK\r\n\r\nall")});
    int pumps = 0;
    DownloadTask task(Params(server, dir.file("out")), [&] { ++pumps; });
    StatusLog log;
    log.attach(task);
    task.start();
    ASSERT_TRUE(test::WaitFor([&] { return task.finished(); }));
    task.close();
    EXPECT_TRUE(task.result().ok);
    EXPECT_EQ(dir.read("out"), "all");
    EXPECT_EQ(task.statusText(), ReceivedText(22, true));
    EXPECT_EQ(log.texts().back(), ReceivedText(22, true));
    EXPECT_EQ(pumps, 0);
}

TEST(DownloadTask, ClosingMidTransferCancelsAndWaits) {
    ScriptDir dir;
    HttpTestServer server({Send("HTTP/1.0 200 OK\r\n\r\n"), Stream(50000), Silence()});
    int pumps = 0;
    DownloadTask task(Params(server, dir.file("out")), [&] { ++pumps; });
    StatusLog log;
    log.attach(task);
    task.start();
    ASSERT_TRUE(test::WaitFor([&] { return server.bytesSent() >= 50000; }));
    task.close();
    EXPECT_TRUE(task.finished());
    EXPECT_FALSE(task.result().ok);
    EXPECT_EQ(task.result().reason, DownloadErrorText(DownloadError::Cancelled));
    EXPECT_GT(pumps, 0) << "events go on while the worker stops";
    std::vector<std::string> texts = log.texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], DownloadStatusText(DownloadStatus::CancelWaiting));
    EXPECT_EQ(texts.back(), DownloadStatusText(DownloadStatus::CancelDone));
    EXPECT_TRUE(dir.entries().empty()) << "the partial file is gone";

    task.close();  // a second close changes nothing, nor does a late start
    task.start();
    EXPECT_TRUE(task.finished());
    EXPECT_EQ(log.texts().size(), texts.size());
}

TEST(DownloadTask, DestroyedWhileRunningStopsTheWorker) {
    ScriptDir dir;
    HttpTestServer server({Silence()});
    {
        DownloadTask task(Params(server, dir.file("out")), nullptr);
        task.start();
        ASSERT_TRUE(test::WaitFor([&] { return server.connections() == 1; }));
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(DownloadTask, RequestCancelStopsWithoutClosing) {
    ScriptDir dir;
    HttpTestServer server({Silence()});
    DownloadTask task(Params(server, dir.file("out")), nullptr);
    task.start();
    ASSERT_TRUE(test::WaitFor([&] { return server.connections() == 1; }));
    task.requestCancel();
    ASSERT_TRUE(test::WaitFor([&] { return task.finished(); }));
    task.close();
    EXPECT_EQ(task.result().reason, DownloadErrorText(DownloadError::Cancelled));
    EXPECT_NE(task.statusText(), DownloadStatusText(DownloadStatus::CancelDone));
}

}  // namespace
}  // namespace velmora
