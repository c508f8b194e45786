// The response head: status-line check and the end of the head, however the bytes are cut.
#include "net/download/response_head.h"

#include <gtest/gtest.h>

#include <optional>

namespace velmora {
namespace {

TEST(ResponseHead, StatusLines) {
    const std::pair<const char*, bool> cases[] = {
        {"HTTP/1.1 302 Found", false},
        {"HTTP/1.0 200 OK", true},
        {"HTTP/1.1 200 OK\r", true},
        {"HTTP/1.0 200", true},
        {"HTTP/1.0 200\r", true},
        {"HTTP/1.0  200 OK", true},
        {"HTTP/1.0 404 Not Found", false},
        {"HTTP/1.0 2000 OK", false},
        {"HTTP/1.0 201 Created", false},
        {"HTTP/1.0 302 Found (was 200)", false},
        {"HTTP/1.0 OK 200", false},
        {"HTTP/x.0 200 OK", false},
        {"HTTP/1. 200 OK", false},
        {"http/1.0 200 OK", false},
        {"200 OK", false},
        {"", false},
    };
    for (auto [line, ok] : cases) EXPECT_EQ(IsOkStatusLine(line), ok) << line;
    EXPECT_EQ(StatusCode("HTTP/1.1 302 Found"), 302);
    EXPECT_EQ(StatusCode("HTTP/1.0 3021"), 0);
}

// What a whole response gives: the state, the announced length, the location, the body
// taken, and whether it counts as whole when the server closes right after it.
TEST(ResponseHead, FieldsRedirectsAndLengths) {
    struct Case {
        const char* response;
        ResponseHead::State state;
        std::optional<std::uint64_t> length;
        const char* location;
        const char* body;
        bool whole;
    };
    using S = ResponseHead::State;
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody", S::Body, 4, "", "body", true},
        // Bytes past the length are not body; fewer are a short body.
        {"HTTP/1.0 200 OK\r\ncontent-length:3\r\n\r\nbody", S::Body, 3, "", "bod", true},
        {"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nabc", S::Body, 100000, "", "abc", false},
        {"HTTP/1.0 200 OK\nContent-Length: 0\n\n", S::Body, 0, "", "", true},
        {"HTTP/1.0 200 OK\r\n\r\nany length", S::Body, std::nullopt, "", "any length", true},
        {"HTTP/1.0 200 OK\r\n\r\n", S::Body, std::nullopt, "", "", true},
        // A length that is no number, or two different ones, leave the end unknown.
        {"HTTP/1.0 200 OK\r\nContent-Length: -1\r\n\r\nx", S::BadStatus, std::nullopt, "", "",
         false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxx", S::BadStatus, 2, "",
         "", false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", S::BadStatus,
         std::nullopt, "", "", false},
        {"HTTP/1.1 302 Found\r\nLocation:  https://a/b \r\n\r\nmoved", S::Redirect, std::nullopt,
         "https://a/b", "", false},
        {"HTTP/1.1 308 Permanent Redirect\nlocation: /x\n\n", S::Redirect, std::nullopt, "/x", "",
         false},
        {"HTTP/1.1 302 Found\r\n\r\n", S::BadStatus, std::nullopt, "", "", false},
        {"HTTP/1.1 304 Not Modified\r\nLocation: /x\r\n\r\n", S::BadStatus, std::nullopt, "", "",
         false},
        {"HTTP/1.0 200 OK\r\nX-Location: /x\r\n\r\n", S::Body, std::nullopt, "", "", true},
        // A chunked framing wins over any length beside it, and ends the body by itself.
        {"HTTP/1.0 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n"
         "3\r\nabc\r\n02 \r\nde\r\n0\r\n\r\nnot body",
         S::Body, std::nullopt, "", "abcde", true},
        {"HTTP/1.1 200 OK\ncontent-length: x\ntransfer-encoding: identity, CHUNKED\n\n"
         "a;b=c\n0123456789\n0\nX-T: 1\n\n",
         S::Body, std::nullopt, "", "0123456789", true},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", S::Body, std::nullopt,
         "", "abc", false},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n0\r\n\r\n", S::Body,
         std::nullopt, "", "abc", false},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n 3\r\nabc\r\n0\r\n\r\n", S::Body,
         std::nullopt, "", "", false},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
         "10000000000000000\r\n",
         S::Body, std::nullopt, "", "", false},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nx", S::BadStatus, std::nullopt, "", "",
         false},
        {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked, chunked\r\n\r\n", S::BadStatus,
         std::nullopt, "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.response);
        ResponseReader reader;
        std::string body;
        std::string response = c.response;
        for (char ch : response) body.append(reader.take(&ch, 1));
        EXPECT_EQ(reader.head().state(), c.state);
        EXPECT_EQ(reader.head().contentLength(), c.length);
        EXPECT_EQ(reader.head().location(), c.location);
        EXPECT_EQ(body, c.body);
        EXPECT_EQ(reader.wholeAtClose(), c.whole);
    }
}

