// Making texts that come from a request safe for the pages and header lines the web
// server writes: HTML escaping, percent-encoding, and the Shift-JIS form of a name.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// & < > " ' as character references. Byte-wise is safe for CP932: no trail byte is
// below 0x40.
std::string HtmlEscape(std::string_view text);

// Every byte outside A-Z a-z 0-9 - . _ ~ (and "/" when keepSlash) as %XX, so that the
// result holds no space, CR, LF or "+" and decodes back to the same bytes.
std::string PercentEncode(std::string_view bytes, bool keepSlash = false);

// A name for a Shift-JIS page: valid UTF-8 (what browsers send and file names are) is
// converted to CP932; anything else is taken to be CP932 already.
std::string PageText(std::string_view name);

}  // namespace velmora
