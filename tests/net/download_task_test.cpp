// The close sequence of a download: it cancels an unfinished worker, keeps events going
// while it waits, shows both cancel texts in order, and runs once.
#include "net/download_task.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "http_test_server.h"
#include "net/download_texts.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace test;

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
