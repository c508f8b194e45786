// The script checker: one pass over the raw lines, no expansion.
#include "engine/script_check.h"

#include <algorithm>
#include <map>
#include <memory>

#include "engine/engine.h"
#include "engine/script_source.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

std::string Trimmed(std::string_view s) {
    return std::string(Trim(s));
}

bool Dynamic(const std::string& s) {
    return s.find('%') != std::string::npos;
}

std::string Quote(const std::string& cp932) {
    return "'" + Cp932ToUtf8(cp932) + "'";
}

struct Fields {
    std::string command;
    std::vector<std::string> params;
};

// Splits like the reader (the twelfth parameter takes the rest of the line).
Fields Split(const std::string& text) {
    Fields f;
    size_t comma = text.find(',');
    f.command = ToLowerAscii(text.substr(0, comma));
    while (comma != std::string::npos && f.params.size() < kMaxParams) {
        size_t next =
            f.params.size() == kMaxParams - 1 ? std::string::npos : text.find(',', comma + 1);
        f.params.push_back(
            text.substr(comma + 1, next == std::string::npos ? next : next - comma - 1));
        comma = next;
    }
    return f;
}

class Checker {
public:
    Checker(const Engine& engine, const std::string& file, const std::string& programPath)
        : engine_(engine), file_(file), programPath_(programPath) {}

    std::vector<Finding> run(const std::string& beginLabel) {
        const ScriptSource* src = load(file_);
        if (!src) {
            report(0, "cannot open the script");
            return findings_;
        }
        for (int n : src->unconvertibleLines())
            report(n, "character without a Shift-JIS form (it becomes '?')");
        if (src->find(beginLabel) < 0) report(0, "start label " + Quote(beginLabel) + " not found");
        for (int i = 0; i < src->lineCount(); ++i) checkLine(i + 1, std::string(src->line(i)));
        for (int n : ifs_) report(n, "if without endif");
        for (int n : whiles_) report(n, "while without endwhile");
        return findings_;
    }

private:
    void report(int line, const std::string& message) {
        findings_.push_back({file_, line, message});
    }

    const ScriptSource* load(const std::string& path) {
        auto& slot = files_[path];
        if (!slot) {
            slot = std::make_unique<ScriptSource>();
            if (!slot->open(path)) return nullptr;
        }
        return slot->isOpen() ? slot.get() : nullptr;
    }

    void checkLine(int n, std::string text) {
        text = Trimmed(text);
        if (text.empty() || std::string(";#[{}").find(text[0]) != std::string::npos) return;
        if (text[0] == '"') {
            if (Dynamic(text)) return;  // split only after expansion
            text = Trimmed(text.substr(1));
            if (text.empty() || text[0] == ';' || text[0] == '#') return;
        }
        Fields f = Split(text);
        if (Dynamic(f.command)) return;
        const Command* c = engine_.findCommand(f.command);
        if (!c) {
            report(n, "unknown command " + Quote(f.command));
            return;
        }
        int count = static_cast<int>(f.params.size());
        int needed = std::max(c->minParams, ExtraMinimum(f));
        if (count < needed) {
            report(n, "too few parameters for " + Quote(f.command) + ": needs " +
                          std::to_string(needed) + ", has " + std::to_string(count));
            return;
        }
        checkSubcommand(n, *c, f);
        checkBlocks(n, f);
        checkLabels(n, f);
    }

    // Minimums that depend on the parameters themselves.
    static int ExtraMinimum(const Fields& f) {
        const std::string& w = f.command;
        if (w == "timer") return 2;
        if (w == "image" && !f.params.empty() && f.params[0] != "clear") return 4;
        if (w == "choice" && !f.params.empty() && !Dynamic(f.params[0])) {
            int count = ToInt(f.params[0]);
            if (count >= 1 && count <= 6) return count + 2;
        }
        return 0;
    }

    void checkSubcommand(int n, const Command& c, const Fields& f) {
        if (c.subcommands.empty() || f.params.empty() || Dynamic(f.params[0])) return;
        std::string word = ToLowerAscii(f.params[0]);
        for (const SubCommand& s : c.subcommands) {
            if (s.word != word) continue;
            if (static_cast<int>(f.params.size()) < s.minParams)
                report(n, "too few parameters for " + Quote(f.command + "," + word) + ": needs " +
                              std::to_string(s.minParams) + ", has " +
                              std::to_string(f.params.size()));
            return;
        }
        report(n, "unknown sub-command " + Quote(f.params[0]) + " of " + Quote(f.command));
    }

    void checkCondition(int n, const Fields& f) {
        if (f.params.empty() || Dynamic(f.params[0])) return;
        std::string kind = ToLowerAscii(f.params[0]);
        static const char* const kinds[] = {"same", "diff", "find", "!find", "cmp"};
        if (std::find(std::begin(kinds), std::end(kinds), kind) == std::end(kinds)) {
            report(n, "unknown condition " + Quote(f.params[0]));
            return;
        }
        if (kind != "cmp") return;
        if (f.params.size() < 4) {
            report(n,
                   "too few parameters for 'cmp': needs 4, has " + std::to_string(f.params.size()));
            return;
        }
        static const char* const ops[] = {"=", "!=", ">", "<", ">=", "<="};
        const std::string& op = f.params[2];
        if (!Dynamic(op) && std::find(std::begin(ops), std::end(ops), op) == std::end(ops))
            report(n, "unknown comparison operator " + Quote(op));
    }

    void checkBlocks(int n, const Fields& f) {
        const std::string& w = f.command;
        if (w == "if" || w == "elseif" || w == "while") checkCondition(n, f);
        if (w == "if") ifs_.push_back(n);
        if (w == "while") whiles_.push_back(n);
        if ((w == "elseif" || w == "else" || w == "endif") && ifs_.empty())
            report(n, Quote(w) + " without if");
        else if (w == "endif")
            ifs_.pop_back();
        if (w == "endwhile") {
            if (whiles_.empty())
                report(n, "'endwhile' without while");
            else
                whiles_.pop_back();
        }
    }

    void checkLabels(int n, const Fields& f) {
        const std::string& w = f.command;
        const auto& p = f.params;
        if (w == "goto" || w == "subcode" || w == "bookmark") {
            checkLabel(n, p[0], file_);
        } else if (w == "timer" && p.size() >= 3 && p[0] != "stop") {
            checkLabel(n, p[2], file_);
        } else if (w == "usescript") {
            std::string target = file_;
            if (p.size() >= 2) {
                if (Dynamic(p[1])) return;
                target =
                    NativePath(p[1].find(':') == std::string::npos ? programPath_ + p[1] : p[1]);
                if (!load(target)) {
                    report(n, "script " + Quote(p[1]) + " cannot be opened");
                    return;
                }
            }
            if (!p.empty()) checkLabel(n, p[0], target);
        }
    }

    void checkLabel(int n, const std::string& label, const std::string& file) {
        if (Dynamic(label)) return;
        const ScriptSource* src = load(file);
        if (src && src->find(label) < 0) report(n, "label " + Quote(label) + " not found");
    }

    const Engine& engine_;
    std::string file_, programPath_;
    std::map<std::string, std::unique_ptr<ScriptSource>> files_;
    std::vector<int> ifs_, whiles_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckScript(const Engine& engine, const std::string& file,
                                 const std::string& programPath, const std::string& beginLabel) {
    return Checker(engine, file, programPath).run(beginLabel);
}

}  // namespace velmora
