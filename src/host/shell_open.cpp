// Resolves the file of 'shell' like a shell would and picks the way to start it.
#include "host/shell_open.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "engine/text.h"
#include "host/process_start.h"
#include "host/shell_words.h"

namespace velmora {

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A bare name is looked for in the folder, the current folder, then $PATH;
// a name with a slash is taken relative to the folder when one is given.
std::string ResolveFile(const std::string& name, const std::string& folder) {
    if (name[0] == '/') return name;
    std::string inFolder = folder.empty() ? name : folder + "/" + name;
    if (name.find('/') != std::string::npos || Exists(inFolder)) return inFolder;
    if (Exists(name)) return name;
    std::string found = FindInPath(name);
    return found.empty() ? inFolder : found;
}

// The path made absolute without resolving links (argv[0] keeps the name used).
std::string Absolute(const std::string& path) {
    if (path[0] == '/') return path;
    char* cwd = getcwd(nullptr, 0);
    std::string full = cwd ? std::string(cwd) + "/" + path : path;
    free(cwd);
    return full;
}

bool IsRunnable(const std::string& path, const struct stat& st) {
    return S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// xdg-open hands the target on and ends; it fails (status 4 and others) when nothing
// can open it. One still running after this long has started a program in its place.
constexpr int kOpenerWaitMs = 2000;

bool OpenWithDesktop(const std::string& target, const std::string& folder) {
    std::string opener = FindInPath("xdg-open");
    if (opener.empty()) return false;
    return StartDetached({opener, target}, folder, kOpenerWaitMs);
}

}  // namespace

bool LooksLikeUrl(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 || !std::isalpha((unsigned char)text[0]))
        return false;
    for (size_t i = 1; i < colon; ++i) {
        unsigned char c = text[i];
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool ShellOpen(const std::string& file, const std::string& arguments, const std::string& folder) {
    std::string dir = NativePath(folder);
    if (!dir.empty() && !Exists(dir)) return false;
    if (LooksLikeUrl(file)) return OpenWithDesktop(Cp932ToUtf8(file), dir);

    std::string name = NativePath(file);
    if (name.empty()) return false;
    std::string path = ResolveFile(name, dir);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (IsRunnable(path, st)) {
        std::vector<std::string> argv{Absolute(path)};
        if (!SplitShellWords(Cp932ToUtf8(arguments), argv)) return false;
        return StartDetached(argv, dir);
    }
    if (!S_ISDIR(st.st_mode) && access(path.c_str(), R_OK) != 0) return false;
    return OpenWithDesktop(Absolute(path), dir);
}

}  // namespace velmora
