// libFuzzer target for the settings store. A file as a person could write it (any bytes in
// values: "/", "/ret", "%", quotes, blanks, Shift-JIS with a 0x5C trail byte; CR LF or LF,
// comments, a byte-order mark) reads back as written, nothing decoded; then a run of writes
// of any keys and values, after which every accepted key reads back its last value in the
// run and at the next start, refused keys change nothing, and the file holds no key or
// section that was neither written by hand nor by the run.
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

// At most 999 bytes, never half a double-byte character.
std::string Cut(std::string v) {
    size_t i = 0;
    while (i < v.size()) {
        size_t step = IsLeadByte(static_cast<unsigned char>(v[i])) && i + 1 < v.size() ? 2 : 1;
        if (i + step > 999) break;
        i += step;
    }
    v.resize(i);
    return v;
}

// What a person wrote reads trimmed and without one pair of enclosing quotes.
std::string AsWritten(std::string_view v) {
    v = Trim(v);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return Cut(std::string(v));
}

bool LooksEncoded(std::string_view v) {
    return Trim(v).substr(0, 5) == "/enc:";
}

// What the run set reads back exactly where the profile rules would lose a line break or
// take the value for an encoded one; as written otherwise.
std::string AsSet(const std::string& v) {
    if (v.find_first_of("\r\n") != std::string::npos || LooksEncoded(v)) return Cut(v);
    return AsWritten(v);
}

std::string Folded(std::string_view key) {
    return ToLowerAscii(Trim(key));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(at, start);
        if (end == std::string::npos) end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

const char* const kSections[] = {"dynamic", "default"};
using Expected = std::map<std::pair<int, std::string>, std::string>;  // (section, folded key)

// The first record: a flags byte (BOM, CR LF, comments), then keys and values separated
// by 0xFE. Keys are made valid and distinct; values keep every byte but line breaks.
std::string HandWritten(const std::string& record, Expected& expected) {
    if (record.empty()) return "";
    const unsigned flags = static_cast<unsigned char>(record[0]);
    const std::string eol = flags & 2 ? "\r\n" : "\n";
    std::string body[2];
    std::vector<std::string> parts = Split(record.substr(1), '\xFE');
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string key;
        for (char c : parts[i])
            if (c != '\r' && c != '\n' && c != '=') key += c;
        key = std::string(Trim(key));
        std::string value = parts[i + 1];
        for (char& c : value)
            if (c == '\r' || c == '\n') c = ' ';
        const int section = static_cast<int>(i / 2) & 1;
        if (key.empty() || key[0] == '[' || key[0] == ';' || LooksEncoded(value) ||
            expected.count({section, Folded(key)}))
            continue;
        expected[{section, Folded(key)}] = AsWritten(value);
        body[section] += key + " = " + value + eol;
        if (flags & 4) body[section] += "; " + key + eol;
    }
    std::string file = flags & 1 ? "\xEF\xBB\xBF" : "";
    for (int s = 0; s < 2; ++s)
        if (!body[s].empty()) file += "[" + std::string(kSections[s]) + "]" + eol + body[s];
    return file;
}

}  // namespace

// Input: records separated by 0xFF. The first is the hand-written file; in each further
// one, the first byte picks the section and the text up to the first 0xFE is the key, the
// rest the value.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = FilePath();
    std::vector<std::string> records =
        Split(std::string(reinterpret_cast<const char*>(data), size), '\xFF');
    Expected expected;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << HandWritten(records[0], expected);
    }
    IniFile ini;
    ini.setPath(path, ChangeNotice::StatEveryRead);
    for (const auto& [where, value] : expected) {
        std::string v;
        Require(ini.get(kSections[where.first], where.second, v) && v == value);
    }
    for (size_t r = 1; r < records.size(); ++r) {
        std::string record = records[r];
        if (record.empty()) continue;
        const int section = record[0] & 1;
        record.erase(0, 1);
        size_t split = record.find('\xFE');
        const std::string key = record.substr(0, split);
        const std::string value = split == std::string::npos ? "" : record.substr(split + 1);
        const std::string before = ReadFile(path);
        const IniWrite result = ini.set(kSections[section], key, value);
        if (!IniFile::KeyReadsBack(key)) {
            Require(result == IniWrite::BadKey);
            Require(ReadFile(path) == before);
            continue;
        }
        Require(result == IniWrite::Saved);
        expected[{section, Folded(key)}] = AsSet(value);
        std::string v;
        Require(ini.get(kSections[section], key, v) && v == AsSet(value));
    }
    // The next start reads what was written, and nothing else.
    IniFile next;
    next.setPath(path, ChangeNotice::StatEveryRead);
    std::set<int> used;
    for (const auto& [where, value] : expected) {
        std::string v;
        Require(next.get(kSections[where.first], where.second, v) && v == value);
        used.insert(where.first);
    }
    size_t keys = 0, headers = 0;
    for (const std::string& line : Split(ReadFile(path), '\n')) {
        std::string_view t = Trim(line);
        if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
        if (!t.empty() && t.front() == '[')
            ++headers;
        else if (!t.empty() && t.front() != ';' && t.find('=') != std::string_view::npos)
            ++keys;
    }
    Require(headers == used.size());
    Require(keys == expected.size());
    return 0;
}
