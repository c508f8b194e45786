// Text files read and written the way Windows programs see them in text mode: a CR LF
// pair reads as LF, a Ctrl-Z byte ends the input, and every LF written becomes CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace velmora {

class TextInput {
public:
    TextInput() = default;
    ~TextInput() { close(); }
    TextInput(const TextInput&) = delete;
    TextInput& operator=(const TextInput&) = delete;

    // Opens an existing regular file (OS path); false if it is missing, unreadable or a folder.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    // True once a read met the end of the input or a read error.
    bool atEnd() const { return end_; }

    // Reads until `delim` (consumed, not stored), until `max` characters are stored or
    // until the end. A delimiter right after the `max`-th character is consumed too.
    std::string readUntil(char delim, size_t max);
    // Reads up to `count` characters; fewer when the input ends first.
    std::string read(size_t count);

private:
    int get();   // next character after translation, EOF at the end
    int peek();  // the same without taking it

    std::FILE* file_ = nullptr;
    bool end_ = false;
    static constexpr int kNothing = EOF - 1;
    int pending_ = kNothing;  // a character taken ahead by peek
};

class TextOutput {
public:
    enum class Mode {
        Empty,   // an existing file is emptied first
        Append,  // every write lands at the end of the file as it is then
    };

    TextOutput() = default;
    ~TextOutput() { close(); }
    TextOutput(const TextOutput&) = delete;
    TextOutput& operator=(const TextOutput&) = delete;

    // Opens the file, creating it when missing (with the permissions the umask leaves).
    bool open(const std::string& path, Mode mode);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // True once a write failed; the file stays failed until closed.
    bool failed() const { return failed_; }

    // Writes the translated text with one system call where the system allows, so that a
    // kill lands between two texts, never inside one; false on failure.
    bool write(std::string_view text);

private:
    int fd_ = -1;
    bool failed_ = false;
};

}  // namespace velmora
