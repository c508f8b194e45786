// The request line of a connection: path and query parsing, and the query keys.
#include "net/web/connection.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velmora
