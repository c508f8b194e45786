// INI reading and writing over variable.txt.
#include "engine/ini_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/trim.h"

namespace velmora {

namespace {

// Section and key names compare without regard to ASCII letter case.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, n);
    ::close(fd);
    return n == 0;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Puts tmp in path's place atomically. Swapping the two names and then removing the old
// file is as atomic as a rename over it, and far cheaper on ext4, which flushes data
// on every rename that replaces a file.
bool Replace(const std::string& tmp, const std::string& path) {
    if (::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(tmp.c_str());
        return true;
    }
    return ::rename(tmp.c_str(), path.c_str()) == 0;  // no file yet, or no exchange here
}

}  // namespace

void IniFile::setPath(const std::string& nativePath) {
    path_ = nativePath;
    watch_.watch(path_);
    loaded_ = false;
    stamp_ = Stamp{};
}

void IniFile::refresh() {
    if (loaded_ && !watch_.changed()) return;
    struct stat st;
    Stamp now;
    if (::stat(path_.c_str(), &st) == 0) {
        now = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
        mode_ = st.st_mode & 07777;
    }
    if (loaded_ && now == stamp_) return;
    loaded_ = true;
    stamp_ = now;
    lines_.clear();
    std::string data;
    if (now.size < 0 || !ReadWhole(path_, data)) return;  // a missing file reads as empty
    size_t start = 0;
    bool sawLf = false;
    crlf_ = true;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        size_t stop = end == std::string::npos ? data.size() : end;
        std::string_view line(data.data() + start, stop - start);
        if (end != std::string::npos && !sawLf) {
            crlf_ = !line.empty() && line.back() == '\r';
            sawLf = true;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

int IniFile::findSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (t.size() >= 2 && t.front() == '[') {
            size_t close = t.find(']');
            if (close != std::string_view::npos && SameName(Trim(t.substr(1, close - 1)), section))
                return static_cast<int>(i);
        }
    }
    return -1;
}

int IniFile::findKey(int sectionLine, std::string_view key) const {
    for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (!t.empty() && t.front() == '[') break;
        size_t eq = t.find('=');
        if (eq != std::string_view::npos && SameName(Trim(t.substr(0, eq)), key))
            return static_cast<int>(i);
    }
    return -1;
}

bool IniFile::get(std::string_view section, std::string_view key, std::string& value) {
    refresh();
    int s = findSection(section);
    if (s < 0) return false;
    int k = findKey(s, key);
    if (k < 0) return false;
    std::string_view line = lines_[k];
    std::string_view v = Trim(line.substr(line.find('=') + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    value.assign(v.substr(0, 999));
    return true;
}

bool IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    refresh();
    std::string entry = std::string(key) + "=" + std::string(value);
    int s = findSection(section);
    if (s < 0) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(entry);
    } else if (int k = findKey(s, key); k >= 0) {
        std::string_view old = lines_[k];
        entry = std::string(Trim(old.substr(0, old.find('=')))) + "=" + std::string(value);
        lines_[k] = entry;
    } else {
        // After the section's last key, ahead of any blank lines that close it.
        size_t at = s + 1;
        for (size_t i = s + 1; i < lines_.size(); ++i) {
            std::string_view t = Trim(lines_[i]);
            if (!t.empty() && t.front() == '[') break;
            if (!t.empty()) at = i + 1;
        }
        lines_.insert(lines_.begin() + at, entry);
    }
    if (save()) return true;
    loaded_ = false;  // drop the unsaved change: the next read sees the file as it is
    return false;
}

bool IniFile::save() {
    std::string data;
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const auto& l : lines_) data.append(l).append(eol);
    // A temporary file in the same folder, then rename: a crash never leaves half a file.
    static const std::string suffix = ".tmp" + std::to_string(::getpid());
    std::string tmp = path_ + suffix;
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode_);
    if (fd < 0) return false;
    struct stat st;
    bool ok = WriteAll(fd, data) && ::fstat(fd, &st) == 0;
    if (ok && (st.st_mode & 07777) != mode_) ::fchmod(fd, mode_);  // the umask took some bits
    ok = (::close(fd) == 0) && ok;
    if (!ok || !Replace(tmp, path_)) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Renaming keeps the new file's identity, size and time: no need to look again.
    stamp_ = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    loaded_ = true;
    return true;
}

}  // namespace velmora
