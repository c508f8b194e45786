// Helpers for tests that load plug-ins through the engine: a private program folder,
// script lines handed to the engine as the reader would, and the plug-ins' call log.
#pragma once

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text.h"

namespace velmora::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern + "/" : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }  // ends in "/"

    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ + name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> lines(const std::string& name) const {
        std::vector<std::string> out;
        std::ifstream in(path_ + name);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
    // A symbolic link in this folder to a file elsewhere.
    void link(const std::string& target, const std::string& name) const {
        std::filesystem::create_symlink(target, path_ + name);
    }

private:
    std::string path_;
};

// Splits a UTF-8 script line into the engine's current line (CP932) as the reader
// does, without variable expansion, and executes it.
inline void RunLine(Engine& engine, const std::string& utf8) {
    std::string text = Utf8ToCp932(utf8);
    CurrentLine& line = engine.line;
    ++line.lineNumber;
    std::string::size_type comma = text.find(',');
    line.command = ToLowerAscii(text.substr(0, comma));
    int n = 0;
    while (comma != std::string::npos && n < kMaxParams) {
        std::string::size_type next =
            n == kMaxParams - 1 ? std::string::npos : text.find(',', comma + 1);
        line.param[n++] =
            text.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
        comma = next;
    }
    line.paramCount = n;
    engine.running = true;
    engine.ExecuteLine();
}

// True while the library at this path is mapped into the process.
inline bool IsMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

}  // namespace velmora::test
