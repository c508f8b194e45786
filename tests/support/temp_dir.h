// The one temporary-folder helper of the tests: a private folder, removed with its
// contents when the test ends, with readers and writers for the files in it. Text given
// to write() is UTF-8 and lands as CP932, as programs' files are.
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

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

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
    // size bytes of text, for files whose content does not matter.
    void writeSize(const std::string& name, size_t size) const {
        std::string content(size, 'x');
        for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
        writeBytes(name, content);
    }
    void mkdir(const std::string& relative) const {  // with its parents
        std::filesystem::create_directories(file(relative));
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
