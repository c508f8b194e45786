// Status-line check and head-end detection for the download command. The head ends at
// the first CR LF CR LF or LF LF.
#include "net/response_head.h"

namespace velmora {

namespace {

// A status line longer than this is not one a real server sends.
constexpr size_t kMaxStatusLine = 8192;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Skips one run of digits; false when there is none.
bool SkipDigits(const std::string& s, size_t& i) {
    size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i > start;
}

}  // namespace

bool IsOkStatusLine(const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 5, "HTTP/") != 0) return false;
    size_t i = 5;
    if (!SkipDigits(line, i) || i >= line.size() || line[i++] != '.' || !SkipDigits(line, i))
        return false;
    if (i >= line.size() || line[i] != ' ') return false;
    while (i < line.size() && line[i] == ' ') ++i;
    if (line.compare(i, 3, "200") != 0) return false;
    i += 3;
    return i == line.size() || line[i] == ' ';
}

void ResponseHead::endOfLine() {
    if (statusSeen_) return;
    statusSeen_ = true;
    if (!IsOkStatusLine(statusLine_)) state_ = State::BadStatus;
    statusLine_.clear();
    statusLine_.shrink_to_fit();
}

size_t ResponseHead::feed(const char* data, size_t n) {
    size_t i = 0;
    while (i < n && state_ == State::Reading) {
        char c = data[i++];
        if (c == '\n') {
            endOfLine();
            bool lfLf = last_[2] == '\n';
            bool crLfCrLf = last_[0] == '\r' && last_[1] == '\n' && last_[2] == '\r';
            if (state_ == State::Reading && (lfLf || crLfCrLf)) state_ = State::Body;
        } else if (!statusSeen_) {
            statusLine_ += c;
            if (statusLine_.size() > kMaxStatusLine) state_ = State::BadStatus;
        }
        last_[0] = last_[1];
        last_[1] = last_[2];
        last_[2] = c;
    }
    return i;
}

}  // namespace velmora
