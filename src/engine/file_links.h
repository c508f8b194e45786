// Following symbolic links by hand, for writers that replace a file under its final name
// and must keep the links that lead to it (the settings store, downloads); and the folder
// part of a path, where such a writer puts its temporary file.
#pragma once

#include <string>

#include "engine/system_helpers.h"  // FolderOf, where such writers put their temporary file

namespace velmora {

// The name path finally stands for: links are followed one by one, so a dangling link
// yields the name of the file it would create, and the links themselves stay. The result
// is absolute, since the current directory may change before it is used. False on a loop
// (more than 40 links, as the kernel counts them) or a link that cannot be read.
bool FollowLinks(const std::string& path, std::string& out);

}  // namespace velmora
