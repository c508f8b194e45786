// The download worker against the project's test HTTP server on a free loopback port:
// bodies, every failure text, the request text, waits, time-outs and cancel.
#include "net/download_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http_test_server.h"
#include "net/download_texts.h"
#include "net_support.h"
#include "script_dir.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

struct Fetched {
    DownloadResult result;
    std::vector<std::string> statuses;
    long ms = 0;
};

DownloadParams Through(const HttpTestServer& server, const std::string& url,
                       const std::string& file) {
    return {url, file, "127.0.0.1", std::to_string(server.port())};
}

Fetched Fetch(const DownloadParams& params) {
    DownloadProgress progress;
    Fetched f;
    progress.observer = [&f](const std::string& s) { f.statuses.push_back(s); };
    Clock::time_point start = Clock::now();
    f.result = RunDownload(params, progress);
    f.ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return f;
}

std::string Reason(DownloadError e) {
    return DownloadErrorText(e);
}

struct ServeCase {
    const char* name;
    std::vector<Step> steps;
    std::optional<DownloadError> error;  // none: "OK"
    std::string body;
    int waitMs = 1000;
    int maxTimeouts = 30;
};

std::vector<Step> Trickle(const std::string& body, size_t piece, int pauseMs) {
    std::vector<Step> steps{Send(kOkHead)};
    for (size_t at = 0; at < body.size(); at += piece) {
        steps.push_back(Pause(pauseMs));
        steps.push_back(Send(body.substr(at, piece)));
    }
    return steps;
}

TEST(DownloadWorker, ResponsesAndTheirOutcomes) {
    const std::string big = PatternBytes(3 << 20);
    const std::string trickled = "a slow server sends a few bytes now and then";
    const ServeCase cases[] = {
        {"ok", {Send(kOkHead + "hello, world\n")}, {}, "hello, world\n"},
        {"lf-only head", {Send("HTTP/1.0 200 OK\nA: b\n\nbody")}, {}, "body"},
        {"empty body", {Send(kOkHead)}, {}, ""},
        {"binary body",
         {Send(kOkHead + std::string("\0\r\n\r\n\0", 6))},
         {},
         std::string("\0\r\n\r\n\0", 6)},
        {"large body", {Send(kOkHead), Stream(3 << 20)}, {}, big},
        {"head and body in pieces",
         {Send("HTTP/1.0 200 OK\r"), Pause(20), Send("\n\r"), Pause(20), Send("\nab"), Pause(20),
          Send("c")},
         {},
         "abc"},
        {"404 mentioning 200",
         {Send("HTTP/1.0 404 Not Found\r\nContent-Length: 200\r\n\r\nsee 200")},
         DownloadError::BadStatus,
         ""},
        {"not http", {Send("200 OK\r\n\r\nbody")}, DownloadError::BadStatus, ""},
        {"closed at once", {}, DownloadError::ReceiveFailed, ""},
        {"closed inside the head",
         {Send("HTTP/1.0 200 OK\r\nA: b\r\n")},
         DownloadError::ReceiveFailed,
         ""},
        // Each pause outlasts two waits: a count that went on across the pieces would pass
        // five by the third, while a pause may stretch to six waits on a loaded machine.
        {"slow trickle", Trickle(trickled, 5, 250), {}, trickled, 100, 5},
        // 30 waits may pass without a byte ...
        {"late answer", {Pause(200), Send(kOkHead + "late")}, {}, "late", 20, 30},
        // ... the 31st ends the transfer.
        {"silent", {Silence()}, DownloadError::TimedOut, "", 20, 30},
        {"silent midway", {Send(kOkHead + "part"), Silence()}, DownloadError::TimedOut, "", 20, 30},
    };
    for (const ServeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptDir dir;
        HttpTestServer server(c.steps);
        ASSERT_TRUE(server.listening());
        DownloadParams params = Through(server, "http://test.invalid/file", dir.file("out.bin"));
        params.waitMs = c.waitMs;
        params.maxTimeouts = c.maxTimeouts;
        Fetched f = Fetch(params);
        EXPECT_EQ(f.result.ok, !c.error);
        if (c.error) {
            EXPECT_EQ(f.result.reason, Reason(*c.error));
            EXPECT_TRUE(dir.entries().empty()) << "a failed download leaves no file";
        } else {
            EXPECT_EQ(dir.read("out.bin"), c.body);
            EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
        }
        if (c.error == DownloadError::TimedOut) {
            EXPECT_GE(f.ms, c.waitMs * c.maxTimeouts);
        }
    }
}

