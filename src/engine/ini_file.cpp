// INI reading and writing over variable.txt.
#include "engine/ini_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "engine/file_identity.h"
#include "engine/file_links.h"
#include "engine/system_helpers.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr size_t kTemporaryLetters = 12;
// Calls a system call again while a signal interrupted it.
template <class Call>
auto Retrying(Call call) {
    decltype(call()) r;
    do r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

// "variable.txt.tmp-" and kTemporaryLetters random letters and digits: nobody can plant a link
// under a name they cannot guess, and earlier saves' leftovers are recognised by the infix.
std::string TemporaryName(const std::string& target) {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[kTemporaryLetters];
    if (getrandom(bytes, sizeof bytes, 0) != sizeof bytes) {
        auto t = std::chrono::steady_clock::now().time_since_epoch().count() ^ getpid();
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(t >>= 5);
    }
    std::string name = target + std::string(kTemporaryInfix);
    for (unsigned char b : bytes) name += alphabet[b % (sizeof alphabet - 1)];
    return name;
}

// How long a save waits for another program's: one that holds the lock for good (stopped,
// or anyone running flock on the folder) must not freeze the script. The values stay held
// and the next save tries again.
constexpr auto kLockPatience = std::chrono::seconds(2);
constexpr auto kLongestPause = std::chrono::microseconds(500);

// Saves by several programs into one folder take turns. The lock is on the folder, whose
// identity survives the replace; where the folder cannot be opened, on the file itself.
class FolderLock {
public:
    explicit FolderLock(const std::string& file) {
        std::string folder = FolderOf(file);
        fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;  // nothing to lock: go ahead as without locks
        // A program that saves in a loop leaves a gap after its last save, or a waiting
        // one, which looks every half millisecond, would hardly ever get in.
        if (Clock::now() - LastRelease() < kLongestPause * 2)
            std::this_thread::sleep_for(kLongestPause * 2);
        const auto giveUp = Clock::now() + kLockPatience;
        auto pause = std::chrono::microseconds(50);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            // Where the file system has no such locks (some NFS), go ahead as before.
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            if (Clock::now() >= giveUp) {
                timedOut_ = true;
                return;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, kLongestPause);
        }
    }
    ~FolderLock() {
        if (fd_ < 0) return;
        ::close(fd_);  // and with it the lock
        LastRelease() = Clock::now();
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool timedOut() const { return timedOut_; }

private:
    using Clock = std::chrono::steady_clock;
    static Clock::time_point& LastRelease() {
        static Clock::time_point last;
        return last;
    }
    int fd_ = -1;
    bool timedOut_ = false;
};

std::string LinkTarget(const std::string& path) {
    std::string target;
    return FollowLinks(path, target) ? target : path;
}

}  // namespace

bool IniFile::KeyReadsBack(std::string_view key) {
    key = Trim(key);
    if (key.find_first_of("\r\n=") != std::string_view::npos) return false;
    return key.empty() || (key.front() != '[' && key.front() != ';');
}

void IniFile::setPath(const std::string& nativePath, ChangeNotice notice) {
    if (!path_.empty()) save();
    // The same file again (a restart): what could not be saved still holds for the run.
    const bool sameFile = nativePath == path_;
    path_ = nativePath;
    struct stat st;
    const bool link = ::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    // The folder of a link's target is not watched: a linked file is looked at every read.
    if (notice == ChangeNotice::Watch && !link) watch_.watch(path_);
    loaded_ = false;
    stamp_ = Stamp{};
    disk_.clear();
    if (!sameFile) {
        held_.clear();
        heldAt_.clear();
        unsavedSince_.reset();
    }
    removeLeftovers();
}

// Temporary files of saves that were killed half-way. Under the lock no save is under way.
void IniFile::removeLeftovers() const {
    const std::string target = LinkTarget(path_);
    const std::string folder = FolderOf(target);
    const std::string base = target.substr(folder.size()) + std::string(kTemporaryInfix);
    FolderLock lock(target);
    if (lock.timedOut()) return;  // another save may be under way: the next start does it
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    while (dirent* e = ::readdir(dir)) {
        std::string_view name = e->d_name;
        if (name.size() == base.size() + kTemporaryLetters && name.substr(0, base.size()) == base)
            calls_->unlink((folder + std::string(name)).c_str());
    }
    ::closedir(dir);
}

