// The head of an HTTP response as it arrives in pieces of any size: the status line, the
// fields the download uses (Content-Length, Transfer-Encoding and Location), and where the
// body begins, even when the blank line that ends the head is split between two pieces.
// Then the body: cut at the announced length, or taken out of its chunked framing.
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
        BadStatus,  // neither 200 nor a redirect with a location, a malformed length, or
                    // a transfer coding other than chunked
        Body,       // 200 and the head has ended; the rest is body
        Redirect,   // 301, 302, 303, 307 or 308 with a Location, and the head has ended
    };

    // Reads head bytes from data and returns how many it used; once the state is Body, the
    // bytes of data from that offset on are body. Nothing is read after the head ends or
    // after a bad status line.
    size_t feed(const char* data, size_t n);
    State state() const { return state_; }
    int status() const { return status_; }  // 0 until the status line has ended
    // The Content-Length, when the head announced one and the body is not chunked (a
    // chunked framing decides where the body ends, whatever length stands beside it).
    std::optional<std::uint64_t> contentLength() const { return chunked_ ? std::nullopt : length_; }
    bool chunked() const { return chunked_; }
    const std::string& location() const { return location_; }  // empty when none

private:
    void endOfLine();
    void field(const std::string& line);
    void transferCodings(std::string list);
    void endOfHead();

    State state_ = State::Reading;
    std::string line_;
    bool lineCut_ = false;  // the current line was longer than kMaxLine
    int status_ = 0;
    bool malformed_ = false;
    bool badLength_ = false;  // a length that is no number, or two different ones
    bool chunked_ = false;
    bool otherCoding_ = false;  // a transfer coding this reader cannot undo
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

// A chunked body as its bytes arrive: hexadecimal sizes (extensions after ";" skipped),
// each chunk's data and its line end, the last chunk of size 0 and its trailer. CR LF and a
// bare LF both end a line. Anything else is a broken framing.
class ChunkedBody {
public:
    // Decodes data[0, n) in place: the data bytes are moved to the front of data and their
    // count returned. Nothing is read after the end or after a broken framing.
    size_t decode(char* data, size_t n);
    bool done() const { return state_ == State::Done; }
    bool broken() const { return state_ == State::Broken; }

private:
    enum class State { Size, Extension, Data, DataEnd, Trailer, Done, Broken };
    void step(char c);
    void sizeByte(char c);
    void endOfLine();

    State state_ = State::Size;
    std::uint64_t left_ = 0;  // the chunk size while it is read, then the data still due
    int digits_ = 0;
    size_t lineBytes_ = 0;  // of the current extension or trailer line
    size_t trailerBytes_ = 0;
    bool sizeEnded_ = false;  // blanks came after the digits
    bool cr_ = false;         // a CR that must be followed by LF
};

// One response as its bytes arrive: the head, then the body, which ends at the announced
// length, at the end of its chunked framing or, with neither, at the server's close.
class ResponseReader {
public:
    // The body bytes among the next n received bytes: a part of data (where a chunked body
    // is decoded in place), never past the announced length or the framing's end.
    std::string_view take(char* data, size_t n);
    const ResponseHead& head() const { return head_; }
    std::uint64_t bodyBytes() const { return body_; }
    // The body has ended by its length or its framing; nothing more belongs to it.
    bool complete() const;
    // When the server has closed: the head ended with 200 and the body is whole.
    bool wholeAtClose() const;
    // The chunked framing broke: what follows cannot be told from data.
    bool framingBroken() const { return chunks_.broken(); }

private:
    ResponseHead head_;
    ChunkedBody chunks_;
    std::uint64_t body_ = 0;
};

}  // namespace velmora