TEST(DownloadWorker, HeadSplitAtEveryPosition) {
    const std::string response = "HTTP/1.0 200 OK\r\nServer: test\r\n\r\nthe body\r\n\r\nend";
    for (size_t cut = 1; cut < response.size(); ++cut) {
        SCOPED_TRACE(cut);
        ScriptDir dir;
        HttpTestServer server(
            {Send(response.substr(0, cut)), Pause(15), Send(response.substr(cut))});
        Fetched f = Fetch(Through(server, "http://h/", dir.file("out")));
        ASSERT_TRUE(f.result.ok) << f.result.reason;
        EXPECT_EQ(dir.read("out"), "the body\r\n\r\nend");
    }
}

TEST(DownloadWorker, PhasesAndCountsAreShownInOrder) {
    ScriptDir dir;
    const std::string response = kOkHead + std::string(5000, 'x');
    HttpTestServer server({Send(response)});
    Fetched f = Fetch(Through(server, "http://h/", dir.file("out")));
    ASSERT_TRUE(f.result.ok);
    ASSERT_GE(f.statuses.size(), 5u);
    EXPECT_EQ(f.statuses[0], DownloadStatusText(DownloadStatus::Resolving));
    EXPECT_EQ(f.statuses[1], DownloadStatusText(DownloadStatus::Connecting));
    EXPECT_EQ(f.statuses[2], DownloadStatusText(DownloadStatus::Requesting));
    EXPECT_EQ(f.statuses[3], ReceivedText(0, false));
    // The final count includes the head bytes and is always shown.
    EXPECT_EQ(f.statuses.back(), ReceivedText(response.size(), true));
    EXPECT_EQ(f.statuses.back().substr(0, 6), "5,045 ");
}

TEST(DownloadWorker, CountCatchesUpWhenTheDataPauses) {
    ScriptDir dir;
    const std::string response = kOkHead + std::string(10000, 'x');
    HttpTestServer server({Send(response), Silence()});
    DownloadProgress progress;
    std::mutex mutex;
    std::optional<Clock::time_point> shown;
    const std::string full = ReceivedText(response.size(), false);
    progress.observer = [&](const std::string& s) {
        std::lock_guard<std::mutex> lock(mutex);
        if (s == full && !shown) shown = Clock::now();
    };
    DownloadParams params = Through(server, "http://h/", dir.file("out"));
    params.waitMs = 10000;
    DownloadResult result;
    Clock::time_point start = Clock::now();
    std::thread worker([&] { result = RunDownload(params, progress); });
    WaitFor([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return shown.has_value();
    });
    progress.requestCancel();
    worker.join();
    ASSERT_TRUE(shown.has_value()) << "the count of a stalled transfer was never shown";
    // Well before the wait ends, though the server says nothing more.
    EXPECT_LT(*shown - start, std::chrono::milliseconds(params.waitMs / 2));
    EXPECT_EQ(result.reason, Reason(DownloadError::Cancelled));
}

