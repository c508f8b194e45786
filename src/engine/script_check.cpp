// The script checker: one pass over the raw lines, no expansion.
#include "engine/script_check.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>

#include "engine/engine.h"
#include "engine/expression.h"
#include "engine/limits.h"
#include "engine/script_source.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

std::string Trimmed(std::string_view s) {
    return std::string(Trim(s));
}

// Every byte from 0x80 up, for find_first_of.
const std::string kNonAscii = [] {
    std::string bytes;
    for (int b = 0x80; b <= 0xFF; ++b) bytes += static_cast<char>(b);
    return bytes;
}();

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

// Splits like the reader, without expansion.
Fields Split(const std::string& text) {
    const LineFields split = SplitFields(text);
    Fields f{ToLowerAscii(split.command), {}};
    for (int i = 0; i < split.count; ++i) f.params.emplace_back(split.params[i]);
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
        checkEncoding(*src);
        for (int n : src->unconvertibleLines())
            report(n, "character without a Shift-JIS form (it becomes '?')");
        if (src->find(beginLabel) < 0)
            report(0,
                   "start label " + Quote(beginLabel) + " not found" + BlankHint(*src, beginLabel));
        for (int i = 0; i < src->lineCount(); ++i) checkLine(i + 1, std::string(src->line(i)));
        for (int n : ifs_) report(n, "if without endif");
        for (int n : whiles_) report(n, "while without endwhile");
        checkCallDepth(*src);
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
        if (IsPassedOver(text)) return;
        if (text[0] == '"') {
            if (Dynamic(text)) return;  // split only after expansion
            text = Trimmed(text.substr(1));
            if (IsComment(text)) return;
        }
        Fields f = Split(text);
        if (Dynamic(f.command)) return;
        const Command* c = engine_.findCommand(f.command);
        if (!c) {
            report(n, "unknown command " + Quote(f.command));
            return;
        }
        if (!checkParams(n, *c, f)) return;
        checkBlocks(n, f);
        checkLabels(n, f);
    }

    // The command's and its sub-command's rows: an unknown word or fewer parameters than a
    // run would need. False when the line was reported.
    bool checkParams(int n, const Command& c, const Fields& f) {
        const int count = static_cast<int>(f.params.size());
        // In the order of a run: the command's own minimum, then its sub-command's.
        if (!enough(n, f.command, std::max(c.minParams, Counted(c.counted, f)), count))
            return false;
        if (c.subcommands.empty() || f.params.empty() || Dynamic(f.params[0])) return true;
        const std::string word =
            c.subcommandCase == WordCase::Lowered ? ToLowerAscii(f.params[0]) : f.params[0];
        const SubCommand* sub = FindSubcommand(c, word);
        if (!sub) {
            report(n, "unknown sub-command " + Quote(f.params[0]) + " of " + Quote(f.command));
            return false;
        }
        const std::string name = sub->word == kAnyOtherWord ? f.command : f.command + "," + word;
        return enough(n, name, std::max(sub->minParams, Counted(sub->counted, f)), count);
    }

    bool enough(int n, const std::string& name, int needed, int count) {
        if (count >= needed) return true;
        report(n, "too few parameters for " + Quote(name) + ": needs " + std::to_string(needed) +
                      ", has " + std::to_string(count));
        return false;
    }

    // The minimum a count parameter asks for; 0 when the count is absent or not known yet.
    static int Counted(const CountedParams& counted, const Fields& f) {
        if (counted.countAt < 1 || static_cast<int>(f.params.size()) < counted.countAt) return 0;
        const std::string& text = f.params[counted.countAt - 1];
        return Dynamic(text) ? 0 : counted.For(text);
    }

    void checkCondition(int n, const Fields& f) {
        if (f.params.empty() || Dynamic(f.params[0])) return;
        const ConditionRule* rule = FindCondition(ToLowerAscii(f.params[0]));
        if (!rule) {
            report(n, "unknown condition " + Quote(f.params[0]));
            return;
        }
        if (static_cast<int>(f.params.size()) < rule->minParams) {
            report(n, "too few parameters for " + Quote(std::string(rule->word)) + ": needs " +
                          std::to_string(rule->minParams) + ", has " +
                          std::to_string(f.params.size()));
            return;
        }
        if (rule->kind != ConditionKind::Cmp) return;
        const std::string& op = f.params[2];
        if (!Dynamic(op) && !FindCompare(op)) report(n, "unknown comparison operator " + Quote(op));
    }

    void checkBlocks(int n, const Fields& f) {
        const std::string& w = f.command;
        if (w == "if" || w == "elseif" || w == "while") checkCondition(n, f);
        if (w == "if") ifs_.push_back(n);
        if (w == "while") {
            // A run refuses the loop one deeper than the limit, whatever the conditions.
            if (static_cast<int>(whiles_.size()) == kMaxLoops)
                report(n, "loops nested more than " + std::to_string(kMaxLoops) + " deep");
            whiles_.push_back(n);
        }
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
            if (w == "subcode" && !Dynamic(p[0])) calls_.push_back({n, p[0]});
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
        if (src && src->find(label) < 0)
            report(n, "label " + Quote(label) + " not found" + BlankHint(*src, label));
    }

    // A label differs from a line only in trailing white space: labels match whole lines
    // byte for byte, and a trailing blank is invisible in most editors.
    static std::string BlankHint(const ScriptSource& src, const std::string& label) {
        const std::string_view want = TrimRight(label);
        for (int i = 0; i < src.lineCount(); ++i)
            if (TrimRight(src.line(i)) == want)
                return " (line " + std::to_string(i + 1) + " differs only by a trailing blank)";
        return "";
    }

    static std::string_view TrimRight(std::string_view s) {
        while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
        return s;
    }

    // A UTF-8 file without the byte-order mark is read as Shift-JIS: its text would show
    // garbled in the run.
    void checkEncoding(const ScriptSource& src) {
        if (src.isUtf8()) return;
        std::ifstream in(file_, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        const size_t wide = bytes.find_first_of(kNonAscii);
        if (wide == std::string::npos || !IsValidUtf8(bytes)) return;
        const int line =
            1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + wide, '\n'));
        report(line,
               "UTF-8 text without a byte-order mark is read as Shift-JIS; save the file as "
               "UTF-8 with BOM");
    }

    // Static nesting of subcode calls: a called label's section runs to the next called
    // label. A chain deeper than a run allows is reported once, at the call a run would
    // refuse. Recursion is left alone: how deep it goes depends on the data.
    void checkCallDepth(const ScriptSource& src) {
        std::vector<int> targets;  // per call: its label's line (1-based), 0 when missing
        for (const Call& c : calls_) targets.push_back(src.find(c.label) + 1);
        std::vector<int> sections(targets);
        std::sort(sections.begin(), sections.end());
        auto sectionOf = [&](int line) {
            auto it = std::lower_bound(sections.begin(), sections.end(), line);
            return it == sections.begin() ? 0 : *(it - 1);
        };
        // Per section: the deepest chain of calls made from it and the call that starts
        // it (an index into calls_); a depth of -1 marks a section being worked out.
        std::map<int, std::pair<int, int>> deepest;
        std::function<int(int)> depthFrom = [&](int section) {
            auto [it, fresh] = deepest.try_emplace(section, std::pair{-1, -1});
            if (!fresh) return std::max(it->second.first, 0);
            std::pair<int, int> best{0, -1};
            for (size_t i = 0; i < calls_.size(); ++i) {
                if (targets[i] == 0 || sectionOf(calls_[i].line) != section) continue;
                const int chain = 1 + depthFrom(targets[i]);
                if (chain > best.first) best = {chain, static_cast<int>(i)};
            }
            deepest[section] = best;
            return best.first;
        };
        int worst = 0, first = -1;
        for (size_t i = 0; i < calls_.size(); ++i) {
            const int chain = targets[i] == 0 ? 0 : 1 + depthFrom(targets[i]);
            if (chain > worst) worst = chain, first = static_cast<int>(i);
        }
        if (worst <= kMaxCalls) return;
        int refused = first;
        for (int step = 0; step < kMaxCalls && refused >= 0; ++step)
            refused = deepest[targets[refused]].second;
        if (refused < 0) return;
        report(calls_[refused].line, "subcode calls nested more than " + std::to_string(kMaxCalls) +
                                         " deep (call " + std::to_string(kMaxCalls + 1) +
                                         ", from line " + std::to_string(calls_[first].line) + ")");
    }

    struct Call {
        int line;
        std::string label;
    };

    const Engine& engine_;
    std::string file_, programPath_;
    std::map<std::string, std::unique_ptr<ScriptSource>> files_;
    std::vector<int> ifs_, whiles_;
    std::vector<Call> calls_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckScript(const Engine& engine, const std::string& file,
                                 const std::string& programPath, const std::string& beginLabel) {
    return Checker(engine, file, programPath).run(beginLabel);
}

}  // namespace velmora
