// Splits an argument text into words the way a POSIX shell does, without expansions:
// blanks separate words, single quotes keep everything, double quotes keep everything
// but \" \\ \$ \` (and a backslash-newline), an unquoted backslash keeps the next
// character. Used for the arguments of 'shell' and the launcher entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Appends the words of text (UTF-8) to out. False for an unterminated quote or a
// trailing backslash; out is then left as it was.
bool SplitShellWords(std::string_view text, std::vector<std::string>& out);

}  // namespace velmora
