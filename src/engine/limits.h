// Limits of the script language that more than one module reads: the window, the web
// pages and the checker size their arrays and checks from these.
#pragma once

#include <cstddef>

namespace velmora {

// Choices one `choice` line (window or web page) can offer.
constexpr int kMaxChoices = 6;
// Nested `subcode` calls; the next one stops the script.
constexpr int kMaxCalls = 50;
// Nested active `while` loops; the next one stops the script.
constexpr int kMaxLoops = 50;
// Passes of variable expansion over one field.
constexpr int kMaxExpandPasses = 30;
// A field stops expanding, as at the pass limit, before a pass would take it past this:
// one pass can multiply its length (a value of 333 references to itself).
constexpr size_t kMaxExpandedSize = 1 << 20;

}  // namespace velmora
