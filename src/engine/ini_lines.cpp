// INI text as lines: see ini_lines.h.
#include "engine/ini_lines.h"

#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A value that a read would take for an encoded one must be encoded too.
bool NeedsEncoding(std::string_view v) {
    return v.find_first_of("\r\n") != std::string_view::npos ||
           Trim(v).substr(0, kEncodedMark.size()) == kEncodedMark;
}

std::string Decode(std::string_view v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '/' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        // An unknown escape (a hand edit) stays as written.
        switch (v[++i]) {
            case '/':
                out += '/';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                out += '/', out += v[i];
        }
    }
    return out;
}

// Cuts to at most n bytes, never between the two bytes of a double-byte character.
void CutAt(std::string& v, size_t n) {
    if (v.size() <= n) return;
    size_t i = 0;
    while (i < n) {
        size_t step = IsLeadByte(static_cast<unsigned char>(v[i])) && i + 1 < v.size() ? 2 : 1;
        if (i + step > n) break;
        i += step;
    }
    v.resize(i);
}

std::string KeyLine(std::string_view key, const std::string& stored) {
    return std::string(Trim(key)) + "=" + stored;
}

}  // namespace

std::string StoredForm(std::string_view value) {
    if (!NeedsEncoding(value)) return std::string(value);
    std::string out(kEncodedMark);
    for (char c : value) {
        switch (c) {
            case '/':
                out += "//";
                break;
            case '\n':
                out += "/n";
                break;
            case '\r':
                out += "/r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string ReadValue(std::string_view stored) {
    std::string_view v = Trim(stored);
    std::string out;
    if (v.substr(0, kEncodedMark.size()) == kEncodedMark) {
        // Blanks at the end belong to an encoded value: it is read to the end of its line.
        v = stored.substr(stored.find(kEncodedMark) + kEncodedMark.size());
        out = Decode(v);
    } else {
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        out = v;
    }
    CutAt(out, kMaxIniValue);
    return out;
}

void IniLines::parse(std::string_view data) {
    clear();
    if (data.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        bom_ = true;
        data.remove_prefix(kUtf8Bom.size());
    }
    bool sawLf = false;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        size_t stop = end == std::string_view::npos ? data.size() : end;
        std::string_view line = data.substr(start, stop - start);
        if (end != std::string_view::npos && !sawLf) {
            crlf_ = !line.empty() && line.back() == '\r';
            sawLf = true;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines_.emplace_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
}

std::string IniLines::text() const {
    std::string data;
    if (bom_) data = kUtf8Bom;
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const auto& l : lines_) data.append(l).append(eol);
    return data;
}

int IniLines::findSection(std::string_view section) const {
    section = Trim(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (t.size() >= 2 && t.front() == '[') {
            size_t close = t.find(']');
            if (close != std::string_view::npos &&
                SameIgnoringAsciiCase(Trim(t.substr(1, close - 1)), section))
                return static_cast<int>(i);
        }
    }
    return -1;
}

int IniLines::findKey(int sectionLine, std::string_view key) const {
    key = Trim(key);
    for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
        std::string_view t = Trim(lines_[i]);
        if (!t.empty() && t.front() == '[') break;
        size_t eq = t.find('=');
        if (eq != std::string_view::npos && SameIgnoringAsciiCase(Trim(t.substr(0, eq)), key))
            return static_cast<int>(i);
    }
    return -1;
}

bool IniLines::get(std::string_view section, std::string_view key, std::string& value) const {
    int s = findSection(section);
    if (s < 0) return false;
    int k = findKey(s, key);
    if (k < 0) return false;
    std::string_view line = lines_[k];
    value = ReadValue(line.substr(line.find('=') + 1));
    return true;
}

void IniLines::put(std::string_view section, std::string_view key, const std::string& stored) {
    int s = findSection(section);
    if (s < 0) {
        lines_.push_back(std::string(1, '[').append(section).append(1, ']'));
        lines_.push_back(KeyLine(key, stored));
    } else if (int k = findKey(s, key); k >= 0) {
        std::string_view old = lines_[k];
        lines_[k] = KeyLine(old.substr(0, old.find('=')), stored);
    } else {
        // After the section's last key, ahead of any blank lines that close it.
        size_t at = s + 1;
        for (size_t i = s + 1; i < lines_.size(); ++i) {
            std::string_view t = Trim(lines_[i]);
            if (!t.empty() && t.front() == '[') break;
            if (!t.empty()) at = i + 1;
        }
        lines_.insert(lines_.begin() + at, KeyLine(key, stored));
    }
}

size_t IniLines::sizeAfterPut(std::string_view section, std::string_view key,
                              const std::string& stored) const {
    size_t size = bom_ ? kUtf8Bom.size() : 0;
    for (const auto& l : lines_) size += l.size() + eolSize();
    int s = findSection(section);
    if (s < 0) return size + section.size() + 2 + KeyLine(key, stored).size() + 2 * eolSize();
    if (int k = findKey(s, key); k >= 0) {
        std::string_view old = lines_[k];
        return size - old.size() + KeyLine(old.substr(0, old.find('=')), stored).size();
    }
    return size + KeyLine(key, stored).size() + eolSize();
}

}  // namespace velmora
