// Status line, fields and head-end detection for the download command, and the decoding of
// a chunked body. The head ends at the first CR LF CR LF or LF LF.
#include "net/download/response_head.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "net/shared/http_text.h"

namespace velmora {

namespace {

// The body of a file larger than this is no length a server can mean.
constexpr std::uint64_t kMaxLength = std::uint64_t{1} << 62;
// Trailer fields after the last chunk are read and dropped, up to this much.
constexpr size_t kMaxTrailer = 64 * 1024;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips one run of digits; false when there is none.
bool SkipDigits(const std::string& s, size_t& i) {
    size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i > start;
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The field's value when line is "<name>:<value>", name compared without case; spaces and
// tabs around the value and a final CR are dropped.
std::optional<std::string> FieldValue(const std::string& line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return std::nullopt;
    for (size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return std::nullopt;
    size_t begin = name.size() + 1;
    size_t end = line.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (begin < end && blank(line[begin])) ++begin;
    while (end > begin && blank(line[end - 1])) --end;
    return line.substr(begin, end - begin);
}

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::uint64_t> ParseLength(const std::string& text) {
    if (text.empty() || text.size() > 19 || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    std::uint64_t value = std::stoull(text);
    if (value > kMaxLength) return std::nullopt;
    return value;
}

}  // namespace

int StatusCode(const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 5, "HTTP/") != 0) return 0;
    size_t i = 5;
    if (!SkipDigits(line, i) || i >= line.size() || line[i++] != '.' || !SkipDigits(line, i))
        return 0;
    if (i >= line.size() || line[i] != ' ') return 0;
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    if (!SkipDigits(line, i) || i - start != 3) return 0;
    if (i != line.size() && line[i] != ' ') return 0;
    return std::stoi(line.substr(start, 3));
}

void ResponseHead::field(const std::string& line) {
    if (auto value = FieldValue(line, "content-length")) {
        std::optional<std::uint64_t> length = ParseLength(*value);
        // Two different lengths leave the body's end unknown, which is as bad as none.
        if (!length || lineCut_ || (length_ && *length_ != *length)) badLength_ = true;
        length_ = length;
    } else if (auto value = FieldValue(line, "transfer-encoding")) {
        transferCodings(*value);
    } else if (auto value = FieldValue(line, "location")) {
        // A cut location leads somewhere else than the server meant.
        if (lineCut_) malformed_ = true;
        location_ = *value;
    }
}

// The codings of a "Transfer-Encoding" list. Only chunked, once, can be undone here; any
// other coding would put encoded bytes into the file.
void ResponseHead::transferCodings(std::string list) {
    if (lineCut_) otherCoding_ = true;
    while (!list.empty()) {
        std::string coding;
        for (char c : TakeToken(list, ','))
            if (c != ' ' && c != '\t')
                coding += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (coding.empty() || coding == "identity") continue;
        if (coding == "chunked" && !chunked_)
            chunked_ = true;
        else
            otherCoding_ = true;
    }
}

void ResponseHead::endOfLine() {
    if (status_ == 0) {
        status_ = StatusCode(line_);
        if (status_ != 200 && !IsRedirect(status_)) state_ = State::BadStatus;
    } else {
        field(line_);
    }
    line_.clear();
    lineCut_ = false;
}

void ResponseHead::endOfHead() {
    // A chunked framing ends the body by itself, so a length beside it is not looked at.
    const bool lengthUnknown = badLength_ && !chunked_;
    if (malformed_ || lengthUnknown || (otherCoding_ && status_ == 200))
        state_ = State::BadStatus;
    else if (status_ == 200)
        state_ = State::Body;
    else
        state_ = location_.empty() ? State::BadStatus : State::Redirect;
}

size_t ResponseHead::feed(const char* data, size_t n) {
    size_t i = 0;
    while (i < n && state_ == State::Reading) {
        char c = data[i++];
        if (c == '\n') {
            bool lfLf = last_[2] == '\n';
            bool crLfCrLf = last_[0] == '\r' && last_[1] == '\n' && last_[2] == '\r';
            endOfLine();
            if (state_ == State::Reading && (lfLf || crLfCrLf)) endOfHead();
        } else if (line_.size() < kMaxLine) {
            line_ += c;
        } else if (status_ == 0) {
            state_ = State::BadStatus;
        } else {
            lineCut_ = true;
        }
        last_[0] = last_[1];
        last_[1] = last_[2];
        last_[2] = c;
    }
    return i;
}

size_t ChunkedBody::decode(char* data, size_t n) {
    size_t out = 0;
    size_t i = 0;
    while (i < n && state_ != State::Done && state_ != State::Broken) {
        if (state_ != State::Data) {
            step(data[i++]);
            continue;
        }
        // The output never overtakes the input, so moving the data forward is safe; until
        // the first framing byte of this piece nothing needs to move.
        const size_t piece = static_cast<size_t>(std::min<std::uint64_t>(left_, n - i));
        if (out != i) std::memmove(data + out, data + i, piece);
        out += piece;
        i += piece;
        left_ -= piece;
        if (left_ == 0) state_ = State::DataEnd;
    }
    return out;
}

// One byte of a size line, the line end after data, or the trailer. A CR counts only as
// the first half of CR LF.
void ChunkedBody::step(char c) {
    if (cr_) {
        cr_ = false;
        if (c == '\n') return endOfLine();
        state_ = State::Broken;
        return;
    }
    if (c == '\r') {
        cr_ = true;
        return;
    }
    if (c == '\n') return endOfLine();
    switch (state_) {
        case State::Size:
            return sizeByte(c);
        case State::Extension:
            if (++lineBytes_ > ResponseHead::kMaxLine) state_ = State::Broken;
            return;
        case State::Trailer:
            ++lineBytes_;
            if (++trailerBytes_ > kMaxTrailer) state_ = State::Broken;
            return;
        default:  // data must end with its line end right away
            state_ = State::Broken;
    }
}

void ChunkedBody::sizeByte(char c) {
    const int digit = HexValue(c);
    if (digit >= 0 && !sizeEnded_) {
        // A size past 64 bits is no size at all.
        if (left_ > std::numeric_limits<std::uint64_t>::max() >> 4) {
            state_ = State::Broken;
            return;
        }
        left_ = left_ << 4 | static_cast<std::uint64_t>(digit);
        ++digits_;
    } else if ((c == ' ' || c == '\t') && digits_ > 0) {
        sizeEnded_ = true;
    } else if (c == ';' && digits_ > 0) {
        state_ = State::Extension;
    } else {
        state_ = State::Broken;
    }
}

void ChunkedBody::endOfLine() {
    switch (state_) {
        case State::Size:
        case State::Extension:
            if (digits_ == 0) {
                state_ = State::Broken;
                return;
            }
            state_ = left_ == 0 ? State::Trailer : State::Data;
            digits_ = 0;
            sizeEnded_ = false;
            lineBytes_ = 0;
            return;
        case State::DataEnd:
            state_ = State::Size;
            return;
        case State::Trailer:
            if (lineBytes_ == 0) state_ = State::Done;
            lineBytes_ = 0;
            return;
        default:
            return;
    }
}

std::string_view ResponseReader::take(char* data, size_t n) {
    if (head_.state() == ResponseHead::State::Reading) {
        size_t used = head_.feed(data, n);
        data += used;
        n -= used;
    }
    if (head_.state() != ResponseHead::State::Body) return {};
    if (head_.chunked())
        n = chunks_.decode(data, n);
    else if (auto length = head_.contentLength())
        n = static_cast<size_t>(std::min<std::uint64_t>(n, *length - body_));
    body_ += n;
    return {data, n};
}

bool ResponseReader::complete() const {
    if (head_.state() != ResponseHead::State::Body) return false;
    if (head_.chunked()) return chunks_.done();
    return head_.contentLength() && body_ == *head_.contentLength();
}

bool ResponseReader::wholeAtClose() const {
    if (head_.state() != ResponseHead::State::Body) return false;
    if (head_.chunked()) return chunks_.done();
    return !head_.contentLength() || body_ == *head_.contentLength();
}

}  // namespace velmora
