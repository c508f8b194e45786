// Temporary program folders for tests: code.txt and variable.txt written from UTF-8
// text as CP932, removed again when the test ends.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/text.h"

namespace velmora::test {

class ScriptDir {
public:
    ScriptDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~ScriptDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScriptDir(const ScriptDir&) = delete;
    ScriptDir& operator=(const ScriptDir&) = delete;

    const std::string& path() const { return path_; }
    // The folder as the engine's programpath: ends in "/".
    std::string programPath() const { return path_ + "/"; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Writes UTF-8 text as CP932.
    void write(const std::string& name, const std::string& utf8) const {
        writeBytes(name, Utf8ToCp932(utf8));
    }
    void writeBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
    // Names of the folder's entries, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

}  // namespace velmora::test
