// Replacing a file without changing it for others: see file_identity.h.
#include "engine/file_identity.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

namespace {

// A file mounted over a name (a bind mount, as containers have) cannot be renamed over.
bool IsMountPoint(int fd) {
    struct statx stx;
    if (statx(fd, "", AT_EMPTY_PATH, 0, &stx) != 0) return false;
    return (stx.stx_attributes_mask & stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

// The value of an extended attribute; nothing when it cannot be read.
std::optional<std::string> ReadAttribute(int fd, const char* name) {
    ssize_t length = fgetxattr(fd, name, nullptr, 0);
    if (length < 0) return std::nullopt;
    std::string value(static_cast<size_t>(length), '\0');
    length = fgetxattr(fd, name, value.data(), value.size());
    if (length < 0) return std::nullopt;
    value.resize(static_cast<size_t>(length));
    return value;
}

}  // namespace

bool ReplaceKeepsIdentity(int fd, const struct stat& st) {
    // Other names of the file would keep the old contents.
    if (st.st_nlink != 1 || IsMountPoint(fd)) return false;
    // Anyone but the owner would give the file a new owner, and in a sticky folder may not
    // replace it at all; root can hand the new file to the old owner.
    return st.st_uid == geteuid() || geteuid() == 0;
}

bool CopyIdentity(int from, int to) {
    struct stat st;
    if (fstat(from, &st) != 0) return false;
    // The owner first: changing it clears the set-ID bits that the mode then restores.
    if (fchown(to, st.st_uid, st.st_gid) != 0 || fchmod(to, st.st_mode & 07777) != 0) return false;
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    std::vector<char> names(static_cast<size_t>(size));
    size = flistxattr(from, names.data(), names.size());
    if (size < 0) return false;
    for (size_t at = 0; at < static_cast<size_t>(size);) {
        const char* name = names.data() + at;
        at += strnlen(name, static_cast<size_t>(size) - at) + 1;
        std::optional<std::string> value = ReadAttribute(from, name);
        if (!value) return false;
        // A label the new file already has (a security module's) needs no privilege to keep.
        if (ReadAttribute(to, name) == value) continue;
        if (fsetxattr(to, name, value->data(), value->size(), 0) != 0) return false;
    }
    return true;
}

}  // namespace velmora
