// libFuzzer target for the line reader: any script text is read line by line with variable
// references and escapes expanded, each line's fields are what splitting the line afresh
// and expanding each field pass by pass gives (the reader keeps splits and references of
// a line between reads), and the script's own escapes can carry any text into a parameter
// unchanged.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/text.h"
#include "engine/trim.h"
#include "support/fake_frontend.h"

using namespace velmora;

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

// Reads of one input; the end of the script comes long before this for small inputs.
constexpr int kMaxReads = 200;
// No expansion takes a field past 1 MiB (a line of the input may be longer itself).
constexpr size_t kMaxField = 1u << 20;

struct World {
    std::string folder;
    test::FakeFrontend fe;
    Engine engine{fe};
    World() {
        char name[] = "/tmp/velmora-reader-fuzz-XXXXXX";
        Require(::mkdtemp(name) != nullptr);
        folder = std::string(name) + "/";
        fe.engine = &engine;
        fe.fireTimerWhenIdle = false;
        engine.setProgramPath(folder);
        engine.LoadSettings();
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder + name, std::ios::binary | std::ios::trunc) << text;
    }
};

// The text written with the script's escapes so that the reader gives it back.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '/')
            out += "/_";
        else if (c == ',')
            out += "/com";
        else if (c == '\n')
            out += "/ret";
        else if (c == '%')
            out += "/per";
        else
            out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World w;
    Engine& e = w.engine;
    const std::string input(reinterpret_cast<const char*>(data), size);

    // Any text as a script, with a variable whose value is the input's first line. Without
    // its percent signs: a value that refers to itself expands to the 1 MiB limit on every
    // line and slows the search a hundredfold; the unit tests cover that limit.
    std::string value = input.substr(0, input.find('\n'));
    std::erase(value, '%');
    e.SetVariable("x", value);
    e.SetVariable("p", "%x%");  // values with a "%" are expanded again by the next pass
    e.SetVariable("q", "50%");
    w.write("any.txt", input);
    e.CloseScript();
    Require(e.OpenScript("any.txt"));
    // The lines as the reader sees them (a Ctrl-Z ends the file; a UTF-8 file is converted,
    // which this comparison leaves to the unit tests).
    std::vector<std::string> lines;
    const std::string text = input.substr(0, input.find('\x1a'));
    const bool utf8 = text.starts_with("\xEF\xBB\xBF");
    for (size_t at = 0; at < text.size();) {
        size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        if (end < text.size() && !lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
        at = end + 1;
    }
    int last = 0;
    for (int i = 0; i < kMaxReads && e.ReadNextLine(); ++i) {
        if (!utf8 && e.line.lineNumber <= int(lines.size())) {
            const std::string raw(Trim(lines[size_t(e.line.lineNumber - 1)]));
            if (!raw.empty() && raw[0] != '"') {
                const LineFields f = SplitFields(raw);
                std::string command(f.command);
                e.ExpandField(command);
                Require(ToLowerAscii(command) == e.line.command);
                Require(f.count == e.line.paramCount);
                for (int p = 0; p < f.count; ++p) {
                    std::string field(f.params[p]);
                    e.ExpandField(field);
                    Require(field == e.line.param[p]);
                }
            }
        }
        Require(e.line.lineNumber > last);
        last = e.line.lineNumber;
        Require(e.line.paramCount >= 0 && e.line.paramCount <= kMaxParams);
        Require(ToLowerAscii(e.line.command) == e.line.command);
        Require(e.line.command.size() <= std::max(kMaxField, size));
        for (int p = 1; p <= e.line.paramCount; ++p)
            Require(e.line.p(p).size() <= std::max(kMaxField, size));
    }

    // Escapes carry any text: only white space at the line's end is lost, to the trim.
    w.write("escaped.txt", "set,v," + Escaped(input) + "\n");
    e.CloseScript();
    Require(e.OpenScript("escaped.txt"));
    Require(e.ReadNextLine());
    // A Ctrl-Z ends a script file, as Windows text mode reads it.
    std::string expected = input.substr(0, input.find('\x1a'));
    while (!expected.empty() && expected.back() != '\n' && IsSpace(expected.back()))
        expected.pop_back();
    Require(e.line.command == "set");
    Require(e.line.paramCount == 2);
    Require(e.line.p(2) == expected);

    w.fe.messages.clear();
    return 0;
}
