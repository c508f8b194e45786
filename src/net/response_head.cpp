// Status line, fields and head-end detection for the download command. The head ends at
// the first CR LF CR LF or LF LF.
#include "net/response_head.h"

#include <algorithm>
#include <cctype>

namespace velmora {

namespace {

// The body of a file larger than this is no length a server can mean.
constexpr std::uint64_t kMaxLength = std::uint64_t{1} << 62;

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
        if (!length || lineCut_ || (length_ && *length_ != *length)) malformed_ = true;
        length_ = length;
    } else if (auto value = FieldValue(line, "location")) {
        // A cut location leads somewhere else than the server meant.
        if (lineCut_) malformed_ = true;
        location_ = *value;
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
    if (malformed_)
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

std::string_view ResponseReader::take(const char* data, size_t n) {
    if (head_.state() == ResponseHead::State::Reading) {
        size_t used = head_.feed(data, n);
        data += used;
        n -= used;
    }
    if (head_.state() != ResponseHead::State::Body) return {};
    if (auto length = head_.contentLength())
        n = static_cast<size_t>(std::min<std::uint64_t>(n, *length - body_));
    body_ += n;
    return {data, n};
}

bool ResponseReader::complete() const {
    return head_.state() == ResponseHead::State::Body && head_.contentLength() &&
           body_ == *head_.contentLength();
}

bool ResponseReader::wholeAtClose() const {
    return head_.state() == ResponseHead::State::Body &&
           (!head_.contentLength() || body_ == *head_.contentLength());
}

}  // namespace velmora
