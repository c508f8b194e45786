// Fault injection in SQLite's manner: while a FileFault is armed, the nth call of one name
// in FaultyFileCalls() fails with an error (EIO unless told) or kills the process before it
// is made, and every other call goes to the system. Also a table whose opens of some paths
// fail, as in a folder the user may not write.
#pragma once

#include <fcntl.h>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/file_calls.h"

namespace velmora::test {

class FileFault {
public:
    // In place of an errno: the process dies by SIGKILL instead of making the call.
    static constexpr int kKill = -1;

    FileFault(std::string call, int nth, int error = EIO) {
        call_() = std::move(call);
        left_() = nth;
        error_() = error;
    }
    ~FileFault() { call_().clear(); }
    FileFault(const FileFault&) = delete;
    FileFault& operator=(const FileFault&) = delete;

    // True when this call of that name is the one to fail; sets errno then.
    static bool Strikes(std::string_view call) {
        if (call_() != call || --left_() != 0) return false;
        if (error_() == kKill) ::raise(SIGKILL);
        errno = error_();
        return true;
    }

private:
    static std::string& call_() {
        static std::string call;
        return call;
    }
    static int& left_() {
        static int left = 0;
        return left;
    }
    static int& error_() {
        static int error = EIO;
        return error;
    }
};

inline const FileCalls& FaultyFileCalls() {
    static const FileCalls calls{
        [](const char* path, int flags, mode_t mode) {
            return FileFault::Strikes("open") ? -1 : ::open(path, flags, mode);
        },
        [](int fd, const void* data, size_t n) -> ssize_t {
            return FileFault::Strikes("write") ? -1 : ::write(fd, data, n);
        },
        [](int fd, off_t length) {
            return FileFault::Strikes("ftruncate") ? -1 : ::ftruncate(fd, length);
        },
        [](int fd) { return FileFault::Strikes("fsync") ? -1 : ::fsync(fd); },
        [](int fd) {
            int r = ::close(fd);  // a failing close still releases the descriptor
            return FileFault::Strikes("close") ? -1 : r;
        },
        [](const char* from, const char* to) {
            return FileFault::Strikes("rename") ? -1 : std::rename(from, to);
        },
        [](const char* from, const char* to) {
            return FileFault::Strikes("exchange")
                       ? -1
                       : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
        },
        [](const char* path) { return FileFault::Strikes("unlink") ? -1 : ::unlink(path); },
        [](int fd, off_t length) {
            return FileFault::Strikes("reserve") ? -1
                                                 : ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length);
        },
    };
    return calls;
}

// Opens of paths that contain the text (every open for "") fail with EACCES while the
// object lives; its calls() go to the system otherwise.
class RefusedOpens {
public:
    explicit RefusedOpens(std::string part) { part_() = std::move(part); }
    RefusedOpens(const RefusedOpens&) = delete;
    RefusedOpens& operator=(const RefusedOpens&) = delete;

    const FileCalls& calls() const {
        static const FileCalls calls = [] {
            FileCalls c = FaultyFileCalls();
            c.open = [](const char* path, int flags, mode_t mode) {
                if (FileFault::Strikes("open")) return -1;
                if (std::string_view(path).find(part_()) != std::string_view::npos) {
                    errno = EACCES;
                    return -1;
                }
                return ::open(path, flags, mode);
            };
            return c;
        }();
        return calls;
    }

private:
    static std::string& part_() {
        static std::string part;
        return part;
    }
};

}  // namespace velmora::test
