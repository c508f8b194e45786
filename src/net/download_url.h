// Where a download goes: the host, port and request path taken from the URL of the
// script line and the proxy settings, and the exact request text sent there.
#pragma once

#include <string>

namespace velmora {

struct DownloadTarget {
    std::string host;  // name or address to look up
    std::string port;  // service text for the look-up
    std::string path;  // what follows GET in the request line
};

// False when the URL cannot be requested (no "http://" in it, or control bytes that would
// break the request). With a proxy the whole URL is the path; otherwise every "http://" is
// removed and the rest splits at its first "/" into host and path, on port 80. A ":port"
// after the host stays part of the host name.
bool ParseDownloadUrl(const std::string& url, const std::string& proxy,
                      const std::string& proxyPort, DownloadTarget& target);

// The HTTP/1.0 GET for a path, with single LF line ends and no Host header.
std::string BuildRequest(const std::string& path);

}  // namespace velmora
