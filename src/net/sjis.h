// Answers typed into a browser arrive in whatever encoding the browser chose; this
// brings Japanese text in ISO-2022-JP (JIS), EUC-JP or Shift-JIS to Shift-JIS.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Text that cannot be read as one of the three comes back unchanged. The result is
// never longer than the input.
std::string NormalizeToShiftJis(std::string_view text);

}  // namespace velmora
