// URL and proxy rules of the download command.
#include "net/download/url.h"

#include <algorithm>
#include <cctype>

namespace velmora {

namespace {

const std::string kHttp = "http://";
const std::string kHttps = "https://";

// CR or LF in the path would let the URL add header lines of its own.
bool HasControlBytes(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

std::string RemoveScheme(const std::string& url) {
    std::string rest;
    size_t from = 0;
    for (size_t at; (at = url.find(kHttp, from)) != std::string::npos; from = at + kHttp.size())
        rest.append(url, from, at - from);
    rest.append(url, from, std::string::npos);
    return rest;
}

bool IsPort(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    int value = std::stoi(text);
    return value >= 1 && value <= 65535;
}

// Splits "server", "server:port", "[v6]" or "[v6]:port"; an unbracketed address with more
// than one colon is an IPv6 address without a port.
bool SplitAuthority(const std::string& authority, std::string& server, std::string& port) {
    std::string portText;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return false;
        server = authority.substr(1, close - 1);
        std::string rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return false;
        if (!rest.empty()) portText = rest.substr(1);
    } else if (std::count(authority.begin(), authority.end(), ':') == 1) {
        size_t colon = authority.find(':');
        server = authority.substr(0, colon);
        portText = authority.substr(colon + 1);
    } else {
        server = authority;
    }
    if (portText.empty()) return true;
    if (!IsPort(portText)) return false;
    port = portText;
    return true;
}

std::string Bracketed(const std::string& server) {
    return server.find(':') == std::string::npos ? server : "[" + server + "]";
}

}  // namespace

bool ParseDownloadUrl(const std::string& url, const std::string& proxy,
                      const std::string& proxyPort, DownloadTarget& target) {
    if (HasControlBytes(url)) return false;
    bool secure = url.compare(0, kHttps.size(), kHttps) == 0;
    if (!secure && url.find(kHttp) == std::string::npos) return false;
    std::string authority, path;
    if (secure) {
        std::string rest = url.substr(kHttps.size());
        size_t end = rest.find_first_of("/?#");
        authority = rest.substr(0, end);
        path = end == std::string::npos ? "" : rest.substr(end);
        path = path.substr(0, path.find('#'));
        if (path.empty() || path[0] != '/') path.insert(0, "/");
    } else {
        std::string rest = RemoveScheme(url);
        size_t slash = rest.find('/');
        authority = rest.substr(0, slash);
        path = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    const std::string defaultPort = secure ? "443" : "80";
    std::string server, port = defaultPort;
    if (!SplitAuthority(authority, server, port)) return false;

    target = {};
    target.secure = secure;
    target.server = server;
    target.authority = Bracketed(server) + (port == defaultPort ? "" : ":" + port);
    target.base = (secure ? kHttps : kHttp) + target.authority + path;
    if (proxy.empty()) {
        target.host = server;
        target.port = port;
        target.path = path;
    } else {
        target.host = proxy;
        target.port = proxyPort;
        target.path = secure ? path : url;
        if (secure) target.tunnel = Bracketed(server) + ":" + port;
    }
    return true;
}

std::string ResolveLocation(const DownloadTarget& from, const std::string& target) {
    // The fragment belongs to the client, never to a request.
    const std::string location = target.substr(0, target.find('#'));
    size_t schemeEnd = location.find_first_of(":/?#");
    if (schemeEnd != std::string::npos && schemeEnd > 0 && location[schemeEnd] == ':') {
        std::string scheme = location.substr(0, schemeEnd);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return scheme + location.substr(schemeEnd);
    }
    const std::string& scheme = from.secure ? kHttps : kHttp;
    if (location.compare(0, 2, "//") == 0) return scheme.substr(0, scheme.size() - 2) + location;
    std::string origin = scheme + from.authority;
    std::string path = from.base.substr(origin.size());
    if (!location.empty() && location[0] == '/') return origin + location;
    std::string directory = path.substr(0, path.find('?'));
    if (!location.empty() && location[0] == '?') return origin + directory + location;
    if (location.empty()) return origin + path;
    return origin + directory.substr(0, directory.rfind('/') + 1) + location;
}

std::string BuildRequest(const std::string& path, const std::string& authority) {
    return "GET " + path + " HTTP/1.0\r\nHost: " + authority +
           "\r\nAccept-Language:ja\r\nUser-Agent: Simple Client\r\n\r\n";
}

std::string BuildConnectRequest(const std::string& tunnel) {
    return "CONNECT " + tunnel + " HTTP/1.1\r\nHost: " + tunnel +
           "\r\nUser-Agent: Simple Client\r\n\r\n";
}

}  // namespace velmora
