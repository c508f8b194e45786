// Following symbolic links by hand: see file_links.h.
#include "engine/file_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace velmora {

namespace {

constexpr int kMaxLinkHops = 40;

}  // namespace

bool FollowLinks(const std::string& path, std::string& out) {
    std::string p = path;
    if (p.empty()) return false;
    if (p[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return false;
        p = std::string(cwd) + "/" + p;
    }
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        char buf[PATH_MAX];
        ssize_t n = readlink(p.c_str(), buf, sizeof buf);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return false;
        std::string link(buf, static_cast<size_t>(n));
        p = link[0] == '/' ? link : FolderOf(p) + link;
    }
    return false;
}

}  // namespace velmora
