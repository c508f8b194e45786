// Autostart entry writing. The entry runs a small generated launcher beside it: an Exec
// line without nested quotes is launched alike by gio, dex and the desktops, while the
// launcher's shell quoting carries any argument. Both files are written beside their final
// names and renamed over them, so a crash never leaves half of one for the next log-on.
#include "host/runonce.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace velmora {

namespace {

constexpr const char* kEntryName = "oxquillet.desktop";
constexpr const char* kLauncherName = "oxquillet.sh";

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/";
    }
    return std::string(home) + "/.config";
}

// One word for the shell: in single quotes, where only the quote itself needs care.
std::string ShellWord(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// One argument of Exec: in double quotes, with the characters that are special
// there escaped, and "%" doubled so it is not taken for a field code.
std::string QuoteArgument(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

// The escapes of a desktop-file string value, applied to the whole Exec line.
std::string EscapeValue(const std::string& value) {
    std::string out;
    for (char c : value) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The entry runs at log-on from the home folder: a relative folder would point elsewhere.
std::string AbsoluteFolder(const std::string& folder) {
    if (folder.empty() || folder[0] == '/') return folder;
    std::error_code ec;
    const std::filesystem::path abs = std::filesystem::absolute(folder, ec);
    return ec ? folder : abs.lexically_normal().string();
}

bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool WriteAll(FILE* f, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), f) == text.size();
}

// Writes text to path through a temporary file in the same folder and a rename.
bool WriteReplacing(const std::string& path, const std::string& text) {
    const size_t slash = path.rfind('/');
    std::string temp = path.substr(0, slash + 1) + ".oxquillet.XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    FILE* f = fdopen(fd, "w");
    bool ok = f && WriteAll(f, text) && std::fflush(f) == 0 && fsync(fd) == 0;
    ok = (f ? std::fclose(f) == 0 : close(fd) == 0) && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> SplitWindowsArguments(std::string_view text) {
    std::vector<std::string> args;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) args.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            size_t n = 0;
            while (i < text.size() && text[i] == '\\') ++n, ++i;
            const bool beforeQuote = i < text.size() && text[i] == '"';
            word.append(beforeQuote ? n / 2 : n, '\\');
            if (beforeQuote && n % 2 == 1) {  // an escaped quote; after 2n the quote groups
                word += '"';
                ++i;
            }
        } else if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                word += '"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else {
            word += c;
            ++i;
        }
    }
    if (inWord) args.push_back(std::move(word));
    return args;
}

std::string RunOnceEntryPath() {
    return ConfigHome() + "/autostart/" + kEntryName;
}

std::string RunOnceLauncherPath(const std::string& entryPath) {
    return entryPath.substr(0, entryPath.rfind('/') + 1) + kLauncherName;
}

std::string RunOnceLauncher(const std::string& entryPath, const std::string& program,
                            const std::string& argument, const std::string& home) {
    std::string text =
        "#!/bin/sh\n"
        "# Written by velmora's registerrunonce: starts the program once at the next log-on.\n"
        "# The entry and this file go first, so a start that fails is not tried again.\n"
        "rm -f -- " +
        ShellWord(entryPath) + " \"$0\"\n";
    if (!home.empty())
        text += "VELMORA_HOME=" + ShellWord(AbsoluteFolder(home)) + "\nexport VELMORA_HOME\n";
    text += "exec " + ShellWord(program);
    for (const std::string& arg : SplitWindowsArguments(argument)) text += " " + ShellWord(arg);
    return text + "\n";
}

std::string RunOnceExec(const std::string& launcherPath) {
    return EscapeValue("/bin/sh " + QuoteArgument(launcherPath));
}

bool WriteRunOnceEntry(const std::string& path, const std::string& program,
                       const std::string& argument, const std::string& home) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0 || !MakeFolders(path.substr(0, slash)))
        return false;
    const std::string launcher = RunOnceLauncherPath(path);
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=velmora\n"
        "Comment=Starts velmora once at the next log-on\n"
        "Exec=" +
        RunOnceExec(launcher) +
        "\n"
        "Terminal=false\n"
        "NoDisplay=true\n"
        "X-GNOME-Autostart-enabled=true\n";
    // The launcher first: an entry is never left pointing at a launcher that is missing.
    return WriteReplacing(launcher, RunOnceLauncher(path, program, argument, home)) &&
           WriteReplacing(path, text);
}

}  // namespace velmora