IniFile::Read IniFile::readFile(std::string& data) const {
    data.clear();
    // A pipe in the file's place must not hang the program, nor a device feed it for ever.
    int fd = Retrying([&] { return OpenRegularFile(path_); });
    if (fd < 0) return errno == ENOENT ? Read::Missing : Read::Unreadable;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && st.st_size <= kMaxIniFileSize;
    char buf[65536];
    ssize_t n = 0;
    while (ok && (n = Retrying([&] { return ::read(fd, buf, sizeof buf); })) > 0) {
        data.append(buf, static_cast<size_t>(n));
        ok = data.size() <= size_t(kMaxIniFileSize);
    }
    ::close(fd);
    return ok && n == 0 ? Read::Whole : Read::Unreadable;
}

void IniFile::refresh() {
    if (loaded_ && !watch_.changed()) return;
    struct stat st;
    Stamp now;
    if (::stat(path_.c_str(), &st) == 0) now = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    if (loaded_ && now == stamp_) return;
    std::string data;
    switch (readFile(data)) {
        case Read::Missing:
            disk_.clear();
            break;
        case Read::Whole:
            disk_.parse(data);
            break;
        case Read::Unreadable:
            break;  // what was read before still holds for this run
    }
    loaded_ = true;
    stamp_ = now;
}

std::string IniFile::HeldKey(std::string_view section, std::string_view key) {
    return ToLowerAscii(Trim(section)) + '\n' + ToLowerAscii(Trim(key));
}

const IniFile::Held* IniFile::findHeld(std::string_view section, std::string_view key) const {
    if (held_.empty()) return nullptr;
    auto it = heldAt_.find(HeldKey(section, key));
    return it == heldAt_.end() ? nullptr : &held_[it->second];
}

void IniFile::hold(Held held) {
    if (held.toWrite && !unsavedSince_) unsavedSince_ = std::chrono::steady_clock::now();
    auto [it, added] = heldAt_.try_emplace(HeldKey(held.section, held.key), held_.size());
    if (added)
        held_.push_back(std::move(held));
    else
        held_[it->second] = std::move(held);
}

// After a save only what must never be written stays held.
void IniFile::forgetSaved() {
    std::erase_if(held_, [](const Held& h) { return h.toWrite; });
    heldAt_.clear();
    for (size_t i = 0; i < held_.size(); ++i) heldAt_[HeldKey(held_[i].section, held_[i].key)] = i;
    unsavedSince_.reset();
}

bool IniFile::get(std::string_view section, std::string_view key, std::string& value) {
    refresh();
    if (const Held* h = findHeld(section, key)) {
        value = ReadValue(h->stored);
        return true;
    }
    return disk_.get(section, key, value);
}

IniWrite IniFile::set(std::string_view section, std::string_view key, std::string_view value,
                      SaveWhen when) {
    if (!KeyReadsBack(key)) return IniWrite::BadKey;
    refresh();
    Held held{std::string(section), std::string(Trim(key)), StoredForm(value), true};
    // A start reads no more than this: a bigger file would lose every value at the next one.
    if (disk_.sizeAfterPut(section, held.key, held.stored) > size_t(kMaxIniFileSize)) {
        held.toWrite = false;
        hold(std::move(held));
        return IniWrite::TooLarge;
    }
    hold(std::move(held));
    return when == SaveWhen::Now ? save() : IniWrite::Held;
}

// Under the lock, the file as it is now with this run's changes applied: a change another
// program saved since the last read is kept.
IniWrite IniFile::save() {
    if (!unsavedSince_) return IniWrite::Saved;
    const std::string target = LinkTarget(path_);
    // A failed save is tried again by the next one, a while later at the soonest.
    unsavedSince_ = std::chrono::steady_clock::now();
    FolderLock lock(target);
    std::string old;
    if (lock.timedOut() || readFile(old) == Read::Unreadable) return IniWrite::NotSaved;
    IniLines lines;
    lines.parse(old);
    // In the order they were set; only a value that would take the file past what a start
    // reads is refused, for good.
    bool refused = false;
    for (Held& h : held_) {
        if (!h.toWrite) continue;
        if (lines.sizeAfterPut(h.section, h.key, h.stored) > size_t(kMaxIniFileSize)) {
            h.toWrite = false;
            refused = true;
            continue;
        }
        lines.put(h.section, h.key, h.stored);
    }
    if (!writeFile(target, lines.text(), old)) {
        disk_.parse(old);
        return IniWrite::NotSaved;
    }
    disk_ = std::move(lines);
    forgetSaved();
    struct stat st;
    if (::stat(target.c_str(), &st) == 0)
        stamp_ = Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    return refused ? IniWrite::TooLarge : IniWrite::Saved;
}

