// The system's own file calls, for everything but tests.
#include "engine/file_calls.h"

#include <fcntl.h>
#include <linux/falloc.h>
#include <linux/fs.h>
#include <unistd.h>

#include <cstdio>

namespace velmora {

namespace {

// open() is variadic, so its address does not fit the table.
int OpenFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int Exchange(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

int Reserve(int fd, off_t length) {
    return ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length);
}

}  // namespace

const FileCalls& SystemFileCalls() {
    static const FileCalls calls{OpenFile, ::write,  ::ftruncate, ::fsync, ::close,
                                 ::rename, Exchange, ::unlink,    Reserve};
    return calls;
}

}  // namespace velmora
