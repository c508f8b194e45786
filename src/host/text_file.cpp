// Windows text-mode files on Linux. Translation is done byte by byte here, on files
// opened in binary, so the same bytes come out on every platform.
#include "host/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmora {

namespace {

constexpr int kCtrlZ = 0x1A;

}  // namespace

bool TextInput::open(const std::string& path) {
    close();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    // A folder opens on Linux but is no text file.
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
        std::fclose(f);
        return false;
    }
    file_ = f;
    return true;
}

void TextInput::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    end_ = false;
    pending_ = kNothing;
}

int TextInput::get() {
    if (pending_ != kNothing) {
        const int c = pending_;
        pending_ = kNothing;
        return c;
    }
    if (end_ || !file_) return EOF;
    int c = std::getc(file_);
    if (c == '\r') {
        const int next = std::getc(file_);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, file_);
    }
    if (c == EOF || c == kCtrlZ) {
        end_ = true;
        return EOF;
    }
    return c;
}

int TextInput::peek() {
    if (pending_ == kNothing) pending_ = get();
    return pending_;
}

std::string TextInput::readUntil(char delim, size_t max) {
    const int d = static_cast<unsigned char>(delim);
    std::string out;
    for (int c = get(); c != EOF && c != d; c = get()) {
        out.push_back(static_cast<char>(c));
        if (out.size() < max) continue;
        // A full buffer: a delimiter or the end right after it still counts.
        if (peek() == d) get();
        break;
    }
    return out;
}

std::string TextInput::read(size_t count) {
    std::string out;
    while (out.size() < count) {
        const int c = get();
        if (c == EOF) break;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

bool TextOutput::open(const std::string& path, Mode mode) {
    close();
    const int how = mode == Mode::Append ? O_APPEND : O_TRUNC;
    do {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | how, 0666);
    } while (fd_ < 0 && errno == EINTR);
    return fd_ >= 0;
}

void TextOutput::close() {
    // Every write has reached the system already; there is nothing left to flush.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    failed_ = false;
}

bool TextOutput::write(std::string_view text) {
    if (fd_ < 0 || failed_) return false;
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(c);
    }
    // With O_APPEND each write() goes to the end of the file as it is at that moment, so
    // lines from another writer, or from a run killed before this one, are never overwritten.
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        done += static_cast<size_t>(n);
    }
    return !failed_;
}

}  // namespace velmora
