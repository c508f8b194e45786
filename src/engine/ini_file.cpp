// INI reading and writing over variable.txt.
#include "engine/ini_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/file_links.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

// A bigger "settings file" is not one (a device, a runaway log): it is never rewritten.
constexpr off_t kMaxFileSize = 64 << 20;
constexpr size_t kMaxValue = 999;

bool ReadWhole(const std::string& path, std::string& out) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && out.size() <= size_t(kMaxFileSize))
        out.append(buf, n);
    ::close(fd);
    return n == 0;
}

bool WriteAll(const FileCalls& calls, int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = calls.write(fd, data.data() + done, data.size() - done);
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
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

// Values keep to their line: a line feed becomes "/ret", the script's own escape for it.
// A "/" that would otherwise start "/ret" or "/_" when read back is written "/_". Values
// without either sequence are stored byte for byte, as before; CR and NUL never end a
// line here and stay as they are.
std::string EncodeValue(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\n') {
            out += "/ret";
        } else if (v[i] == '/' && (v.substr(i + 1, 3) == "ret" || v.substr(i + 1, 1) == "_")) {
            out += "/_";
        } else {
            out += v[i];
        }
    }
    return out;
}

std::string DecodeValue(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '/' && v.substr(i + 1, 3) == "ret") {
            out += '\n';
            i += 3;
        } else if (v[i] == '/' && v.substr(i + 1, 1) == "_") {
            out += '/';
            i += 1;
        } else {
            out += v[i];
        }
    }
    return out;
}

}  // namespace

bool IniFile::KeyReadsBack(std::string_view key) {
    key = Trim(key);
    if (key.find_first_of("\r\n=") != std::string_view::npos) return false;
    return key.empty() || (key.front() != '[' && key.front() != ';');
}

void IniFile::setPath(const std::string& nativePath, ChangeNotice notice) {
    path_ = nativePath;
    // The folder of a link's target is not watched: a linked file is looked at every read.
    if (notice == ChangeNotice::Watch && !IsLink(path_)) watch_.watch(path_);
    loaded_ = false;
    stamp_ = Stamp{};
}

void IniFile::refresh() {
    if (loaded_ && !watch_.changed()) return;
    struct stat st;
    Stamp now;
    bool regular = true;
    if (::stat(path_.c_str(), &st) == 0) {
        now = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
        mode_ = st.st_mode & 07777;
        regular = S_ISREG(st.st_mode) && st.st_size <= kMaxFileSize;
    }
    if (loaded_ && now == stamp_) return;
    loaded_ = true;
    stamp_ = now;
    lines_.clear();
    unreadable_ = false;
    std::string data;
    if (now.size < 0) return;  // a missing file reads as empty
    if (!regular || !ReadWhole(path_, data)) {
        unreadable_ = true;
        return;
    }
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
    section = Trim(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (t.size() >= 2 && t.front() == '[') {
            size_t close = t.find(']');
            if (close != std::string_view::npos &&
                SameIgnoringAsciiCase(Trim(t.substr(1, close - 1)), section))
                return static_cast<int>(i);
        }
    }
    return -1;
}

int IniFile::findKey(int sectionLine, std::string_view key) const {
    key = Trim(key);
    for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (!t.empty() && t.front() == '[') break;
        size_t eq = t.find('=');
        if (eq != std::string_view::npos && SameIgnoringAsciiCase(Trim(t.substr(0, eq)), key))
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
    value = DecodeValue(v);
    if (value.size() > kMaxValue) value.resize(kMaxValue);
    return true;
}

IniWrite IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    refresh();
    if (!KeyReadsBack(key)) return IniWrite::BadKey;
    if (unreadable_) return IniWrite::NotSaved;
    key = Trim(key);
    const std::string stored = EncodeValue(value);
    int s = findSection(section);
    if (s < 0) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::string(key) + "=" + stored);
    } else if (int k = findKey(s, key); k >= 0) {
        std::string_view old = lines_[k];
        lines_[k] = std::string(Trim(old.substr(0, old.find('=')))) + "=" + stored;
    } else {
        // After the section's last key, ahead of any blank lines that close it.
        size_t at = s + 1;
        for (size_t i = s + 1; i < lines_.size(); ++i) {
            std::string_view t = Trim(lines_[i]);
            if (!t.empty() && t.front() == '[') break;
            if (!t.empty()) at = i + 1;
        }
        lines_.insert(lines_.begin() + at, std::string(key) + "=" + stored);
    }
    // Unsaved, the change stays in the cache: this run reads what it wrote until the file
    // changes on disk.
    return save() ? IniWrite::Saved : IniWrite::NotSaved;
}

bool IniFile::save() {
    std::string data;
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const auto& l : lines_) data.append(l).append(eol);
    // Through a link, the file it names is replaced and the link stays.
    std::string target;
    if (!FollowLinks(path_, target)) target = path_;
    switch (replaceAtomically(target, data)) {
        case Replaced::Yes:
            return true;
        case Replaced::NoTemporaryFile:
            return writeInPlace(target, data);
        case Replaced::Failed:
            break;  // a disk that refused the copy would leave a half-written original
    }
    return false;
}

// A temporary file in the target's folder, then rename: a crash never leaves half a file.
IniFile::Replaced IniFile::replaceAtomically(const std::string& target, const std::string& data) {
    static const std::string suffix = ".tmp" + std::to_string(::getpid());
    const std::string tmp = target + suffix;
    int fd = calls_->open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode_);
    if (fd < 0) return Replaced::NoTemporaryFile;
    struct stat st;
    bool ok = WriteAll(*calls_, fd, data) && ::fstat(fd, &st) == 0;
    if (ok && (st.st_mode & 07777) != mode_) ::fchmod(fd, mode_);  // the umask took some bits
    ok = (calls_->close(fd) == 0) && ok;
    if (!ok || !Replace(tmp, target)) {
        ::unlink(tmp.c_str());
        return Replaced::Failed;
    }
    // Renaming keeps the new file's identity, size and time: no need to look again.
    stamp_ = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return Replaced::Yes;
}

// For a file the user may write in a folder where they may not create one (a shared
// script folder): overwrite it where it is, then cut it to the new length.
bool IniFile::writeInPlace(const std::string& target, const std::string& data) {
    int fd = calls_->open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, mode_);
    if (fd < 0) return false;
    struct stat st;
    bool ok = ::lseek(fd, 0, SEEK_SET) == 0 && WriteAll(*calls_, fd, data) &&
              calls_->ftruncate(fd, off_t(data.size())) == 0 && ::fstat(fd, &st) == 0;
    ok = (calls_->close(fd) == 0) && ok;
    if (ok) stamp_ = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return ok;
}

}  // namespace velmora
