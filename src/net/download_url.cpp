// URL and proxy rules of the download command.
#include "net/download_url.h"

#include <algorithm>

namespace velmora {

namespace {

const std::string kScheme = "http://";

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
    for (size_t at; (at = url.find(kScheme, from)) != std::string::npos; from = at + kScheme.size())
        rest.append(url, from, at - from);
    rest.append(url, from, std::string::npos);
    return rest;
}

}  // namespace

bool ParseDownloadUrl(const std::string& url, const std::string& proxy,
                      const std::string& proxyPort, DownloadTarget& target) {
    if (url.find(kScheme) == std::string::npos || HasControlBytes(url)) return false;
    if (!proxy.empty()) {
        target = {proxy, proxyPort, url};
        return true;
    }
    std::string rest = RemoveScheme(url);
    size_t slash = rest.find('/');
    if (slash == std::string::npos)
        target = {rest, "80", "/"};
    else
        target = {rest.substr(0, slash), "80", rest.substr(slash)};
    return true;
}

std::string BuildRequest(const std::string& path) {
    return "GET " + path + " HTTP/1.0\nAccept-Language:ja\nUser-Agent: Simple Client\n\n";
}

}  // namespace velmora
