// Reading the one request line the web server gets: where the path and the query are,
// and the values of the two keys a page reads from the query.
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

// The values of two keys of a query ("a=1&b=2"), each decoded; empty when absent.
// A later occurrence of a key wins; other keys are dropped.
struct QueryValues {
    std::string first, second;
};
QueryValues ParseQuery(const std::optional<std::string>& query, std::string_view firstKey,
                       std::string_view secondKey);

}  // namespace velmora
