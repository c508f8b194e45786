// The head of an HTTP response as it arrives in chunks of any size: checks the status
// line and finds where the body begins, even when the blank line that ends the head is
// split between two chunks.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

class ResponseHead {
public:
    enum class State {
        Reading,    // more head bytes are needed
        BadStatus,  // the status line is not "HTTP/1.x 200 ..."
        Body,       // the head has ended; the rest is body
    };

    // Reads head bytes from data and returns how many it used; once the state is Body, the
    // bytes of data from that offset on are body. Nothing is read after the head ends or
    // after a bad status line.
    size_t feed(const char* data, size_t n);
    State state() const { return state_; }

private:
    void endOfLine();

    State state_ = State::Reading;
    std::string statusLine_;
    bool statusSeen_ = false;
    char last_[3] = {0, 0, 0};  // the three bytes before the current one, oldest first
};

// True for "HTTP/<major>.<minor> 200" followed by a space or nothing (a CR is ignored).
bool IsOkStatusLine(const std::string& line);

}  // namespace velmora
