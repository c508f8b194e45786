// A one-shot INI edit: read the whole file, change one line, write a copy and rename it
// over the original.
#include "profile_write.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "engine/text.h"

namespace sixnet {

namespace {

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n\v\f";
    std::string_view::size_type first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    return velmora::ToLowerAscii(a) == velmora::ToLowerAscii(b);
}

bool IsSection(std::string_view line, std::string_view name) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    std::string_view::size_type close = t.find(']');
    return close != std::string_view::npos && SameName(Trim(t.substr(1, close - 1)), name);
}

bool IsKey(std::string_view line, std::string_view key) {
    std::string_view::size_type eq = line.find('=');
    return eq != std::string_view::npos && SameName(Trim(line.substr(0, eq)), key);
}

// False on a read error: a half-read file must not be written back.
bool ReadWhole(const std::string& path, std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteWhole(const std::string& path, const std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// The file's lines without their ends, and the end the file uses (CR LF when unknown).
std::vector<std::string> SplitLines(const std::string& data, std::string& eol) {
    std::vector<std::string> lines;
    std::string::size_type lf = data.find('\n');
    eol = lf != std::string::npos && (lf == 0 || data[lf - 1] != '\r') ? "\n" : "\r\n";
    for (std::string::size_type start = 0; start < data.size();) {
        std::string::size_type end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void SetEntry(std::vector<std::string>& lines, const std::string& section, const std::string& key,
              const std::string& value) {
    std::size_t i = 0;
    while (i < lines.size() && !IsSection(lines[i], section)) ++i;
    if (i == lines.size()) {
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
        return;
    }
    std::size_t insertAt = i + 1;
    for (std::size_t j = i + 1; j < lines.size(); ++j) {
        std::string_view t = Trim(lines[j]);
        if (!t.empty() && t.front() == '[') break;
        if (IsKey(lines[j], key)) {
            lines[j] = key + "=" + value;
            return;
        }
        if (!t.empty()) insertAt = j + 1;
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

bool ReplaceFile(const std::string& path, const std::string& data) {
    struct stat old;
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    if (!WriteWhole(tmp, data)) {
        std::remove(tmp.c_str());
        return false;
    }
    if (stat(path.c_str(), &old) == 0) chmod(tmp.c_str(), old.st_mode & 07777);
    if (std::rename(tmp.c_str(), path.c_str()) == 0) return true;
    std::remove(tmp.c_str());
    return false;
}

}  // namespace

bool WriteProfileString(const std::string& nativePath, const std::string& section,
                        const std::string& key, const std::string& value) {
    std::string data, eol;
    if (!ReadWhole(nativePath, data)) return false;
    std::vector<std::string> lines = SplitLines(data, eol);
    SetEntry(lines, section, key, value);
    std::string out;
    for (const std::string& line : lines) out += line + eol;
    return ReplaceFile(nativePath, out);
}

}  // namespace sixnet
