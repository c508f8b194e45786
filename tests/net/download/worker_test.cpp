// The download worker against the project's test HTTP server on a free loopback port:
// bodies, every failure text, the request text, waits, time-outs and cancel.
#include "net/download/worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>

#include "http_test_server.h"
#include "net/download/texts.h"
#include "net_support.h"
#include "script_dir.h"
#include "tls_test_server.h"
#include "wait.h"

namespace velmora {
namespace {

using namespace test;
using Clock = std::chrono::steady_clock;

const std::string kOkHead = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";
const std::string kChunkedHead = "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
// "hello, world" in two chunks, with an extension and a trailer field.
const std::string kChunks = "5\r\nhello\r\n7;x=1\r\n, world\r\n0\r\nX-Sum: 1\r\n\r\n";

struct Fetched {
    DownloadResult result;
    std::vector<std::string> statuses;
    long ms = 0;
    std::uint64_t received = 0;  // body bytes, as reported for the display's bar
    std::uint64_t announced = 0;
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
    f.received = progress.receivedBytes();
    f.announced = progress.announcedBytes();
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
        // Each of the nine pauses outlasts two waits: a count that went on across the
        // pieces would pass fifteen by the eighth, while one pause may stretch to six times
        // its length on a loaded machine.
        {"slow trickle", Trickle(trickled, 5, 250), {}, trickled, 100, 15},
        // 30 waits may pass without a byte ...
        {"late answer", {Pause(200), Send(kOkHead + "late")}, {}, "late", 50, 30},
        // ... the 31st ends the transfer.
        {"silent", {Silence()}, DownloadError::TimedOut, "", 20, 30},
        {"silent midway", {Send(kOkHead + "part"), Silence()}, DownloadError::TimedOut, "", 20, 30},
        // A chunked answer to an HTTP/1.0 request: the framing is undone, whatever length
        // stands beside it, and its end is the end even on a connection left open.
        {"chunked", {Send(kChunkedHead + kChunks), Silence()}, {}, "hello, world", 100, 30},
        {"chunked beside a length",
         {Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nTransfer-Encoding: Chunked\r\n\r\n" +
               kChunks)},
         {},
         "hello, world"},
        {"chunked in pieces",
         {Send(kChunkedHead + "5\r"), Pause(20), Send("\nhel"), Pause(20), Send("lo\r\n7;x"),
          Pause(20), Send("=1\r\n, world\r"), Pause(20), Send("\n0\r\n\r\n")},
         {},
         "hello, world"},
        {"chunked cut short",
         {Send(kChunkedHead + "5\r\nhello\r\n7\r\n, w")},
         DownloadError::ReceiveFailed,
         ""},
        {"chunk longer than its size",
         {Send(kChunkedHead + "5\r\nhello, world\r\n0\r\n\r\n")},
         DownloadError::BadStatus,
         ""},
        {"coding that cannot be undone",
         {Send("HTTP/1.0 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n" + kChunks)},
         DownloadError::BadStatus,
         ""},
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
              "GET http://example.com:8080/a/b?c=d HTTP/1.0\r\nHost: example.com:8080\r\n"
              "Accept-Language:ja\r\nUser-Agent: Simple Client\r\n\r\n");
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
        {"port out of range",
         {"http://127.0.0.1:65536/x", dir.file("a"), "", ""},
         DownloadError::BadUrl},
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

// Sets an environment variable for one test and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string Url(const char* scheme, int port, const std::string& path) {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + path;
}

std::string RequestFor(const std::string& path, int port) {
    return "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nAccept-Language:ja\r\nUser-Agent: Simple Client\r\n\r\n";
}

Step RedirectTo(const std::string& location) {
    return Send("HTTP/1.0 302 Found\r\nLocation: " + location +
                "\r\nContent-Length: 5\r\n\r\nmoved");
}

