// The browsers' server against real sockets: nothing without the token, and a hostile
// browser (flooding, oversized or binary messages) is cut off without reaching the script.
#include "net/browser/browser_server.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTcpSocket>
#include <QWebSocket>

#include "support/wait.h"

namespace velmora {
namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "browser_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

bool Until(const std::function<bool()>& done) {
    return test::WaitFor([&] {
        QCoreApplication::processEvents();
        return done();
    });
}

class BrowserServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        App();
        QString error;
        ASSERT_TRUE(server.start(QHostAddress::LocalHost, 0, error)) << error.toStdString();
        server.onJoin = [this](QWebSocket*) { ++joined; };
        server.onEvent = [this](QWebSocket*, const BrowserEvent&) { ++events; };
    }

    // The status line and headers the server answers a raw request with.
    QByteArray Get(const QByteArray& requestLine) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, server.port());
        EXPECT_TRUE(Until([&] { return s.state() == QAbstractSocket::ConnectedState; }));
        s.write(requestLine + "\r\nHost: x\r\n\r\n");
        QByteArray answer;
        Until([&] {
            answer += s.readAll();
            return answer.contains("\r\n\r\n");
        });
        return answer;
    }

    // A browser connected at `path`; whether the server kept it.
    bool Connect(QWebSocket& ws, const QString& path) {
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(server.port()).arg(path)));
        Until([&] {
            return ws.state() == QAbstractSocket::ConnectedState && server.browsers() == 1;
        });
        return server.browsers() == 1;
    }

    QString token() const { return QLatin1Char('/') + server.token() + QLatin1Char('/'); }

    BrowserServer server;
    int joined = 0, events = 0;
};

TEST_F(BrowserServerTest, ServesThePageOnlyUnderTheToken) {
    struct Case {
        QByteArray request;
        const char* status;
    };
    const QByteArray t = token().toLatin1();
    const Case cases[] = {
        {"GET " + t + " HTTP/1.1", "200"},
        {"GET " + t + "app.js HTTP/1.1", "200"},
        {"GET / HTTP/1.1", "404"},
        {"GET " + t.left(t.size() - 2) + "/ HTTP/1.1", "404"},  // one character short
        {"GET " + t + "../ HTTP/1.1", "404"},
        {"POST " + t + " HTTP/1.1\r\nContent-Length: 0", "404"},
        {"GET " + t + "ws HTTP/1.1", "404"},  // not an upgrade
        {"HEAD " + t + " HTTP/1.1", "404"},
        {"GET " + t.left(t.size() - 1) + " HTTP/1.1", "301"},  // without the last slash
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.toStdString());
        const QByteArray answer = Get(c.request);
        EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 ") + c.status)) << answer.toStdString();
        if (QByteArray(c.status) == "200") {
            EXPECT_TRUE(answer.contains("Content-Security-Policy: default-src 'none'"));
        }
    }
}

TEST_F(BrowserServerTest, BoundsTheConnectionsOpenAtOnce) {
    // A hoard of idle connections costs the program no more than its bound of descriptors.
    std::vector<std::unique_ptr<QTcpSocket>> hoard;
    const auto count = [&](QAbstractSocket::SocketState state) {
        return std::count_if(hoard.begin(), hoard.end(),
                             [&](const auto& s) { return s->state() == state; });
    };
    // In batches the kernel's listen queue holds, so no connection waits for a retry.
    constexpr int kBatch = 25;
    while (hoard.size() <= size_t(kMaxConnections)) {
        for (int i = 0; i < kBatch; ++i) {
            hoard.push_back(std::make_unique<QTcpSocket>());
            hoard.back()->connectToHost(QHostAddress::LocalHost, server.port());
        }
        ASSERT_TRUE(Until([&] { return count(QAbstractSocket::ConnectingState) == 0; }));
    }
    const long tooMany = static_cast<long>(hoard.size()) - kMaxConnections;
    EXPECT_TRUE(Until([&] { return count(QAbstractSocket::UnconnectedState) >= tooMany; }));
    EXPECT_EQ(count(QAbstractSocket::UnconnectedState), tooMany);
    hoard.clear();
    EXPECT_TRUE(Until(
        [&] { return Get("GET " + token().toLatin1() + " HTTP/1.1").startsWith("HTTP/1.1 200"); }));
}

