// URL and proxy rules of the download command, and the exact request text.
#include "net/download_url.h"

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
};

TEST(DownloadUrl, RulesForDirectAndProxiedUrls) {
    const UrlCase cases[] = {
        {"http://example.com/a/b.txt", "", "", true, "example.com", "80", "/a/b.txt"},
        {"http://example.com", "", "", true, "example.com", "80", "/"},
        {"http://example.com/", "", "", true, "example.com", "80", "/"},
        // A port stays part of the host name; only a proxy reaches other ports.
        {"http://example.com:8080/x", "", "", true, "example.com:8080", "80", "/x"},
        // "http://" anywhere is accepted, and every occurrence is removed.
        {"see http://example.com/x", "", "", true, "see example.com", "80", "/x"},
        {"http://a.example/http://b/c", "", "", true, "a.example", "80", "/b/c"},
        {"http://", "", "", true, "", "80", "/"},
        {"https://example.com/", "", "", false, "", "", ""},
        {"ftp://example.com/", "", "", false, "", "", ""},
        {"HTTP://example.com/", "", "", false, "", "", ""},
        {"", "", "", false, "", "", ""},
        // CR or LF would add header lines of the URL's own to the request.
        {"http://example.com/a\r\nX-Evil: 1", "", "", false, "", "", ""},
        {"http://example.com/a\tb", "", "", false, "", "", ""},
        // Through a proxy the whole URL, scheme included, is the path.
        {"http://example.com:8080/x?q=1", "proxy.lan", "3128", true, "proxy.lan", "3128",
         "http://example.com:8080/x?q=1"},
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
    }
}

TEST(DownloadUrl, RequestTextIsExact) {
    EXPECT_EQ(BuildRequest("/a b"),
              "GET /a b HTTP/1.0\nAccept-Language:ja\nUser-Agent: Simple Client\n\n");
    EXPECT_EQ(BuildRequest("http://h/"),
              "GET http://h/ HTTP/1.0\nAccept-Language:ja\nUser-Agent: Simple Client\n\n");
}

}  // namespace
}  // namespace velmora