// Header lines beyond the line limit are dropped, not stored, and do not end the head early.
TEST(ResponseHead, HugeFieldsAreSkipped) {
    std::string response = "HTTP/1.0 200 OK\r\nX-Big: " + std::string(1 << 20, 'a') +
                           "\r\nContent-Length: 2\r\n\r\nok";
    ResponseReader reader;
    std::string body(reader.take(response.data(), response.size()));
    EXPECT_EQ(body, "ok");
    EXPECT_TRUE(reader.complete());
    std::string cut =
        "HTTP/1.0 302 Found\r\nLocation: /" + std::string(ResponseHead::kMaxLine, 'a') + "\r\n\r\n";
    ResponseHead head;
    head.feed(cut.data(), cut.size());
    EXPECT_EQ(head.state(), ResponseHead::State::BadStatus);
}

// Feeds the response in two pieces cut at `cut` and returns the body bytes it yields.
std::string BodyAfterCut(const std::string& response, size_t cut, ResponseHead::State& state) {
    ResponseHead head;
    std::string body;
    for (auto [from, to] : {std::pair{size_t{0}, cut}, std::pair{cut, response.size()}}) {
        const char* data = response.data() + from;
        size_t n = to - from;
        if (head.state() == ResponseHead::State::Reading) {
            size_t used = head.feed(data, n);
            data += used;
            n -= used;
        }
        if (head.state() == ResponseHead::State::Body) body.append(data, n);
    }
    state = head.state();
    return body;
}

TEST(ResponseHead, HeadSplitAtEveryPosition) {
    const std::string bodies[] = {"", "x", "\r\n\r\nbody with\n\nblank lines\r\n"};
    const std::string heads[] = {
        "HTTP/1.0 200 OK\r\nServer: t\r\nX-Note: 200\r\n\r\n",
        "HTTP/1.0 200 OK\nServer: t\n\n",
        "HTTP/1.1 200 OK\r\n\r\n",
        "HTTP/1.0 200 OK\n\n",
        // LF LF ends the head even after CR LF; the CR before the blank line is head.
        "HTTP/1.0 200 OK\r\nA: b\r\n\n",
    };
    for (const std::string& head : heads) {
        for (const std::string& body : bodies) {
            std::string response = head + body;
            for (size_t cut = 0; cut <= response.size(); ++cut) {
                SCOPED_TRACE(::testing::Message() << head << " cut at " << cut);
                ResponseHead::State state;
                EXPECT_EQ(BodyAfterCut(response, cut, state), body);
                EXPECT_EQ(state, ResponseHead::State::Body);
            }
        }
    }
}

TEST(ResponseHead, OneByteAtATime) {
    const std::string response = "HTTP/1.0 200 OK\r\nA: 1\r\n\r\nhello";
    ResponseHead head;
    size_t i = 0;
    while (i < response.size() && head.state() == ResponseHead::State::Reading)
        i += head.feed(response.data() + i, 1);
    EXPECT_EQ(head.state(), ResponseHead::State::Body);
    EXPECT_EQ(response.substr(i), "hello");
}

TEST(ResponseHead, BadStatusEvenWhenTheHeadMentions200) {
    const std::string responses[] = {
        "HTTP/1.0 404 Not Found\r\nContent-Length: 200\r\n\r\n200",
        "HTTP/1.0 500 Error 200\r\n\r\n",
        "<html>200</html>\n\n",
        "\n\nHTTP/1.0 200 OK\n\n",
    };
    for (const std::string& r : responses) {
        for (size_t cut = 0; cut <= r.size(); ++cut) {
            ResponseHead::State state;
            BodyAfterCut(r, cut, state);
            EXPECT_EQ(state, ResponseHead::State::BadStatus) << r << " cut at " << cut;
        }
    }
}

TEST(ResponseHead, IncompleteHeadKeepsReading) {
    ResponseHead head;
    std::string part = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r";
    EXPECT_EQ(head.feed(part.data(), part.size()), part.size());
    EXPECT_EQ(head.state(), ResponseHead::State::Reading);
}

TEST(ResponseHead, EndlessStatusLineIsRejected) {
    ResponseHead head;
    std::string junk(20000, 'a');
    head.feed(junk.data(), junk.size());
    EXPECT_EQ(head.state(), ResponseHead::State::BadStatus);
}

}  // namespace
}  // namespace velmora