// Today's web on loopback: the Host header and ports, TLS with the test authority trusted
// through SSL_CERT_FILE, certificates that must not pass, redirects, the CONNECT tunnel and
// bodies shorter or longer than announced. A failure keeps the file that was there.
TEST(DownloadWorker, HostsPortsTlsRedirectsAndLengths) {
    ScriptDir dir;
    TestAuthority authority;
    dir.writeBytes("trusted.pem", authority.pem());
    ScopedEnv trust("SSL_CERT_FILE", dir.file("trusted.pem"));
    const std::string body = "the body";
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\n" + body;
    const TestCertificate loopback = authority.issue("IP:127.0.0.1,DNS:localhost");

    HttpTestServer plain({Send(ok)});
    HttpTestServer strict({Send(ok)}, false, LineEnds::CrLfOnly);
    TlsTestServer tls(loopback, {Send(ok)});
    TlsTestServer otherName(authority.issue("DNS:elsewhere.test"), {Send(ok)});
    TlsTestServer untrusted(TestAuthority::selfSigned("IP:127.0.0.1"), {Send(ok)});
    TlsTestServer silent(loopback, {Send(ok.substr(0, ok.size() - 2)), Silence()});
    HttpTestServer toTls({RedirectTo(Url("https", tls.port(), "/final"))});
    HttpTestServer chain(
        {Send("HTTP/1.1 301 Moved\nLocation: " + Url("http", toTls.port(), "/2") + "\n\n")});
    HttpTestServer loop({Send("HTTP/1.0 307 Temporary Redirect\r\nLocation: again\r\n\r\n")});
    HttpTestServer downgraded({Send(ok)});
    TlsTestServer downgrade(loopback, {RedirectTo(Url("http", downgraded.port(), "/"))});
    HttpTestServer shortBody({Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nabc")});
    HttpTestServer longBody({Send(ok + "and more"), Silence()});
    ConnectProxy proxy;

    struct Case {
        const char* name;
        std::string url;
        std::optional<DownloadError> error;                   // none: "OK" with the body
        std::function<std::vector<std::string>()> seen = {};  // requests the last server saw
        std::string request = {};                             // the last of them, exactly
        bool viaProxy = false;
    };
    const Case cases[] = {
        {"http with a port names its host",
         Url("http", plain.port(), "/file"),
         {},
         [&] { return plain.requests(); },
         RequestFor("/file", plain.port())},
        {"server that refuses bare LF",
         Url("http", strict.port(), "/file"),
         {},
         [&] { return strict.requests(); },
         RequestFor("/file", strict.port())},
        {"https",
         Url("https", tls.port(), "/file"),
         {},
         [&] { return tls.requests(); },
         RequestFor("/file", tls.port())},
        {"https by name", "https://localhost:" + std::to_string(tls.port()) + "/", {}},
        {"certificate for another name", Url("https", otherName.port(), "/"),
         DownloadError::CertificateRejected},
        {"untrusted certificate", Url("https", untrusted.port(), "/"),
         DownloadError::CertificateRejected},
        {"silent over tls", Url("https", silent.port(), "/"), DownloadError::TimedOut},
        {"redirects ending on https",
         Url("http", chain.port(), "/1"),
         {},
         [&] { return tls.requests(); },
         RequestFor("/final", tls.port())},
        {"redirect loop", Url("http", loop.port(), "/start"), DownloadError::TooManyRedirects,
         [&] { return loop.requests(); }, RequestFor("/again", loop.port())},
        {"https down to http", Url("https", downgrade.port(), "/"),
         DownloadError::InsecureRedirect},
        {"connect tunnel",
         Url("https", tls.port(), "/tunnelled"),
         {},
         [&] { return tls.requests(); },
         RequestFor("/tunnelled", tls.port()),
         true},
        {"body shorter than announced", Url("http", shortBody.port(), "/"),
         DownloadError::ReceiveFailed},
        {"body longer than announced", Url("http", longBody.port(), "/"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.writeBytes("out.bin", "old contents");
        DownloadParams params{c.url, dir.file("out.bin"), "", ""};
        if (c.viaProxy) params = Through(plain, c.url, dir.file("out.bin"));
        if (c.viaProxy) params.proxyPort = std::to_string(proxy.port());
        // Half a second of silence ends the silent row; the others keep the patient
        // defaults, since a loaded machine may stall a handshake longer than that.
        if (c.error == DownloadError::TimedOut) {
            params.waitMs = 50;
            params.maxTimeouts = 10;
        }
        Fetched f = Fetch(params);
        EXPECT_EQ(f.result.ok, !c.error);
        if (c.error) {
            EXPECT_EQ(f.result.reason, Reason(*c.error));
            EXPECT_EQ(dir.read("out.bin"), "old contents");
        } else {
            EXPECT_EQ(f.result.reason, "");
            EXPECT_EQ(dir.read("out.bin"), body);
            EXPECT_EQ(f.received, body.size());
            EXPECT_EQ(f.announced, body.size());
        }
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.bin", "trusted.pem"}));
        if (c.seen) {
            std::vector<std::string> seen = c.seen();
            ASSERT_FALSE(seen.empty());
            EXPECT_EQ(seen.back(), c.request);
        }
    }
    EXPECT_EQ(loop.connections(), kMaxRedirects + 1);
    EXPECT_EQ(downgraded.connections(), 0);
    ASSERT_EQ(proxy.requests().size(), 1u);
    const std::string tunnel = "127.0.0.1:" + std::to_string(tls.port());
    EXPECT_EQ(proxy.requests()[0], "CONNECT " + tunnel + " HTTP/1.1\r\nHost: " + tunnel +
                                       "\r\nUser-Agent: Simple Client\r\n\r\n");
}

// Cancel after a redirect, while TLS bytes arrive: the bar's count moved, the old file stays.
TEST(DownloadWorker, CancelOverTlsAfterARedirect) {
    ScriptDir dir;
    TestAuthority authority;
    dir.writeBytes("trusted.pem", authority.pem());
    ScopedEnv trust("SSL_CERT_FILE", dir.file("trusted.pem"));
    TlsTestServer tls(
        authority.issue("IP:127.0.0.1"),
        {Send("HTTP/1.0 200 OK\r\nContent-Length: 999999\r\n\r\n"), Stream(100000), Silence()});
    HttpTestServer first({RedirectTo(Url("https", tls.port(), "/big"))});
    dir.writeBytes("out.bin", "old contents");
    DownloadProgress progress;
    DownloadParams params{Url("http", first.port(), "/"), dir.file("out.bin"), "", ""};
    params.waitMs = 100;  // a cancel is seen after the wait it comes in
    DownloadResult result;
    std::thread worker([&] { result = RunDownload(params, progress); });
    WaitFor([&] { return progress.receivedBytes() >= 100000; });
    EXPECT_EQ(progress.receivedBytes(), 100000u);
    EXPECT_EQ(progress.announcedBytes(), 999999u);
    progress.requestCancel();
    worker.join();
    EXPECT_EQ(result.reason, Reason(DownloadError::Cancelled));
    EXPECT_EQ(dir.read("out.bin"), "old contents");
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"out.bin", "trusted.pem"}));
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
    EXPECT_TRUE(WaitFor([&] { return server.bytesSent() >= 100000; }));
    progress.requestCancel();
    worker.join();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, Reason(DownloadError::Cancelled));
    EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace velmora
