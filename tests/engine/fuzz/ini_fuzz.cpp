// libFuzzer target for the settings store: a run of writes of any keys and values, then
// the file is read as the next start of the program would. Every key the writer accepted
// reads back its last value exactly (trimmed and unquoted as profile values are), refused
// keys change nothing, and the file holds no key or section that was not written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/ini_file.h"
#include "engine/text.h"
#include "engine/trim.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

const std::string& FilePath() {
    static const std::string path = [] {
        char folder[] = "/tmp/velmora-ini-fuzz-XXXXXX";
        Require(::mkdtemp(folder) != nullptr);
        return std::string(folder) + "/variable.txt";
    }();
    return path;
}

// A value as a read gives it back: white space around it trimmed, except line feeds, which
// are part of the value; then one pair of enclosing quotes; at most 999 bytes.
std::string AsRead(std::string v) {
    auto blank = [](char c) { return c != '\n' && IsSpace(c); };
    while (!v.empty() && blank(v.back())) v.pop_back();
    size_t first = 0;
    while (first < v.size() && blank(v[first])) ++first;
    v.erase(0, first);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    if (v.size() > 999) v.resize(999);
    return v;
}

// Key names as the store matches them.
std::string Folded(std::string_view key) {
    return ToLowerAscii(Trim(key));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

// Input: records separated by 0xFF; in each, the first byte picks the section and the text
// up to the first 0xFE is the key, the rest the value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FilePath();
    ::unlink(path.c_str());
    static const char* const sections[] = {"dynamic", "default"};
    std::map<std::pair<int, std::string>, std::string> expected;  // (section, folded key)
    std::set<int> used;
    std::string before;
    {
        IniFile ini;
        ini.setPath(path, ChangeNotice::StatEveryRead);
        std::string input(reinterpret_cast<const char*>(data), size);
        size_t start = 0;
        while (start < input.size()) {
            size_t end = input.find('\xFF', start);
            if (end == std::string::npos) end = input.size();
            std::string record = input.substr(start, end - start);
            start = end + 1;
            if (record.empty()) continue;
            const int section = record[0] & 1;
            record.erase(0, 1);
            size_t split = record.find('\xFE');
            const std::string key = record.substr(0, split);
            const std::string value = split == std::string::npos ? "" : record.substr(split + 1);
            before = ReadFile(path);
            const IniWrite result = ini.set(sections[section], key, value);
            if (!IniFile::KeyReadsBack(key)) {
                Require(result == IniWrite::BadKey);
                Require(ReadFile(path) == before);
                continue;
            }
            Require(result == IniWrite::Saved);
            expected[{section, Folded(key)}] = AsRead(value);
            used.insert(section);
            std::string v;
            Require(ini.get(sections[section], key, v) && v == AsRead(value));
        }
    }
    // The next start reads what was written, and nothing else.
    IniFile next;
    next.setPath(path, ChangeNotice::StatEveryRead);
    for (const auto& [where, value] : expected) {
        std::string v;
        Require(next.get(sections[where.first], where.second, v));
        Require(v == value);
    }
    const std::string file = ReadFile(path);
    size_t lines = 0, headers = 0;
    for (size_t at = 0; at < file.size(); at = file.find('\n', at) + 1) {
        ++lines;
        std::string_view line = Trim(std::string_view(file).substr(at, file.find('\n', at) - at));
        if (!line.empty() && line.front() == '[') ++headers;
        if (file.find('\n', at) == std::string::npos) break;
    }
    Require(headers == used.size());
    Require(lines == used.size() + expected.size());
    return 0;
}
