// Helpers for tests that load plug-ins through the engine: script lines handed to the
// engine as the reader would, links into program folders, and whether a library is
// still mapped.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text.h"

namespace velmora::test {

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
    engine.executeLine();
}

// The lines of a text file, without their ends.
inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// A symbolic link at `link` to the file `target`.
inline void Link(const std::string& target, const std::string& link) {
    std::filesystem::create_symlink(target, link);
}

// True while the library at this path is mapped into the process.
inline bool IsMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

}  // namespace velmora::test
