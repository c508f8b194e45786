// The system calls through which a written file reaches the disk, in one table, so that
// tests can make any one of them fail and prove that nothing is lost. The settings store
// and the download target both write through it.
#pragma once

#include <sys/types.h>

namespace velmora {

struct FileCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* data, size_t n);
    int (*ftruncate)(int fd, off_t length);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    // rename(2) with RENAME_EXCHANGE: both names stay, their files swap.
    int (*exchange)(const char* from, const char* to);
    int (*unlink)(const char* path);
    // fallocate(2) with FALLOC_FL_KEEP_SIZE: the space is reserved, the size unchanged.
    int (*reserve)(int fd, off_t length);
};

// The calls of the running system.
const FileCalls& SystemFileCalls();

}  // namespace velmora