bool IniFile::writeFile(const std::string& target, const std::string& data,
                        const std::string& old) {
    int fd = Retrying([&] {
        return calls_->open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    });
    if (fd < 0) {
        // A read-only file stays as it is; a new one appears only once complete.
        return errno == ENOENT && replaceAtomically(target, -1, data) == Replaced::Yes;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        Replaced r =
            ReplaceKeepsIdentity(fd, st) ? replaceAtomically(target, fd, data) : Replaced::NotHere;
        // The folder takes no new file, or a new file would change it for others.
        ok = r == Replaced::Yes || (r == Replaced::NotHere && writeInPlace(fd, data, old));
    }
    ::close(fd);  // only read from, or written and synced already
    return ok;
}

// A temporary file beside the target, synced, then swapped in: a crash never leaves half
// a file. Swapping the two names and then removing the old file is as atomic as a rename
// over it, and cheaper on ext4, which flushes data on every rename that replaces a file.
IniFile::Replaced IniFile::replaceAtomically(const std::string& target, int oldFd,
                                             const std::string& data) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryName(target);
        // A new file gets the usual mode under the umask; a replacement stays private
        // until it has the old one's.
        fd = Retrying([&] {
            return calls_->open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                oldFd < 0 ? 0666 : 0600);
        });
        if (fd < 0 && errno != EEXIST) return Replaced::NotHere;
    }
    if (fd < 0) return Replaced::NotHere;
    if (oldFd >= 0 && !CopyIdentity(oldFd, fd)) {
        ::close(fd);
        calls_->unlink(temp.c_str());
        return Replaced::NotHere;
    }
    bool ok = WriteAll(fd, data, calls_->write) && Retrying([&] { return calls_->fsync(fd); }) == 0;
    ok = calls_->close(fd) == 0 && ok;
    if (ok && oldFd >= 0 && calls_->exchange(temp.c_str(), target.c_str()) == 0) {
        calls_->unlink(temp.c_str());  // the old file now; a leftover goes at the next start
        return Replaced::Yes;
    }
    if (ok && calls_->rename(temp.c_str(), target.c_str()) == 0) return Replaced::Yes;
    // A name that cannot be renamed over (a mount point the kernel does not flag) takes
    // the new text in place.
    const bool busy = errno == EBUSY || errno == EXDEV;
    calls_->unlink(temp.c_str());
    return ok && busy && oldFd >= 0 ? Replaced::NotHere : Replaced::Failed;
}

// For a file the user may write in a folder where they may not create one (a shared
// script folder), or one a replace would change (other names, another owner). Space is
// reserved before a byte is overwritten, and a shorter text is padded with line feeds to
// the old length until the final cut: at every step the file reads as the old one or the
// new one. A write that fails half-way puts the old text back.
bool IniFile::writeInPlace(int fd, const std::string& data, const std::string& old) {
    if (data.size() > old.size() &&
        Retrying([&] { return calls_->reserve(fd, off_t(data.size())); }) != 0) {
        if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
        // No reservation here: grow the file by blank lines, which read as nothing.
        const std::string blank(data.size() - old.size(), '\n');
        if (::lseek(fd, off_t(old.size()), SEEK_SET) < 0 || !WriteAll(fd, blank, calls_->write)) {
            calls_->ftruncate(fd, off_t(old.size()));
            return false;
        }
    }
    std::string padded = data;
    if (padded.size() < old.size()) padded.append(old.size() - padded.size(), '\n');
    if (::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, padded, calls_->write)) {
        if (::lseek(fd, 0, SEEK_SET) == 0) WriteAll(fd, old, calls_->write);
        calls_->ftruncate(fd, off_t(old.size()));
        return false;
    }
    // A failed cut leaves blank lines at the end, which read as nothing.
    if (data.size() < old.size()) calls_->ftruncate(fd, off_t(data.size()));
    return Retrying([&] { return calls_->fsync(fd); }) == 0;
}

}  // namespace velmora
