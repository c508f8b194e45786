// Shell-style word splitting (quotes and backslashes, no expansions).
#include "host/shell_words.h"

namespace velmora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Inside double quotes a backslash only escapes these.
bool EscapableInDoubleQuotes(char c) {
    return c == '"' || c == '\\' || c == '$' || c == '`' || c == '\n';
}

}  // namespace

bool SplitShellWords(std::string_view text, std::vector<std::string>& out) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i++];
        if (IsBlank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\\') {
            if (i >= text.size()) return false;
            if (text[i] != '\n') word += text[i];  // backslash-newline joins lines
            ++i;
        } else if (c == '\'') {
            size_t end = text.find('\'', i);
            if (end == std::string_view::npos) return false;
            word.append(text.substr(i, end - i));
            i = end + 1;
        } else if (c == '"') {
            for (;;) {
                if (i >= text.size()) return false;
                char d = text[i++];
                if (d == '"') break;
                if (d == '\\' && i < text.size() && EscapableInDoubleQuotes(text[i])) {
                    if (text[i] != '\n') word += text[i];
                    ++i;
                } else {
                    word += d;
                }
            }
        } else {
            word += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    out.insert(out.end(), words.begin(), words.end());
    return true;
}

}  // namespace velmora
