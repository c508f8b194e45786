// URL and proxy rules of the download command, redirect locations, and the exact request texts.
#include "net/download/url.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct UrlCase {
    const char* url;
    const char* proxy;
    const char* proxyPort;
    bool ok;
    const char* host;
    const char* port;
    const char* path;
    const char* authority = "";  // the Host header; not checked when empty
    const char* tunnel = "";
};

TEST(DownloadUrl, RulesForDirectAndProxiedUrls) {
    const UrlCase cases[] = {
        {"http://example.com/a/b.txt", "", "", true, "example.com", "80", "/a/b.txt",
         "example.com"},
        {"http://example.com", "", "", true, "example.com", "80", "/"},
        {"http://example.com/", "", "", true, "example.com", "80", "/"},
        // A port after the host is honoured and named in the Host header.
        {"http://example.com:8080/x", "", "", true, "example.com", "8080", "/x",
         "example.com:8080"},
        {"http://example.com:80/x", "", "", true, "example.com", "80", "/x", "example.com"},
        {"http://example.com:/x", "", "", true, "example.com", "80", "/x", "example.com"},
        {"http://[::1]:8080/x", "", "", true, "::1", "8080", "/x", "[::1]:8080"},
        {"http://::1/x", "", "", true, "::1", "80", "/x", "[::1]"},
        {"http://example.com:0/", "", "", false, "", "", ""},
        {"http://example.com:65536/", "", "", false, "", "", ""},
        {"http://example.com:8o/", "", "", false, "", "", ""},
        {"http://[::1/", "", "", false, "", "", ""},
        // "http://" anywhere is accepted, and every occurrence is removed.
        {"see http://example.com/x", "", "", true, "see example.com", "80", "/x"},
        {"http://a.example/http://b/c", "", "", true, "a.example", "80", "/b/c"},
        {"http://", "", "", true, "", "80", "/"},
        // https only at the start; the fragment stays home.
        {"https://example.com", "", "", true, "example.com", "443", "/", "example.com"},
        {"https://example.com:8443/a?b#c", "", "", true, "example.com", "8443", "/a?b",
         "example.com:8443"},
        {"https://example.com?q", "", "", true, "example.com", "443", "/?q"},
        {"see https://example.com/", "", "", false, "", "", ""},
        {"ftp://example.com/", "", "", false, "", "", ""},
        {"HTTP://example.com/", "", "", false, "", "", ""},
        {"", "", "", false, "", "", ""},
        // CR or LF would add header lines of the URL's own to the request.
        {"http://example.com/a\r\nX-Evil: 1", "", "", false, "", "", ""},
        {"https://example.com/a\nX-Evil: 1", "", "", false, "", "", ""},
        {"http://example.com/a\tb", "", "", false, "", "", ""},
        // Through a proxy the whole URL, scheme included, is the path ...
        {"http://example.com:8080/x?q=1", "proxy.lan", "3128", true, "proxy.lan", "3128",
         "http://example.com:8080/x?q=1", "example.com:8080"},
        // ... and https goes through a tunnel to the server's port.
        {"https://example.com/x", "proxy.lan", "3128", true, "proxy.lan", "3128", "/x",
         "example.com", "example.com:443"},
        {"https://[::1]:8443/", "proxy.lan", "3128", true, "proxy.lan", "3128", "/", "[::1]:8443",
         "[::1]:8443"},
        {"ftp://example.com/", "proxy.lan", "3128", false, "", "", ""},
        // Double-byte characters pass unchanged (CP932 "表" has a backslash as second byte).
        {"http://example.com/\x95\x5c.txt", "", "", true, "example.com", "80", "/\x95\x5c.txt"},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(c.url);
        DownloadTarget t;
        ASSERT_EQ(ParseDownloadUrl(c.url, c.proxy, c.proxyPort, t), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(t.host, c.host);
        EXPECT_EQ(t.port, c.port);
        EXPECT_EQ(t.path, c.path);
        if (*c.authority) {
            EXPECT_EQ(t.authority, c.authority);
        }
        EXPECT_EQ(t.tunnel, c.tunnel);
        EXPECT_EQ(t.secure, std::string(c.url).rfind("https://", 0) == 0);
    }
}

TEST(DownloadUrl, RedirectLocations) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"https://a.example/dir/page?q=1", "other", "https://a.example/dir/other"},
        {"https://a.example/dir/page?q=1", "/root", "https://a.example/root"},
        {"https://a.example/dir/page?q=1", "?q=2", "https://a.example/dir/page?q=2"},
        {"https://a.example/dir/page?q=1", "//b.example/x", "https://b.example/x"},
        {"https://a.example/dir/page", "HTTP://b.example/", "http://b.example/"},
        {"https://a.example/dir/page", "https://b.example:8443/y", "https://b.example:8443/y"},
        {"http://a.example:8080/x/y", "z", "http://a.example:8080/x/z"},
        {"http://[::1]:8080/x", "/y", "http://[::1]:8080/y"},
        {"http://a.example/x", "ftp://b.example/", "ftp://b.example/"},
        {"http://a.example/x", "http://b.example/y#part", "http://b.example/y"},
    };
    for (auto [base, location, expected] : cases) {
        SCOPED_TRACE(std::string(base) + " + " + location);
        DownloadTarget from;
        ASSERT_TRUE(ParseDownloadUrl(base, "", "", from));
        EXPECT_EQ(ResolveLocation(from, location), expected);
    }
}

TEST(DownloadUrl, RequestTextIsExact) {
    EXPECT_EQ(BuildRequest("/a b", "example.com"),
              "GET /a b HTTP/1.0\r\nHost: example.com\r\nAccept-Language:ja\r\n"
              "User-Agent: Simple Client\r\n\r\n");
    EXPECT_EQ(BuildRequest("http://h:81/", "h:81"),
              "GET http://h:81/ HTTP/1.0\r\nHost: h:81\r\nAccept-Language:ja\r\n"
              "User-Agent: Simple Client\r\n\r\n");
    EXPECT_EQ(BuildConnectRequest("h:443"),
              "CONNECT h:443 HTTP/1.1\r\nHost: h:443\r\nUser-Agent: Simple Client\r\n\r\n");
}

}  // namespace
}  // namespace velmora
