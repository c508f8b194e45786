// Limits of the script language that more than one module reads: the window, the web
// pages and the checker size their arrays and checks from these.
#pragma once

namespace velmora {

// Choices one `choice` line (window or web page) can offer.
constexpr int kMaxChoices = 6;
// Nested `subcode` calls; the next one stops the script.
constexpr int kMaxCalls = 50;
// Nested active `while` loops; the next one stops the script.
constexpr int kMaxLoops = 50;

}  // namespace velmora
