// Writing downloaded bodies: a replace through a temporary file where that keeps the
// file's identity, the file itself otherwise.
#include "net/download/target_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "engine/file_identity.h"
#include "engine/file_links.h"
#include "engine/system_helpers.h"

namespace velmora {

namespace {

// A long target name is cut in its temporary name, which must stay within NAME_MAX.
constexpr size_t kMaxTemporaryBase = 200;

// "dir/.name.<pid>-<n>.part": hidden, beside the target so that rename cannot cross devices.
std::string TemporaryName(const std::string& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    std::string dir = FolderOf(target);
    std::string base = target.substr(dir.size()).substr(0, kMaxTemporaryBase);
    return dir + "." + base + "." + std::to_string(getpid()) + "-" +
           std::to_string(counter.fetch_add(1) + attempt) + ".part";
}

}  // namespace

bool TargetFile::create(const std::string& path) {
    discard();
    if (path.empty() || path.back() == '/') return false;
    std::string target;
    if (!FollowLinks(path, target)) return false;
    // Non-blocking open: a pipe without a reader fails at once instead of hanging. Opening
    // also proves the existing file writable, as it must be whichever way it is written.
    int fd = calls_.open(target.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        // A new file appears only once complete, so a failure leaves nothing behind.
        return errno == ENOENT && openTemporary(target, -1);
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        close(fd);
        return false;
    }
    target_ = target;
    if (!S_ISREG(st.st_mode)) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        fd_ = fd;
        way_ = Way::Device;
        return true;
    }
    if (ReplaceKeepsIdentity(fd, st) && openTemporary(target, fd)) {
        close(fd);
        return true;
    }
    // The folder takes no new file, or the replace would change the file: write it in place.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    way_ = Way::InPlace;
    emptied_ = false;
    return true;
}

bool TargetFile::openTemporary(const std::string& target, int oldFd) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TemporaryName(target, attempt);
        // A new file gets the usual mode; a replacement stays private until it has the old one's.
        int fd = calls_.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                             oldFd < 0 ? 0666 : 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (oldFd >= 0 && !CopyIdentity(oldFd, fd)) {
            close(fd);
            unlink(temp.c_str());
            return false;
        }
        fd_ = fd;
        target_ = target;
        temp_ = temp;
        way_ = Way::Replace;
        return true;
    }
    return false;
}

bool TargetFile::write(const char* data, size_t n) {
    if (fd_ < 0) return false;
    // Emptied only when the body begins, so a download that fails before it keeps the file.
    if (way_ == Way::InPlace && !emptied_) {
        if (calls_.ftruncate(fd_, 0) != 0) return false;
        emptied_ = true;
    }
    return WriteAll(fd_, std::string_view(data, n), calls_.write);
}

bool TargetFile::commit() {
    if (fd_ < 0) return false;
    bool ok = true;
    if (way_ == Way::InPlace && !emptied_) ok = calls_.ftruncate(fd_, 0) == 0;
    // The new contents reach the disk before the name does, so a crash leaves the old file
    // or the new one, never an empty one.
    if (ok && way_ == Way::Replace) ok = calls_.fsync(fd_) == 0;
    int fd = fd_;
    fd_ = -1;
    ok = calls_.close(fd) == 0 && ok;
    if (ok && way_ == Way::Replace) ok = calls_.rename(temp_.c_str(), target_.c_str()) == 0;
    if (ok) temp_.clear();
    discard();
    return ok;
}

void TargetFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    temp_.clear();
    way_ = Way::None;
}

}  // namespace velmora
