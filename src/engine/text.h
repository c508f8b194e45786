// CP932 text helpers. Inside the program all text is CP932 bytes; these convert at the
// boundaries of the operating system and do the byte-wise work that respects
// double-byte characters.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "velmora/plugin_api.h"

namespace velmora {

// True when b is the first byte of a CP932 double-byte character.
inline bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Conversions; bytes that do not convert become "?" (the rest of the text is kept).
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);
bool IsValidUtf8(std::string_view text);

// ASCII letters A-Z to a-z, every other byte unchanged. The second byte of a double-byte
// character is never a letter, even where its value is one: ア is 0x83 0x41.
std::string ToLowerAscii(std::string_view text);
void LowerAsciiInPlace(std::string& text);
// Equal but for the letter case of ASCII letters, in the sense of ToLowerAscii.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

// A CP932 file name as the operating system wants it: backslashes that are not the
// second byte of a double-byte character become "/", then UTF-8. A name that begins with
// the program folder keeps that folder as the system gave it.
std::string NativePath(std::string_view cp932Name);
// The program folder (CP932, ending in "/") for NativePath; set once at start-up. On Linux
// a backslash may be part of a folder's name, and only scripts write Windows paths.
void SetProgramFolderForPaths(std::string cp932Folder);

// True when the name is used as given: it begins with "/" (or "\") or contains ":".
bool IsAbsoluteName(std::string_view cp932Name);

// Every occurrence of from in s replaced by to, left to right.
void ReplaceAll(std::string& s, std::string_view from, std::string_view to);

// The escapes a field may hold, decoded in place after expansion: "/com" a comma, "/ret" a
// line break, "/per" a percent sign, "/_" a slash.
void DecodeEscapes(std::string& field);

// Substring search that never matches in the middle of a double-byte character.
std::string::size_type FindMbs(std::string_view haystack, std::string_view needle);

// The integer value of a text as atoi reads it: leading white space, an optional sign,
// decimal digits; 0 without digits. Values beyond 32 bits wrap instead of being undefined.
int ToInt(std::string_view text);

// The leading real number of a text (sign, digits, decimal point, exponent); 0 if none.
double ToReal(std::string_view text);

// A script line split at its commas: the command word, then at most kMaxParams
// parameters, the last of which takes the rest of the line. Nothing is expanded.
struct LineFields {
    std::string_view command;
    std::array<std::string_view, kMaxParams> params{};
    int count = 0;
};
LineFields SplitFields(std::string_view text);

// How the reader treats a line after trimming, by its first character: a label, brace,
// comment or empty line is passed over; '"' asks for expansion before the split.
inline bool IsPassedOver(std::string_view trimmed) {
    return trimmed.empty() || std::string_view(";#{}[").find(trimmed[0]) != std::string_view::npos;
}
inline bool IsComment(std::string_view text) {
    return text.empty() || text[0] == ';' || text[0] == '#';
}

// printf into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace velmora

// Declares name() returning the UTF-8 literal converted to CP932 once, at first use.
#define VELMORA_CP932(name, utf8)                                  \
    inline const std::string& name() {                             \
        static const std::string s = ::velmora::Utf8ToCp932(utf8); \
        return s;                                                  \
    }

// Declares name(parameters) returning the UTF-8 printf format, converted to CP932 once,
// filled in with the arguments. The compiler checks the format against the arguments.
#define VELMORA_CP932_FORMAT(name, parameters, utf8, ...)               \
    inline std::string name parameters {                                \
        static const std::string format = ::velmora::Utf8ToCp932(utf8); \
        if (false) (void)::velmora::Format(utf8, __VA_ARGS__);          \
        return ::velmora::Format(format.c_str(), __VA_ARGS__);          \
    }
