// Serving the page and the browsers' connections.
#include "net/browser/browser_server.h"

#include <sys/random.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

namespace velmora {

namespace {

// 128 random bits, hex: guessing it is out of reach, and it survives any URL.
QString NewToken() {
    unsigned char bytes[16] = {};
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    return QString::fromLatin1(QByteArray(reinterpret_cast<char*>(bytes), sizeof bytes).toHex());
}

// Compared in time independent of where they differ, so the token cannot be found a
// character at a time.
bool SameSecret(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    ushort diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) diff |= a.at(i).unicode() ^ b.at(i).unicode();
    return diff == 0;
}

struct PageFile {
    const char* name;  // under the token
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {
    {"", ":/browser/index.html", "text/html; charset=utf-8"},
    {"app.js", ":/browser/app.js", "text/javascript; charset=utf-8"},
};

// The page runs its own script only, talks only to this server, and its address (with the
// token) is never sent on as a referrer.
constexpr char kPagePolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self' 'unsafe-inline'; "
    "img-src 'self' blob:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// Frames go out as soon as they are written: with Nagle's algorithm the second of two
// quick frames waits for the browser's delayed acknowledgement, some 40 ms.
// It also guards what Qt's HTTP server does not: the connections open at once (each
// holds a descriptor, and the script needs its own for its files), and what a connection
// may send and how long it may stay before it becomes a browser. Qt reads a request's
// header and body whole, however large, and keeps an idle connection for ever.
class GuardedTcpServer : public QTcpServer {
public:
    // The browser at this peer has passed the token: its connection lives on.
    void keep(const QHostAddress& address, quint16 port) {
        for (QTcpSocket* s : findChildren<QTcpSocket*>()) {
            if (s->peerPort() != port || s->peerAddress() != address) continue;
            s->setProperty(kKept, true);
        }
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        if (open_ >= kMaxConnections) {
            ::close(static_cast<int>(descriptor));
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Counted until destroyed, whoever owns it by then (the HTTP or WebSocket server).
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        // Connected before the HTTP server's own, so it sees every arrival first. Bytes
        // that Qt puts back to parse again count again: a real request stays far below.
        connect(socket, &QTcpSocket::readyRead, this, [socket] {
            const qint64 received =
                socket->property(kReceived).toLongLong() + socket->bytesAvailable();
            socket->setProperty(kReceived, received);
            if (received > kMaxRequestBytes && !socket->property(kKept).toBool()) socket->abort();
        });
        QTimer::singleShot(kRequestDeadlineMs, socket, [socket] {
            if (!socket->property(kKept).toBool()) socket->abort();
        });
        addPendingConnection(socket);
    }

private:
    static constexpr char kKept[] = "velmoraBrowser";
    static constexpr char kReceived[] = "velmoraReceived";
    int open_ = 0;
};

}  // namespace

BrowserServer::BrowserServer() : token_(NewToken()) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &BrowserServer::acceptBrowsers);
}

BrowserServer::~BrowserServer() {
    // The sockets go before the server that created them, deaf first: a socket says it
    // was disconnected while it is being destroyed.
    for (auto& [socket, client] : clients_) socket->disconnect(this);
    clients_.clear();
}

bool BrowserServer::start(const QHostAddress& address, quint16 port, QString& error) {
    auto server = std::make_unique<GuardedTcpServer>();
    if (!server->listen(address, port)) {
        error = server->errorString();
        return false;
    }
    port_ = server->serverPort();
    bind(server.release());  // the HTTP server takes it over, and its connections
    return true;
}

QString BrowserServer::pageUrl(const QString& host) const {
    const QString h =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("http://%1:%2/%3/").arg(h).arg(port_).arg(token_);
}

bool BrowserServer::tokenMatches(const QString& path, const QString& rest) const {
    const QString prefix = QLatin1Char('/') + token_ + QLatin1Char('/');
    return path.size() == prefix.size() + rest.size() && path.endsWith(rest) &&
           SameSecret(path.left(prefix.size()), prefix);
}

bool BrowserServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    using Method = QHttpServerRequest::Method;
    if (request.method() != Method::Get) return false;
    const QString path = request.url().path();
    // Qt's server hands an upgrade over to WebSocket only when the request was handled;
    // the socket's address is checked again once it is accepted.
    if (tokenMatches(path, QStringLiteral("ws")))
        return request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    // The address typed without its last slash.
    if (tokenMatches(path + QLatin1Char('/'), QString())) {
        makeResponder(request, socket)
            .write({{"Location", (path + QLatin1Char('/')).toLatin1()}},
                   QHttpServerResponder::StatusCode::MovedPermanently);
        return true;
    }
    for (const PageFile& f : kPageFiles) {
        if (!tokenMatches(path, QLatin1String(f.name))) continue;
        QFile file(QLatin1String(f.resource));
        if (!file.open(QIODevice::ReadOnly)) return false;
        makeResponder(request, socket)
            .write(file.readAll(), {{"Content-Type", f.type},
                                    {"Cache-Control", "no-store"},
                                    {"Referrer-Policy", "no-referrer"},
                                    {"X-Content-Type-Options", "nosniff"},
                                    {"Content-Security-Policy", kPagePolicy}});
        return true;
    }
    return false;
}

void BrowserServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The same answer with or without a token: nothing tells a guess how close it came.
    makeResponder(request, socket)
        .write(QByteArray("not found\n"), {{"Content-Type", "text/plain"}},
               QHttpServerResponder::StatusCode::NotFound);
}

void BrowserServer::acceptBrowsers() {
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        if (!socket) continue;
        // Refused sockets go later: the WebSocket server is still using them up the stack.
        // A page of another site holding the token must not drive the window either.
        const QUrl origin(socket->origin()), at = socket->requestUrl();
        const bool foreign = !socket->origin().isEmpty() &&
                             (origin.host() != at.host() || origin.port(80) != at.port(80));
        if (foreign || !tokenMatches(at.path(), QStringLiteral("ws"))) {
            socket->abort();
            socket.release()->deleteLater();
            continue;
        }
        if (browsers() >= kMaxBrowsers) {
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("full"));
            socket.release()->deleteLater();
            continue;
        }
        QWebSocket* s = socket.get();
        for (QTcpServer* tcp : servers())
            static_cast<GuardedTcpServer*>(tcp)->keep(s->peerAddress(), s->peerPort());
        s->setMaxAllowedIncomingFrameSize(kMaxBrowserMessageBytes);
        s->setMaxAllowedIncomingMessageSize(kMaxBrowserMessageBytes);
        connect(s, &QWebSocket::textMessageReceived, this,
                [this, s](const QString& m) { receive(s, m); });
        // The page never sends binary: a browser that does is not ours.
        connect(s, &QWebSocket::binaryMessageReceived, this,
                [this, s](const QByteArray&) { drop(s); });
        connect(s, &QWebSocket::bytesWritten, this, [this, s](qint64) { drained(s); });
        connect(s, &QWebSocket::disconnected, this, [this, s] { drop(s); });
        clients_[s].socket = std::move(socket);
        if (onJoin) onJoin(s);
    }
}

void BrowserServer::receive(QWebSocket* from, const QString& message) {
    auto it = clients_.find(from);
    if (it == clients_.end()) return;
    Client& c = it->second;
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != c.windowStart) {
        c.windowStart = second;
        c.messages = 0;
    }
    if (++c.messages > kBrowserMessagesPerSecond) {
        if (c.messages > 10 * kBrowserMessagesPerSecond) drop(from);
        return;
    }
    const std::optional<BrowserEvent> event = ParseBrowserMessage(message.toStdString());
    if (!event || !onEvent) return;
    // Handling may open a dialog with its own event loop: not from inside the socket.
    QTimer::singleShot(0, this, [this, from, e = *event] {
        if (clients_.count(from) && onEvent) onEvent(from, e);
    });
}

void BrowserServer::send(QWebSocket* to, const BrowserMessage& message) {
    // What cannot be left out still has a bound: a browser that reads nothing for so long
    // is gone in all but name. Dropped from the event loop, as callers may be iterating.
    if (to->bytesToWrite() > 2 * kMaxBrowserBacklog) {
        QTimer::singleShot(0, this, [this, gone = QPointer<QWebSocket>(to)] {
            if (gone) drop(gone);
        });
        return;
    }
    if (message.kind == BrowserMessage::Kind::Binary)
        to->sendBinaryMessage(message.bytes);
    else
        to->sendTextMessage(QString::fromUtf8(message.bytes));
}

void BrowserServer::broadcast(const BrowserMessage& message, Skippable skippable) {
    for (auto& [socket, client] : clients_) {
        if (skippable == Skippable::Yes && client.behind) continue;
        if (skippable == Skippable::Yes && socket->bytesToWrite() > kMaxBrowserBacklog) {
            client.behind = true;
            continue;
        }
        send(socket, message);
    }
}

void BrowserServer::drained(QWebSocket* socket) {
    auto it = clients_.find(socket);
    if (it == clients_.end() || !it->second.behind || socket->bytesToWrite() > 0) return;
    it->second.behind = false;
    if (onJoin) onJoin(socket);
}

void BrowserServer::drop(QWebSocket* socket) {
    auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    std::unique_ptr<QWebSocket> owned = std::move(it->second.socket);
    clients_.erase(it);
    owned->disconnect(this);
    owned->abort();
    owned.release()->deleteLater();  // it may be inside one of its own signals
}

void BrowserServer::closeAll() {
    for (auto& [socket, client] : clients_) {
        socket->disconnect(this);
        socket->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("ended"));
        socket->flush();  // the program is ending: no event loop will send it later
        client.socket.release()->deleteLater();
    }
    clients_.clear();
}

}  // namespace velmora
