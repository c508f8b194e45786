// Temporary-file-then-rename writing of downloaded bodies.
#include "net/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace velmora {

namespace {

// "dir/.name.<pid>-<n>.part": hidden, beside the target so that rename cannot cross devices.
std::string TemporaryName(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    return dir + "." + base + "." + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1) + attempt) + ".part";
}

// Follows a symbolic link to the file it names, so the link itself is kept.
std::string Resolve(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : path;
}

}  // namespace

bool TargetFile::create(const std::string& path) {
    discard();
    if (path.empty() || path.back() == '/') return false;
    std::string target = Resolve(path);
    struct stat st;
    if (stat(target.c_str(), &st) != 0) {
        if (errno != ENOENT) return false;
        // The name exists but leads nowhere: a dangling link, written through.
        bool danglingLink = lstat(path.c_str(), &st) == 0;
        return danglingLink ? openDirect(path) : openTemporary(target, 0666);
    }
    if (S_ISDIR(st.st_mode)) return false;
    if (!S_ISREG(st.st_mode)) return openDirect(target);
    // The existing file must be writable, as it would have to be without the detour.
    int probe = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) return false;
    close(probe);
    return openTemporary(target, st.st_mode & 07777);
}

bool TargetFile::openTemporary(const std::string& target, int mode) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TemporaryName(target, attempt);
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (mode != 0666) fchmod(fd, mode);
        fd_ = fd;
        target_ = target;
        temp_ = temp;
        return true;
    }
    return false;
}

bool TargetFile::openDirect(const std::string& target) {
    // Non-blocking open: a pipe without a reader fails at once instead of hanging.
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    target_ = target;
    return true;
}

bool TargetFile::write(const char* data, size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd_, data, n);
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

bool TargetFile::commit() {
    if (fd_ < 0) return false;
    bool ok = close(fd_) == 0;
    fd_ = -1;
    if (ok && !temp_.empty()) ok = rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) discard();
    temp_.clear();
    return ok;
}

void TargetFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
}

}  // namespace velmora
