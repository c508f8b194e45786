// Reading the script file into lines, Windows text-mode style.
#include "engine/script_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/system_helpers.h"
#include "engine/text.h"

namespace velmora {

bool ScriptSource::open(const std::string& nativePath) {
    close();
    path_ = nativePath;
    fd_ = OpenRegularFile(path_);
    if (fd_ < 0) return false;
    watch_.watch(path_);
    // The watch sees the link's folder, not its target's: a linked script is looked at
    // at every read.
    struct stat link;
    linked_ = ::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
    if (!load()) {
        close();
        return false;
    }
    return true;
}

void ScriptSource::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    data_.clear();
    lines_.clear();
    index_.clear();
    ++generation_;
    size_ = -1;
}

void ScriptSource::refresh() {
    if (fd_ < 0 || (!linked_ && !watch_.changed())) return;
    struct stat st;
    // A file that vanished from its path keeps being read through the open handle.
    if (::stat(path_.c_str(), &st) != 0) return;
    if (st.st_dev == dev_ && st.st_ino == ino_ && st.st_size == size_ &&
        st.st_mtim.tv_sec == mtime_.tv_sec && st.st_mtim.tv_nsec == mtime_.tv_nsec)
        return;
    if (st.st_dev != dev_ || st.st_ino != ino_) {
        // Replaced by another file (an editor's save): follow the name, unless it is no
        // longer a regular file; the lines read before stay.
        int fd = OpenRegularFile(path_);
        if (fd < 0) return;
        ::close(fd_);
        fd_ = fd;
    }
    load();
}

bool ScriptSource::load() {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    // Read aside first: a failed read keeps the lines that were there.
    std::string fresh;
    char buf[65536];
    off_t at = 0;
    ssize_t n;
    while ((n = ::pread(fd_, buf, sizeof buf, at)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        fresh.append(buf, n);
        at += n;
    }
    data_.swap(fresh);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    size_ = st.st_size;
    mtime_ = st.st_mtim;
    index_.clear();
    ++generation_;
    // Text mode as on Windows: a Ctrl-Z ends the file, CR LF ends a line like LF.
    if (size_t eof = data_.find('\x1a'); eof != std::string::npos) data_.resize(eof);
    utf8_ = data_.compare(0, 3, "\xEF\xBB\xBF") == 0;
    lines_.clear();
    unconvertible_.clear();
    std::string converted;
    size_t start = utf8_ ? 3 : 0;
    while (start < data_.size()) {
        size_t end = data_.find('\n', start);
        size_t stop = end == std::string::npos ? data_.size() : end;
        size_t len = stop - start;
        if (end != std::string::npos && len > 0 && data_[stop - 1] == '\r') --len;
        if (utf8_) {
            // One physical line stays one line, so positions and labels still count them.
            std::string_view raw(data_.data() + start, len);
            std::string line = Utf8ToCp932(raw);
            if (Cp932ToUtf8(line) != raw) unconvertible_.push_back(lineCount() + 1);
            lines_.push_back({converted.size(), line.size()});
            converted += line;
        } else {
            lines_.push_back({start, len});
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (utf8_) data_.swap(converted);
    return true;
}

int ScriptSource::find(std::string_view text) const {
    if (index_.empty() && !lines_.empty()) {
        index_.reserve(lines_.size());
        for (int i = 0; i < lineCount(); ++i) index_.emplace(line(i), i);  // the first wins
    }
    auto it = index_.find(text);
    return it == index_.end() ? -1 : it->second;
}

}  // namespace velmora
