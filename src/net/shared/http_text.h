// Text that crosses HTTP: answers typed into a browser brought to Shift-JIS, the escaping
// that makes request texts safe in pages and header lines, and the decoding of forms.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Answers arrive in whatever encoding the browser chose; this brings Japanese text in
// ISO-2022-JP (JIS), EUC-JP or Shift-JIS to Shift-JIS. Text that cannot be read as one
// of the three comes back unchanged. The result is never longer than the input.
std::string NormalizeToShiftJis(std::string_view text);

// & < > " ' as character references. Byte-wise is safe for CP932: no trail byte is
// below 0x40.
std::string HtmlEscape(std::string_view text);

// Every byte outside A-Z a-z 0-9 - . _ ~ (and "/" when keepSlash) as %XX, so that the
// result holds no space, CR, LF or "+" and decodes back to the same bytes.
std::string PercentEncode(std::string_view bytes, bool keepSlash = false);

// A name for a Shift-JIS page: valid UTF-8 (what browsers send and file names are) is
// converted to CP932; anything else is taken to be CP932 already.
std::string PageText(std::string_view name);

// "+" becomes a space, then each "%" with the two characters after it becomes one byte.
// A "%" with fewer than two characters after it stays as it is. The text ends at a
// decoded zero byte, as it would for any C string.
void UrlDecode(std::string& text);

// The part of s before the first d (all of s when there is none); s keeps what follows d.
std::string TakeToken(std::string& s, char d);

}  // namespace velmora
