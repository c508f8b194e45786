// The system's own file calls, for everything but tests.
#include "engine/file_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace velmora {

namespace {

// open() is variadic, so its address does not fit the table.
int OpenFile(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

}  // namespace

const FileCalls& SystemFileCalls() {
    static const FileCalls calls{OpenFile, ::write, ::ftruncate, ::fsync, ::close, ::rename};
    return calls;
}

}  // namespace velmora