TEST_F(BrowserServerTest, EndsOversizedAndLingeringRequestsButKeepsBrowsers) {
    QWebSocket browser;
    ASSERT_TRUE(Connect(browser, token() + QStringLiteral("ws")));
    QTcpSocket idle, endless;
    for (QTcpSocket* s : {&idle, &endless})
        s->connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(Until([&] {
        return idle.state() == QAbstractSocket::ConnectedState &&
               endless.state() == QAbstractSocket::ConnectedState;
    }));
    // A header that never ends is cut off at the bound, long before the deadline.
    QElapsedTimer clock;
    clock.start();
    endless.write("GET / HTTP/1.1\r\nX-A: ");
    const QByteArray chunk(16 << 10, 'a');
    EXPECT_TRUE(Until([&] {
        if (endless.state() == QAbstractSocket::ConnectedState &&
            endless.bytesToWrite() < chunk.size())
            endless.write(chunk);
        return endless.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_LT(clock.elapsed(), kRequestDeadlineMs);
    // An idle connection goes at the deadline; the browser stays.
    EXPECT_TRUE(test::WaitFor(
        [&] {
            QCoreApplication::processEvents();
            return idle.state() == QAbstractSocket::UnconnectedState;
        },
        2 * kRequestDeadlineMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(browser.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(server.browsers(), 1);
}

TEST_F(BrowserServerTest, RefusesABrowserWithoutTheTokenOrFromAnotherSite) {
    struct Case {
        const char* name;
        QString origin, path;
    };
    const Case cases[] = {
        {"wrong token", QString(), QStringLiteral("/%1/ws").arg(QString(32, 'a'))},
        {"another site", QStringLiteral("http://evil.example"), token() + QStringLiteral("ws")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWebSocket ws(c.origin);
        ws.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(server.port()).arg(c.path)));
        bool ended = false;
        QObject::connect(&ws, &QWebSocket::disconnected, [&] { ended = true; });
        ASSERT_TRUE(
            Until([&] { return ended || ws.state() == QAbstractSocket::UnconnectedState; }));
        EXPECT_EQ(joined, 0);
        EXPECT_EQ(server.browsers(), 0);
    }
}

TEST_F(BrowserServerTest, CutsOffHostileBrowsers) {
    struct Case {
        const char* name;
        std::function<void(QWebSocket&)> attack;
        int maxEvents;
    };
    const QString key = QStringLiteral(R"({"k":"key","key":"Up","down":true})");
    const Case cases[] = {
        {"flood",
         [&](QWebSocket& ws) {
             for (int i = 0; i < 20 * kBrowserMessagesPerSecond; ++i) ws.sendTextMessage(key);
         },
         2 * kBrowserMessagesPerSecond},
        {"oversized", [&](QWebSocket& ws) { ws.sendTextMessage(QString(5000, 'x')); }, 0},
        {"binary", [&](QWebSocket& ws) { ws.sendBinaryMessage("\x01\x02"); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events = 0;
        QWebSocket ws;
        ASSERT_TRUE(Connect(ws, token() + QStringLiteral("ws")));
        c.attack(ws);
        EXPECT_TRUE(Until([&] { return server.browsers() == 0; }));
        EXPECT_LE(events, c.maxEvents);
        ws.abort();
    }
    // A well-behaved browser still gets in and is heard.
    QWebSocket ws;
    ASSERT_TRUE(Connect(ws, token() + QStringLiteral("ws")));
    ws.sendTextMessage(key);
    EXPECT_TRUE(Until([&] { return events > 0; }));
}

}  // namespace
}  // namespace velmora
