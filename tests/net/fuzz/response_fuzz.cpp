// libFuzzer target for what a download reads from a server: the response head (status line,
// Content-Length, Location, the blank line that ends it) and the body cut at its length, fed
// whole and again in pieces of every size; then the redirect location turned into the next
// request. The first two input bytes choose the pieces, the rest is the response.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/download_url.h"
#include "net/response_head.h"

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
};

// Feeds response in pieces of 1 to `step` bytes, the sizes varied by `salt`; all at once
// when step is 0.
Outcome Read(const std::string& response, size_t step, unsigned salt) {
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
    return {h.state(), h.status(),        h.contentLength(),    h.location(),
            body,      reader.complete(), reader.wholeAtClose()};
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
    Require(whole.whole == split.whole);

    using S = ResponseHead::State;
    if (whole.state == S::Body) {
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
    return 0;
}
