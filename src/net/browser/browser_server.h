// The browsers' server: the page over HTTP/1.1 and the window's live state over WebSocket,
// both through Qt's HTTP server, behind a random token that every URL carries. It bounds
// what each browser may cost: message size and rate, and what waits unsent to it.
#pragma once

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "net/browser/browser_protocol.h"

class QWebSocket;

namespace velmora {

// Browsers served at once; one more is turned away, so connecting cannot exhaust the
// program's descriptors or memory.
constexpr int kMaxBrowsers = 100;
// Connections open at once, browsers and page requests together; more are closed at once.
constexpr int kMaxConnections = 2 * kMaxBrowsers;
// What a connection may send before it is a browser, and how long it may stay one without
// becoming it: a page request is a few hundred bytes and milliseconds.
constexpr qint64 kMaxRequestBytes = 64 << 10;
constexpr int kRequestDeadlineMs = 10000;
// Messages a browser may send in one second; the rest are dropped. A browser that sends
// ten times as many is disconnected.
constexpr int kBrowserMessagesPerSecond = 200;
// Bytes waiting unsent to one browser before it gets no more pieces; once they have gone
// it gets the whole state again.
constexpr qint64 kMaxBrowserBacklog = 4 << 20;

// Whether a message may be left out for a browser that is behind: the pieces of the window
// can, since it gets the whole picture once it catches up.
enum class Skippable { No, Yes };

class BrowserServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    BrowserServer();
    ~BrowserServer() override;

    // Listens at the address and port (0: any free one). False with a reason when it cannot.
    bool start(const QHostAddress& address, quint16 port, QString& error);
    quint16 port() const { return port_; }
    const QString& token() const { return token_; }
    // The page's address for a host name or address.
    QString pageUrl(const QString& host) const;
    int browsers() const { return static_cast<int>(clients_.size()); }

    void broadcast(const BrowserMessage& message, Skippable skippable);
    void send(QWebSocket* to, const BrowserMessage& message);
    // Says goodbye to every browser: the script has ended.
    void closeAll();

    // A browser has joined, or caught up: it needs the whole state.
    std::function<void(QWebSocket*)> onJoin;
    // A browser's event, delivered from the event loop, never inside the socket's own call.
    std::function<void(QWebSocket*, const BrowserEvent&)> onEvent;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Client {
        std::unique_ptr<QWebSocket> socket;
        qint64 windowStart = 0;  // the second its message count belongs to
        int messages = 0;
        bool behind = false;
    };

    void acceptBrowsers();
    void receive(QWebSocket* from, const QString& message);
    void drained(QWebSocket* socket);
    void drop(QWebSocket* socket);
    bool tokenMatches(const QString& path, const QString& rest) const;

    QString token_;
    quint16 port_ = 0;
    std::map<QWebSocket*, Client> clients_;
};

}  // namespace velmora
