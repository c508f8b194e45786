// libFuzzer target for the code that reads what a browser sends: request lines, form
// decoding, query keys, the Shift-JIS normalising of answers, and the file names and
// header lines built from request paths. Each input goes through all of them, and the
// properties the server relies on are checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/shared/http_text.h"
#include "net/web/connection.h"
#include "net/web/file_server.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

void CheckRequest(const std::string& text) {
    RequestTarget t = ParseRequestTarget(text);
    size_t span = t.path.size() + (t.query ? t.query->size() + 1 : 0);
    Require(span <= 1000);
    Require(t.path.find(' ') == std::string::npos);
    if (!t.found) Require(t.path.empty() && !t.query);
    ParseQuery(t.query, "input", "prev");

    std::string path = t.path;
    UrlDecode(path);
    Require(path.size() <= t.path.size());
    Require(path.find('\0') == std::string::npos);
    // Nothing from the request climbs above the root or breaks a header line.
    std::string name = DiskName("/srv/www", path);
    Require(name.rfind("/srv/www/", 0) == 0);
    Require(name.find("..") == std::string::npos);
    std::string type = ContentTypeLine(path, false);
    Require(type.find_first_of("\r\n") == type.size() - 1);
    std::string location = PercentEncode(path, true);
    Require(location.find_first_of(" \r\n") == std::string::npos);
}

void CheckCoding(const std::string& text) {
    std::string decoded = text;
    UrlDecode(decoded);
    Require(decoded.size() <= text.size());
    std::string plain = text.substr(0, text.find('\0'));
    std::string back = PercentEncode(plain);
    UrlDecode(back);
    Require(back == plain);
    Require(NormalizeToShiftJis(text).size() <= text.size());
    HtmlEscape(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CheckRequest(text);
    CheckCoding(text);
    return 0;
}
