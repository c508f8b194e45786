// Parsing the listening address and announcing the page's addresses.
#include "net/browser/serve_address.h"

#include <qrencode.h>

#include <QNetworkInterface>
#include <charconv>

namespace velmora {

namespace {

std::optional<quint16> ParsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

}  // namespace

std::optional<ServeAddress> ParseServeAddress(const std::string& text, std::string& error) {
    ServeAddress out;
    std::string_view host, port = text;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos) {
            error = "an IPv6 address is written [ADDRESS]:PORT, as in [::1]:8080";
            return std::nullopt;
        }
        host = std::string_view(text).substr(1, close - 1);
        port = std::string_view(text).substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = std::string_view(text).substr(0, colon);
        port = std::string_view(text).substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            error = "an IPv6 address is written [ADDRESS]:PORT, as in [::1]:8080";
            return std::nullopt;
        }
    }
    const std::optional<quint16> number = ParsePort(port);
    if (!number) {
        error = "the port must be a number from 0 to 65535 (0: any free one), not \"" +
                std::string(port) + "\"";
        return std::nullopt;
    }
    out.port = *number;
    if (!host.empty() &&
        !out.address.setAddress(QString::fromUtf8(host.data(), qsizetype(host.size())))) {
        error = "\"" + std::string(host) +
                "\" is not an IP address (such as 127.0.0.1, 0.0.0.0 or [::])";
        return std::nullopt;
    }
    return out;
}

QStringList ReachableHosts(const QHostAddress& address) {
    if (address != QHostAddress::AnyIPv4 && address != QHostAddress::AnyIPv6 &&
        address != QHostAddress::Any)
        return {address.toString()};
    QStringList outside, loopback;
    const bool v6 = address != QHostAddress::AnyIPv4;
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv6Protocol && (!v6 || !a.scopeId().isEmpty()))
            continue;  // a link-local address needs its interface named: not for a camera
        (a.isLoopback() ? loopback : outside).append(a.toString());
    }
    return outside + loopback;
}

std::string TerminalQrCode(const std::string& text) {
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return {};
    const int n = code->width;
    constexpr int kQuiet = 2;  // modules of white around the code, so a camera finds it
    auto dark = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < n && y < n && (code->data[y * n + x] & 1);
    };
    std::string out;
    for (int y = -kQuiet; y < n + kQuiet; y += 2) {
        out += "\x1b[30;47m";  // black on white
        for (int x = -kQuiet; x < n + kQuiet; ++x) {
            const bool top = dark(x, y), bottom = dark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += "\x1b[0m\n";
    }
    QRcode_free(code);
    return out;
}

}  // namespace velmora
