// Reading the script file into lines, Windows text-mode style.
#include "engine/script_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

bool ScriptSource::open(const std::string& nativePath) {
    close();
    path_ = nativePath;
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode) || !load()) {
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
    size_ = -1;
}

void ScriptSource::refresh() {
    if (fd_ < 0) return;
    struct stat st;
    // A file that vanished from its path keeps being read through the open handle.
    if (::stat(path_.c_str(), &st) != 0) return;
    if (st.st_dev == dev_ && st.st_ino == ino_ && st.st_size == size_ &&
        st.st_mtim.tv_sec == mtime_.tv_sec && st.st_mtim.tv_nsec == mtime_.tv_nsec)
        return;
    if (st.st_dev != dev_ || st.st_ino != ino_) {
        // Replaced by another file (an editor's save): follow the name.
        int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        ::close(fd_);
        fd_ = fd;
    }
    load();
}

bool ScriptSource::load() {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    size_ = st.st_size;
    mtime_ = st.st_mtim;
    data_.clear();
    char buf[65536];
    off_t at = 0;
    ssize_t n;
    while ((n = ::pread(fd_, buf, sizeof buf, at)) > 0) {
        data_.append(buf, n);
        at += n;
    }
    if (n < 0) return false;
    // Text mode as on Windows: a Ctrl-Z ends the file, CR LF ends a line like LF.
    if (size_t eof = data_.find('\x1a'); eof != std::string::npos) data_.resize(eof);
    lines_.clear();
    size_t start = 0;
    while (start < data_.size()) {
        size_t end = data_.find('\n', start);
        size_t stop = end == std::string::npos ? data_.size() : end;
        size_t len = stop - start;
        if (end != std::string::npos && len > 0 && data_[stop - 1] == '\r') --len;
        lines_.push_back({start, len});
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}

int ScriptSource::find(std::string_view text) const {
    for (int i = 0; i < lineCount(); ++i)
        if (line(i) == text) return i;
    return -1;
}

}  // namespace velmora
