// CP932 conversions through glibc iconv, and byte-wise helpers.
#include "engine/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {

// Bytes of the character starting at p, so an unconvertible character becomes one "?".
size_t Utf8Length(const char* p, size_t left) {
    unsigned char c = *p;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return n <= left ? n : 1;
}

size_t Cp932Length(const char* p, size_t left) {
    return IsLeadByte(static_cast<unsigned char>(*p)) && left >= 2 ? 2 : 1;
}

// Converts with iconv; an unconvertible or truncated character becomes "?" and the
// conversion goes on after it, so nothing else is lost.
std::string Convert(const char* to, const char* from, std::string_view in,
                    size_t (*charLength)(const char*, size_t)) {
    std::string out;
    if (in.empty()) return out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    out.resize(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            size_t used = dst - out.data();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: replace one byte and go on.
        if (dstLeft == 0) continue;
        *dst++ = '?';
        --dstLeft;
        size_t skip = charLength(src, srcLeft);
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.data());
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    for (unsigned char c : cp932)
        if (c >= 0x80) return Convert("UTF-8", "CP932", cp932, Cp932Length);
    return std::string(cp932);
}

std::string Utf8ToCp932(std::string_view utf8) {
    for (unsigned char c : utf8)
        if (c >= 0x80) return Convert("CP932", "UTF-8", utf8, Utf8Length);
    return std::string(utf8);
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = s[i];
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2) || i + extra >= s.size() + (extra ? 0 : 1))
            return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        i += extra + 1;
    }
    return true;
}

void LowerAsciiInPlace(std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char& c = text[i];
        if (IsLeadByte(static_cast<unsigned char>(c)))
            ++i;  // its trail byte is part of the character, not a letter
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (IsLeadByte(static_cast<unsigned char>(x))) {
            // Equal lead bytes: the trail bytes must be equal as they are.
            if (x != y || (i + 1 < a.size() && a[i + 1] != b[i + 1])) return false;
            ++i;
            continue;
        }
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string ToLowerAscii(std::string_view text) {
    std::string s(text);
    LowerAsciiInPlace(s);
    return s;
}

namespace {

std::string& ProgramFolderForPaths() {
    static std::string folder;
    return folder;
}

}  // namespace

void SetProgramFolderForPaths(std::string cp932Folder) {
    ProgramFolderForPaths() = std::move(cp932Folder);
}

std::string NativePath(std::string_view name) {
    const std::string& folder = ProgramFolderForPaths();
    const size_t kept =
        !folder.empty() && name.substr(0, folder.size()) == folder ? folder.size() : 0;
    std::string s(name);
    for (size_t i = kept; i < s.size(); ++i) {
        unsigned char c = s[i];
        if (IsLeadByte(c) && i + 1 < s.size()) {
            ++i;  // the trail byte may look like a backslash; it is not one
        } else if (c == '\\') {
            s[i] = '/';
        }
    }
    return Cp932ToUtf8(s);
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    size_t at = s.find(from);
    if (at == std::string::npos) return;
    // Mostly the text occurs once: replace it where it stands, without a copy.
    if (s.find(from, at + from.size()) == std::string::npos) {
        s.replace(at, from.size(), to);
        return;
    }
    std::string out;
    size_t last = 0;
    for (; at != std::string::npos; at = s.find(from, last)) {
        out.append(s, last, at - last).append(to);
        last = at + from.size();
    }
    out.append(s, last, std::string::npos);
    s.swap(out);
}

void DecodeEscapes(std::string& field) {
    if (field.find('/') == std::string::npos) return;
    ReplaceAll(field, "/com", ",");
    ReplaceAll(field, "/ret", "\n");
    ReplaceAll(field, "/per", "%");
    ReplaceAll(field, "/_", "/");
}

bool IsAbsoluteName(std::string_view name) {
    return (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
           name.find(':') != std::string_view::npos;
}

std::string::size_type FindMbs(std::string_view hay, std::string_view needle) {
    if (needle.empty()) return 0;
    for (size_t i = 0; i + needle.size() <= hay.size();) {
        if (hay.compare(i, needle.size(), needle) == 0) return i;
        i += (IsLeadByte(static_cast<unsigned char>(hay[i])) && i + 1 < hay.size()) ? 2 : 1;
    }
    return std::string::npos;
}

int ToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<int>(negative ? 0u - value : value);
}

double ToReal(std::string_view s) {
    // Sign, digits, decimal point, exponent: nothing else (no hex, no inf).
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    size_t start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    // A plain integer of up to 15 digits is exact in a double: no need for strtod.
    if (digits <= 15 && (i == s.size() || (s[i] != 'e' && s[i] != 'E')) &&
        s.substr(start, i - start).find('.') == std::string_view::npos) {
        double v = 0;
        for (size_t d = start + (s[start] == '+' || s[start] == '-'); d < i; ++d)
            v = v * 10 + (s[d] - '0');
        return s[start] == '-' ? -v : v;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && s[j] >= '0' && s[j] <= '9') {
            while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
            i = j;
        }
    }
    return std::strtod(std::string(s.substr(start, i - start)).c_str(), nullptr);
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), n + 1, fmt, ap2);
    va_end(ap2);
    return out;
}

LineFields SplitFields(std::string_view text) {
    LineFields f;
    size_t comma = text.find(',');
    f.command = text.substr(0, comma);
    while (comma != std::string_view::npos && f.count < kMaxParams) {
        size_t next =
            f.count == kMaxParams - 1 ? std::string_view::npos : text.find(',', comma + 1);
        f.params[f.count++] = text.substr(
            comma + 1, next == std::string_view::npos ? std::string_view::npos : next - comma - 1);
        comma = next;
    }
    return f;
}

}  // namespace velmora
