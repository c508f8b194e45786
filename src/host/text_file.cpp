// Windows text-mode files on Linux. Translation is done byte by byte here, on files
// opened in binary, so the same bytes come out on every platform.
#include "host/text_file.h"

#include <sys/stat.h>

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

bool TextOutput::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

void TextOutput::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    failed_ = false;
}

bool TextOutput::write(std::string_view text) {
    if (!file_ || failed_) return false;
    for (char c : text) {
        if (c == '\n') std::putc('\r', file_);
        std::putc(c, file_);
    }
    if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
    return !failed_;
}

}  // namespace velmora
