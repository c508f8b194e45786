// Small wrappers over system calls that every subsystem needs in the same form: whole
// writes that survive signals, the program's own file, folders of paths, and opening a
// file that must be a regular one.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace velmora {

// Writes all of data to fd, retrying after EINTR and short writes; false (errno set) when
// a write fails. Writers that go through a table of calls (so tests can make one fail)
// pass theirs.
using WriteCall = ssize_t (*)(int fd, const void* data, size_t n);
bool WriteAll(int fd, std::string_view data, WriteCall write = ::write);

// The running executable's absolute path; empty when the system does not say.
std::string ExecutablePath();

// The folder part of path with its final slash ("dir/" of "dir/name"); empty when path
// has no slash.
std::string FolderOf(const std::string& path);

// Opens path read-only if it is a regular file; -1 otherwise (errno set; EINVAL for a
// folder, a FIFO or a device). Never blocks, even on a FIFO with no writer.
int OpenRegularFile(const std::string& path);

}  // namespace velmora
