// The script file as lines. The reader asks for lines by number; the file is read once
// and read again only when its size, modification time or identity changed, so a
// script that rewrites its own file is still seen as it is on disk.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/file_watch.h"

namespace velmora {

class ScriptSource {
public:
    ~ScriptSource() { close(); }

    bool open(const std::string& nativePath);  // false when the file cannot be read
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Brings the lines up to date with the file on disk; cheap when nothing changed.
    void refresh();
    // The next refresh looks at the file even without a change notice.
    void touch() { watch_.touch(); }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    // Line i (0-based) as stored, without its line end.
    std::string_view line(int i) const {
        return std::string_view(data_.data() + lines_[i].start, lines_[i].length);
    }
    // First line equal to text, or -1. As fast at the end of a long script as at its top:
    // the lines are indexed at the first search after each load.
    int find(std::string_view text) const;
    // Changes whenever the lines are read again: what was learnt of them may be stale.
    unsigned generation() const { return generation_; }

    // A file that begins with the UTF-8 byte-order mark is read as UTF-8 and converted to
    // CP932 line by line; these are the 1-based lines holding characters without a CP932
    // form (they became "?").
    bool isUtf8() const { return utf8_; }
    const std::vector<int>& unconvertibleLines() const { return unconvertible_; }

private:
    struct Span {
        size_t start, length;
    };
    bool load();

    std::string path_;
    FileWatch watch_;
    int fd_ = -1;
    std::string data_;
    std::vector<Span> lines_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    off_t size_ = -1;
    timespec mtime_{};
    bool utf8_ = false;
    std::vector<int> unconvertible_;
    unsigned generation_ = 0;
    bool linked_ = false;                                      // the name is a symbolic link
    mutable std::unordered_map<std::string_view, int> index_;  // line text to its first number
};

}  // namespace velmora
