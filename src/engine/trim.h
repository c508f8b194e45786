// White space as the reader and the settings file know it: space, tab, CR, LF, VT, FF.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

inline void TrimLeftInPlace(std::string& s) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    s.erase(0, i);
}

inline void TrimInPlace(std::string& s) {
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1])) --end;
    s.resize(end);
    TrimLeftInPlace(s);
}

}  // namespace velmora
