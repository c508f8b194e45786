// Whether a file can be replaced by a new one under its name without anyone noticing, and
// how the new one takes over the old one's owner, mode and extended attributes. The
// settings store and downloads replace files only where this holds.
#pragma once

#include <sys/stat.h>

namespace velmora {

// Whether a new file under the old name would still be the same file to everyone else.
bool ReplaceKeepsIdentity(int fd, const struct stat& st);
// Gives the new file the old one's owner, mode and extended attributes (ACLs included);
// false when any of them cannot be carried over.
bool CopyIdentity(int from, int to);

}  // namespace velmora
