// The text of an INI file as lines: parsing, looking up and replacing keys, and the stored
// form of values. No disk access here; IniFile (ini_file.h) reads and writes the file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A read returns at most this many bytes of a value, cut on a character boundary.
constexpr size_t kMaxIniValue = 999;

// The stored form of a value. A value is stored byte for byte unless it holds a line break
// or begins with kEncodedMark (after blanks); then it is stored as the mark followed by the value
// with
// "/" written "//", LF "/n" and CR "/r". So only values that carry the mark are decoded,
// and no value can start a key or a section of its own.
constexpr std::string_view kEncodedMark = "/enc:";
std::string StoredForm(std::string_view value);
// A value as a read gives it: trimmed of surrounding white space and one pair of enclosing
// quotes (profile semantics), or decoded exactly, to the end of its line, when it carries
// the mark; then cut to
// kMaxIniValue bytes without splitting a double-byte character.
std::string ReadValue(std::string_view stored);

class IniLines {
public:
    // The file's bytes; a UTF-8 byte-order mark is read past and written back.
    void parse(std::string_view data);
    std::string text() const;
    void clear() { *this = IniLines(); }

    // False when the section or the key is absent. Names are trimmed and compare without
    // regard to the case of ASCII letters.
    bool get(std::string_view section, std::string_view key, std::string& value) const;
    // Sets key to a value given in its stored form, creating the section and the key as
    // needed; the key is written trimmed.
    void put(std::string_view section, std::string_view key, const std::string& stored);
    // The size text() would have after put(section, key, stored), without changing anything.
    size_t sizeAfterPut(std::string_view section, std::string_view key,
                        const std::string& stored) const;

private:
    int findSection(std::string_view section) const;  // index of the header line, or -1
    int findKey(int sectionLine, std::string_view key) const;
    size_t eolSize() const { return crlf_ ? 2 : 1; }

    std::vector<std::string> lines_;  // without their ends
    bool crlf_ = true;                // line ends of the file as found (new files: CR LF)
    bool bom_ = false;
};

}  // namespace velmora
