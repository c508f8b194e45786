// Where the browsers' server listens, from the [ADDRESS:]PORT of --serve and --mirror, and
// how it tells the user where to point a browser: the addresses with the token, and a QR
// code of the first one on a terminal, so a phone can join by camera.
#pragma once

#include <QHostAddress>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <string>

namespace velmora {

struct ServeAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;
};

// "PORT", "ADDRESS:PORT" or "[IPv6]:PORT"; the address is a literal (no name is looked
// up), loopback when left out. Nothing, with `error` set, for anything else.
std::optional<ServeAddress> ParseServeAddress(const std::string& text, std::string& error);

// The hosts a browser can reach the address by: itself, or for an any-address the
// machine's own addresses, those of other machines' reach first.
QStringList ReachableHosts(const QHostAddress& address);

// The QR code of `text` in half-block characters, black on white whatever the terminal's
// colours; empty when it cannot be made.
std::string TerminalQrCode(const std::string& text);

}  // namespace velmora
