// Where a download goes: the server and request path taken from the URL of the script
// line (or of a redirect) and the proxy settings, and the exact request texts sent there.
#pragma once

#include <string>

namespace velmora {

struct DownloadTarget {
    bool secure = false;    // https: TLS to the server, whose certificate must verify
    std::string host;       // where the connection goes: the server, or the proxy
    std::string port;       // service text for the look-up
    std::string path;       // what follows GET
    std::string server;     // the server's name or address, as its certificate must name it
    std::string authority;  // the Host header: the server, with ":port" unless the default
    std::string tunnel;     // "server:port" that CONNECT asks the proxy for; empty when none
    std::string base;       // absolute URL that relative redirect locations resolve against
};

// False when the URL cannot be requested: neither starting with "https://" nor holding
// "http://", control bytes that would break the request, or a port that is no number from 1
// to 65535. An http URL keeps its old reading: every "http://" is removed and the rest splits
// at its first "/" into server and path. A ":port" after the server is its port (80 or 443
// otherwise); "[...]" encloses an IPv6 address. Through a proxy an http request names the
// whole URL as written, and an https one goes through a CONNECT tunnel.
bool ParseDownloadUrl(const std::string& url, const std::string& proxy,
                      const std::string& proxyPort, DownloadTarget& target);

// The absolute URL a redirect's Location leads to, from the request that was answered with it.
std::string ResolveLocation(const DownloadTarget& from, const std::string& location);

// The HTTP/1.0 GET for a path. Lines end in CR LF, as HTTP asks, since strict servers
// refuse a bare LF; the Host line is the only one added to the request the command always sent.
std::string BuildRequest(const std::string& path, const std::string& authority);

// The request that asks a proxy for a tunnel to "server:port".
std::string BuildConnectRequest(const std::string& tunnel);

}  // namespace velmora