TEST(DownloadWorker, ProxyReceivesTheAbsoluteUrl) {
    ScriptDir dir;
    HttpTestServer server({Send(kOkHead + "via proxy")});
    Fetched f = Fetch(Through(server, "http://example.com:8080/a/b?c=d", dir.file("out")));
    ASSERT_TRUE(f.result.ok);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0],
              "GET http://example.com:8080/a/b?c=d HTTP/1.0\nAccept-Language:ja\n"
              "User-Agent: Simple Client\n\n");
}

TEST(DownloadWorker, ProxyOverIpv6AndAddressesTriedInOrder) {
    ScriptDir dir;
    HttpTestServer v6({Send(kOkHead + "six")}, true);
    if (!v6.listening()) GTEST_SKIP() << "no IPv6 loopback";
    DownloadParams p = Through(v6, "http://h/", dir.file("six"));
    p.proxy = "::1";
    Fetched f = Fetch(p);
    ASSERT_TRUE(f.result.ok) << f.result.reason;
    EXPECT_EQ(dir.read("six"), "six");
}

TEST(DownloadWorker, FailuresBeforeTheTransfer) {
    ScriptDir dir;
    HttpTestServer server({Send(kOkHead + "x")});
    const std::string port = std::to_string(server.port());
    const HeldPort closed(HeldPort::Listening::No);
    struct Case {
        const char* name;
        DownloadParams params;
        DownloadError error;
    } cases[] = {
        {"no scheme",
         {"ftp://127.0.0.1/x", dir.file("a"), "127.0.0.1", port},
         DownloadError::BadUrl},
        // Without a proxy the port is part of the host name, which no look-up finds.
        {"host:port",
         {"http://127.0.0.1:" + port + "/x", dir.file("a"), "", ""},
         DownloadError::HostNotFound},
        {"localhost:port",
         {"http://localhost:" + port + "/", dir.file("a"), "", ""},
         DownloadError::HostNotFound},
        {"refused",
         {"http://h/", dir.file("a"), "127.0.0.1", std::to_string(closed.port())},
         DownloadError::ConnectFailed},
        {"folder missing",
         {"http://h/", dir.file("no/such/file"), "127.0.0.1", port},
         DownloadError::FileCreate},
        {"target is a folder",
         {"http://h/", dir.path(), "127.0.0.1", port},
         DownloadError::FileCreate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fetched f = Fetch(c.params);
        EXPECT_FALSE(f.result.ok);
        EXPECT_EQ(f.result.reason, Reason(c.error));
        EXPECT_TRUE(dir.entries().empty());
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST(DownloadWorker, FailedDownloadKeepsTheExistingFile) {
    ScriptDir dir;
    dir.writeBytes("keep.txt", "old contents");
    HttpTestServer server({Send("HTTP/1.0 404 Not Found\r\n\r\n")});
    Fetched f = Fetch(Through(server, "http://h/", dir.file("keep.txt")));
    EXPECT_EQ(f.result.reason, Reason(DownloadError::BadStatus));
    EXPECT_EQ(dir.read("keep.txt"), "old contents");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.txt"});
}

TEST(DownloadWorker, CancelTextIsNotReplacedByTheWorker) {
    DownloadProgress progress;
    progress.report("1 bytes");
    progress.requestCancel("cancelling");
    progress.report("2 bytes");  // a worker still busy when cancel came
    EXPECT_EQ(progress.status(), "cancelling");
    EXPECT_TRUE(progress.cancelRequested());
    progress.setStatus("cancelled");
    EXPECT_EQ(progress.status(), "cancelled");
}

TEST(DownloadWorker, CancelMidTransfer) {
    ScriptDir dir;
    HttpTestServer server({Send(kOkHead), Stream(100000), Silence()});
    DownloadProgress progress;
    DownloadParams params = Through(server, "http://h/", dir.file("out"));
    params.waitMs = 100;
    DownloadResult result;
    std::thread worker([&] { result = RunDownload(params, progress); });
    while (server.bytesSent() < 100000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    progress.requestCancel();
    worker.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, Reason(DownloadError::Cancelled));
    EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace velmora
