// What "open" means for 'shell' and 'openurl': an executable file is started with its
// arguments in the given folder; a URL, a document or a folder goes to xdg-open.
#pragma once

#include <string>

namespace velmora {

// All texts CP932. True when the program (or xdg-open) was started.
bool ShellOpen(const std::string& file, const std::string& arguments, const std::string& folder);

// True for "scheme:rest" with a scheme of two or more characters, so "C:\x" is not a URL.
bool LooksLikeUrl(const std::string& text);

}  // namespace velmora
