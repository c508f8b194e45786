// Request-line parsing, form decoding, query keys and the escaping of request texts.
#include "net/request.h"

#include <gtest/gtest.h>

#include "net/escape.h"
#include "net_support.h"

namespace velmora {
namespace {

TEST(ParseRequestTarget, FindsPathAndQuery) {
    struct Case {
        std::string request;
        bool found;
        std::string path;
        std::optional<std::string> query;
    } cases[] = {
        {"GET /docs/a.txt HTTP/1.0\r\n", true, "docs/a.txt", std::nullopt},
        {"GET / HTTP/1.0\r\n", true, "", std::nullopt},
        {"HEAD /a.txt?x=1 HTTP/1.0\r\n", true, "a.txt", "x=1"},
        {"GET /input.cgi?input=a?b HTTP/1.0", true, "input.cgi?input=a", "b"},  // last "?"
        {"GET /?prev=abc HTTP/1.0", true, "", "prev=abc"},
        {"GET /a? HTTP/1.0", true, "a", ""},
        {"OPTIONS * HTTP/1.0\r\n", false, "", std::nullopt},  // no "/" in 10 bytes
        {"123456789/x HTTP/1.0", true, "x", std::nullopt},    // position 9 still counts
        {"1234567890/x HTTP/1.0", false, "", std::nullopt},   // position 10 does not
        {"GET /nospace", true, "nospace", std::nullopt},
        {std::string("GET /a\0b HTTP/1.0", 17), true, "a", std::nullopt},  // ends at a zero
        {"POST /form?k=v HTTP/1.0", true, "form", "k=v"},  // the method is not looked at
    };
    for (const auto& c : cases) {
        RequestTarget t = ParseRequestTarget(c.request);
        EXPECT_EQ(t.found, c.found) << c.request;
        EXPECT_EQ(t.path, c.path) << c.request;
        EXPECT_EQ(t.query, c.query) << c.request;
    }
}

TEST(ParseRequestTarget, CutsThePathAtOneThousandBytes) {
    std::string request = "GET /" + std::string(1500, 'a') + "?q=1 HTTP/1.0";
    RequestTarget t = ParseRequestTarget(request);
    EXPECT_EQ(t.path, std::string(1000, 'a'));
    EXPECT_FALSE(t.query);  // the "?" lay beyond the cut
}

TEST(UrlDecode, DecodesPlusAndEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a+b%25c", "a b%c"},
        {"100%25%25", "100%%"},
        {"%2B", "+"},      // a decoded "+" stays a plus
        {"%252B", "%2B"},  // decoded output is not decoded again
        {"my%20file.txt", "my file.txt"},
        {"%e3%81%82", "\xE3\x81\x82"},  // lower-case hex
        {"%zz", std::string(1, static_cast<char>((('Z' - 0x37) * 16 + ('Z' - 0x37)) & 0xFF))},
        {"%!0", std::string(1, static_cast<char>((('!' - 0x30) * 16) & 0xFF))},
        {"abc%", "abc%"},  // too short: kept as it is
        {"abc%4", "abc%4"},
        {"a%00b", "a"},  // a decoded zero ends the text
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        UrlDecode(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(TakeToken, SplitsAtTheFirstDelimiter) {
    struct Case {
        std::string s;
        char d;
        std::string token, rest;
    } cases[] = {
        {"a=1&b=2", '&', "a=1", "b=2"}, {"abc", '&', "abc", ""}, {"&x", '&', "", "x"},
        {"k=", '=', "k", ""},           {"", '=', "", ""},
    };
    for (const auto& c : cases) {
        std::string s = c.s;
        EXPECT_EQ(TakeToken(s, c.d), c.token) << c.s;
        EXPECT_EQ(s, c.rest) << c.s;
    }
}

TEST(ParseQuery, TakesTwoKeys) {
    struct Case {
        std::optional<std::string> query;
        std::string first, second;
    } cases[] = {
        {"input=a+b%25c", "a b%c", ""},
        {"prev=x&input=y", "y", "x"},
        {"input=1&input=2", "2", ""},          // the later one wins
        {"Input=1&inputs=2&other=3", "", ""},  // exact, case-sensitive keys
        {"in%3Dput=v", "", ""},                // a decoded "=" ends the key
        {"input=a%26b", "a&b", ""},            // a decoded "&" stays in its value
        {"input", "", ""},                     // a key without "=" has no value
        {"input=a=b", "a=b", ""},
        {std::nullopt, "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        QueryValues v = ParseQuery(c.query, "input", "prev");
        EXPECT_EQ(v.first, c.first) << c.query.value_or("(none)");
        EXPECT_EQ(v.second, c.second) << c.query.value_or("(none)");
    }
}

TEST(Escape, HtmlEscapesMarkupButNotCp932) {
    EXPECT_EQ(HtmlEscape("<b>&\"'"), "&lt;b&gt;&amp;&quot;&#39;");
    std::string kanji = test::Sj(u8"表示");  // 0x95 0x5C: a trail byte like a backslash
    EXPECT_EQ(HtmlEscape(kanji), kanji);
}

TEST(Escape, PercentEncodingRoundTrips) {
    std::string all;
    for (int i = 1; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string encoded = PercentEncode(all);
    const char* safe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%";
    EXPECT_EQ(encoded.find_first_not_of(safe), std::string::npos);
    std::string back = encoded;
    UrlDecode(back);
    EXPECT_EQ(back, all);
    EXPECT_EQ(PercentEncode("a b/c", true), "a%20b/c");
    EXPECT_EQ(PercentEncode("a b/c"), "a%20b%2Fc");
}

TEST(Escape, PageTextConvertsUtf8Names) {
    EXPECT_EQ(PageText(reinterpret_cast<const char*>(u8"写真.jpg")), test::Sj(u8"写真.jpg"));
    std::string cp932 = test::Sj(u8"写真");
    EXPECT_EQ(PageText(cp932), cp932);
    EXPECT_EQ(PageText("plain"), "plain");
}

}  // namespace
}  // namespace velmora
