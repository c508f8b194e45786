// Request-line parsing and form decoding for the web server.
#include "net/request.h"

#include <cstring>

namespace velmora {

namespace {

constexpr size_t kMethodSpan = 10;  // the "/" must come within the first 10 bytes
constexpr size_t kPathSpan = 1000;  // the path is cut at 1000 bytes

// Hex digit value as the server has always read it: lenient, so "%zz" still yields a byte.
int EscapeDigit(unsigned char c) {
    if (c < 'A' || c >= 0x80) return c - 0x30;
    return (c & ~0x20) - 0x37;
}

}  // namespace

RequestTarget ParseRequestTarget(std::string_view request) {
    RequestTarget t;
    request = request.substr(0, request.find('\0'));
    size_t slash = request.substr(0, kMethodSpan).find('/');
    if (slash == std::string_view::npos) return t;
    t.found = true;
    std::string_view path = request.substr(slash + 1);
    size_t end = path.substr(0, kPathSpan).find(' ');
    if (end == std::string_view::npos) end = kPathSpan;
    path = path.substr(0, end);
    size_t question = path.rfind('?');
    if (question != std::string_view::npos) {
        t.query = std::string(path.substr(question + 1));
        path = path.substr(0, question);
    }
    t.path = std::string(path);
    return t;
}

void UrlDecode(std::string& text) {
    for (char& c : text)
        if (c == '+') c = ' ';
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = EscapeDigit(static_cast<unsigned char>(text[i + 1]));
            int lo = EscapeDigit(static_cast<unsigned char>(text[i + 2]));
            out.push_back(static_cast<char>((hi * 16 + lo) & 0xFF));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    out.resize(std::strlen(out.c_str()));
    text = std::move(out);
}

std::string TakeToken(std::string& s, char d) {
    size_t at = s.find(d);
    std::string token = s.substr(0, at);
    s.erase(0, at == std::string::npos ? s.size() : at + 1);
    return token;
}

QueryValues ParseQuery(const std::optional<std::string>& query, std::string_view firstKey,
                       std::string_view secondKey) {
    QueryValues v;
    if (!query) return v;
    std::string rest = *query;
    while (!rest.empty()) {
        std::string token = TakeToken(rest, '&');
        UrlDecode(token);
        std::string key = TakeToken(token, '=');
        if (key == firstKey)
            v.first = token;
        else if (key == secondKey)
            v.second = token;
    }
    return v;
}

}  // namespace velmora
