// The head of an HTTP response as it arrives in chunks of any size: the status line, the
// two fields the download uses (Content-Length and Location), and where the body begins,
// even when the blank line that ends the head is split between two chunks. Then the body,
// cut at the announced length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

class ResponseHead {
public:
    // Head lines longer than this are not ones a real server sends: a status line this long
    // is a bad status, and only this much of any other line is kept.
    static constexpr size_t kMaxLine = 8192;

    enum class State {
        Reading,    // more head bytes are needed
        BadStatus,  // neither 200 nor a redirect with a location, or a malformed length
        Body,       // 200 and the head has ended; the rest is body
        Redirect,   // 301, 302, 303, 307 or 308 with a Location, and the head has ended
    };

    // Reads head bytes from data and returns how many it used; once the state is Body, the
    // bytes of data from that offset on are body. Nothing is read after the head ends or
    // after a bad status line.
    size_t feed(const char* data, size_t n);
    State state() const { return state_; }
    int status() const { return status_; }  // 0 until the status line has ended
    // The Content-Length, when the head announced one.
    std::optional<std::uint64_t> contentLength() const { return length_; }
    const std::string& location() const { return location_; }  // empty when none

private:
    void endOfLine();
    void field(const std::string& line);
    void endOfHead();

    State state_ = State::Reading;
    std::string line_;
    bool lineCut_ = false;  // the current line was longer than kMaxLine
    int status_ = 0;
    bool malformed_ = false;
    std::optional<std::uint64_t> length_;
    std::string location_;
    char last_[3] = {0, 0, 0};  // the three bytes before the current one, oldest first
};

// The status code of "HTTP/<major>.<minor> <3 digits>" followed by a space or nothing (a CR
// is ignored); 0 for any other line.
int StatusCode(const std::string& line);
inline bool IsOkStatusLine(const std::string& line) {
    return StatusCode(line) == 200;
}

// One response as its bytes arrive: the head, then the body, which ends at the announced
// length or, without one, at the server's close.
class ResponseReader {
public:
    // The body bytes among the next n received bytes: a part of data, never past the
    // announced length.
    std::string_view take(const char* data, size_t n);
    const ResponseHead& head() const { return head_; }
    std::uint64_t bodyBytes() const { return body_; }
    // The announced length has arrived; nothing more belongs to the body.
    bool complete() const;
    // When the server has closed: the head ended with 200 and the body is whole.
    bool wholeAtClose() const;

private:
    ResponseHead head_;
    std::uint64_t body_ = 0;
};

}  // namespace velmora
