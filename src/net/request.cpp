// Request-line parsing and form decoding for the web server.
#include "net/request.h"

#include "net/shared/http_text.h"

namespace velmora {

namespace {

constexpr size_t kMethodSpan = 10;  // the "/" must come within the first 10 bytes
constexpr size_t kPathSpan = 1000;  // the path is cut at 1000 bytes

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
