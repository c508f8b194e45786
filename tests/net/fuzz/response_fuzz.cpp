// libFuzzer target for what a download reads from a server: the response head (status line,
// Content-Length, Transfer-Encoding, Location, the blank line that ends it) and the body cut
// at its length or taken out of its chunks, fed whole and again in pieces of every size; any
// bytes framed in chunks of any sizes come back exactly; then the redirect location turned
// into the next request. The first two input bytes choose the pieces, the rest is the response.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/download/response_head.h"
#include "net/download/url.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

struct Outcome {
    ResponseHead::State state;
    int status;
    std::optional<std::uint64_t> length;
    std::string location;
    std::string body;
    bool complete;
    bool whole;
    bool chunked;
    bool broken;
};

// Feeds response in pieces of 1 to `step` bytes, the sizes varied by `salt`; all at once
// when step is 0. A copy, since a chunked body is decoded where it lies.
Outcome Read(std::string response, size_t step, unsigned salt) {
    ResponseReader reader;
    std::string body;
    for (size_t at = 0; at < response.size();) {
        size_t n =
            step ? std::min(response.size() - at, 1 + (salt + at * 31) % step) : response.size();
        std::string_view taken = reader.take(response.data() + at, n);
        // What is taken is a part of the piece, never beyond the announced length.
        Require(taken.empty() || (taken.data() >= response.data() + at &&
                                  taken.data() + taken.size() <= response.data() + at + n));
        body.append(taken);
        at += n;
    }
    Require(reader.bodyBytes() == body.size());
    const ResponseHead& h = reader.head();
    return {h.state(),
            h.status(),
            h.contentLength(),
            h.location(),
            body,
            reader.complete(),
            reader.wholeAtClose(),
            h.chunked(),
            reader.framingBroken()};
}

// The payload in chunks whose sizes, hexadecimal case and line ends the salt chooses, with
// an extension and a trailer now and then: whatever the framing, the payload comes back.
std::string Chunked(const std::string& payload, unsigned salt) {
    std::string out = "HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const char* end = salt & 1 ? "\n" : "\r\n";
    for (size_t at = 0, i = 0; at < payload.size(); ++i) {
        size_t n = std::min(payload.size() - at, 1 + (salt * 7 + i * 13) % 300);
        char size[32];
        std::snprintf(size, sizeof size, (salt + i) & 2 ? "%zX" : "%zx", n);
        out += std::string(size) + ((salt + i) % 5 == 0 ? ";name=\"v\"" : "") + end;
        out += payload.substr(at, n) + end;
        at += n;
    }
    return out + "0" + end + (salt & 4 ? "X-Check: 1" + std::string(end) : "") + end;
}

// Where the head ends: after the first LF LF or CR LF CR LF.
size_t HeadEnd(const std::string& r) {
    for (size_t i = 1; i < r.size(); ++i) {
        if (r[i] != '\n') continue;
        if (r[i - 1] == '\n' || (i >= 3 && r.compare(i - 3, 4, "\r\n\r\n") == 0)) return i + 1;
    }
    return std::string::npos;
}

void CheckRedirect(const std::string& location) {
    for (const char* base : {"https://a.example/dir/page?q", "http://b.example:8080/x"}) {
        DownloadTarget from;
        Require(ParseDownloadUrl(base, "", "", from));
        std::string next = ResolveLocation(from, location);
        DownloadTarget to;
        if (!ParseDownloadUrl(next, "", "", to)) continue;
        // A followed location can never add lines to the request, and only an https URL is
        // fetched over TLS.
        // Every line ends in CR LF, and only the last one is empty.
        std::string request = BuildRequest(to.path, to.authority);
        for (size_t i = 0; i < request.size(); ++i)
            Require((request[i] == '\r') == (i + 1 < request.size() && request[i + 1] == '\n'));
        Require(request.find("\r\n\r\n") == request.size() - 4);
        Require(to.secure == (next.rfind("https://", 0) == 0));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::string response(reinterpret_cast<const char*>(data) + 2, size - 2);
    Outcome whole = Read(response, 0, 0);
    Outcome split = Read(response, 1 + data[0] % 64, data[1]);
    Require(whole.state == split.state && whole.status == split.status);
    Require(whole.length == split.length && whole.location == split.location);
    Require(whole.body == split.body && whole.complete == split.complete);
    Require(whole.whole == split.whole && whole.broken == split.broken);

    using S = ResponseHead::State;
    if (whole.state == S::Body && whole.chunked) {
        // The framing is taken out, never added: the body is shorter than what followed the
        // head, and a body cut by a broken framing is never whole.
        Require(!whole.length);
        Require(whole.body.size() <= response.size() - HeadEnd(response));
        Require(!(whole.broken && (whole.complete || whole.whole)));
        Require(whole.complete == whole.whole);
    } else if (whole.state == S::Body) {
        Require(whole.status == 200);
        size_t end = HeadEnd(response);
        Require(end != std::string::npos);
        std::string expected = response.substr(end);
        if (whole.length && expected.size() > *whole.length) expected.resize(*whole.length);
        Require(whole.body == expected);
        Require(whole.complete == (whole.length && whole.body.size() == *whole.length));
        Require(whole.whole == (!whole.length || whole.complete));
    } else {
        Require(whole.body.empty() && !whole.complete && !whole.whole);
    }
    if (whole.state == S::Redirect) {
        Require(whole.status / 100 == 3 && !whole.location.empty());
        Require(whole.location.size() <= ResponseHead::kMaxLine);
        CheckRedirect(whole.location);
    }

    Outcome framed = Read(Chunked(response, data[1]), 1 + data[0] % 64, data[1]);
    Require(framed.state == S::Body && framed.body == response);
    Require(framed.complete && framed.whole && !framed.broken);
    return 0;
}
