// Reading the one request line the web server gets: where the path and the query are,
// the form decoding of "+" and "%" escapes, and the split of a query into its keys.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct RequestTarget {
    bool found = false;                // a "/" in the first 10 bytes
    std::string path;                  // without its leading "/", not decoded
    std::optional<std::string> query;  // the text after the last "?" of the path
};

// Finds the path and the query in the request text; the method is not looked at.
RequestTarget ParseRequestTarget(std::string_view request);

// "+" becomes a space, then each "%" with the two characters after it becomes one byte.
// A "%" with fewer than two characters after it stays as it is. The text ends at a
// decoded zero byte, as it would for any C string.
void UrlDecode(std::string& text);

// The part of s before the first d (all of s when there is none); s keeps what follows d.
std::string TakeToken(std::string& s, char d);

// The values of two keys of a query ("a=1&b=2"), each decoded; empty when absent.
// A later occurrence of a key wins; other keys are dropped.
struct QueryValues {
    std::string first, second;
};
QueryValues ParseQuery(const std::optional<std::string>& query, std::string_view firstKey,
                       std::string_view secondKey);

}  // namespace velmora
