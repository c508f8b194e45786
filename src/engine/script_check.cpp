// The script checker: one pass over the raw lines, no expansion.
#include "engine/script_check.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <unordered_map>

#include "engine/engine.h"
#include "engine/expression.h"
#include "engine/ini_file.h"
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

// Splits like the reader, without expansion; escapes are decoded as a run decodes them,
// so "/_" in a label names the same line for both.
Fields Split(const std::string& text) {
    const LineFields split = SplitFields(text);
    Fields f{ToLowerAscii(split.command), {}};
    for (int i = 0; i < split.count; ++i) {
        std::string param(split.params[i]);
        if (!Dynamic(param)) DecodeEscapes(param);
        f.params.push_back(std::move(param));
    }
    return f;
}

// The sub-command row a line selects; nullptr without one, or when it is not known yet.
const SubCommand* SubcommandOf(const Command& c, const Fields& f) {
    if (c.subcommands.empty() || f.params.empty() || Dynamic(f.params[0])) return nullptr;
    return FindSubcommand(
        c, c.subcommandCase == WordCase::Lowered ? ToLowerAscii(f.params[0]) : f.params[0]);
}

bool HasCondition(BlockRole role) {
    return role == BlockRole::OpenIf || role == BlockRole::ElseIf || role == BlockRole::OpenLoop;
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
        if (lineOf(*src, beginLabel) < 0)
            report(0,
                   "start label " + Quote(beginLabel) + " not found" + BlankHint(*src, beginLabel));
        for (int i = 0; i < src->lineCount(); ++i) checkLine(i + 1, std::string(src->line(i)));
        for (int n : ifs_) report(n, "if without endif");
        for (int n : whiles_) report(n, "while without endwhile");
        checkJumpsIntoBlocks(*src);
        checkCallDepth(*src);
        return findings_;
    }

private:
    void report(int line, const std::string& message) {
        findings_.push_back({file_, line, message});
    }

    // The first line (0-based) equal to label, or -1: a run's search, from an index built
    // once per file, since a long script names thousands of labels.
    int lineOf(const ScriptSource& src, const std::string& label) {
        auto [it, fresh] = labels_.try_emplace(&src);
        if (fresh)
            for (int i = src.lineCount() - 1; i >= 0; --i) it->second[src.line(i)] = i;
        auto found = it->second.find(label);
        return found == it->second.end() ? -1 : found->second;
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
        checkBlocks(n, *c, f);
        checkLabels(n, *c, f);
        checkStoredName(n, *c, f);
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
        const SubCommand* sub = SubcommandOf(c, f);
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
        if (f.params.empty()) {
            // A run evaluates it when the branch before it was skipped, and stops there.
            report(n, Quote(f.command) + " without a condition");
            return;
        }
        if (Dynamic(f.params[0])) return;
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

    void checkBlocks(int n, const Command& c, const Fields& f) {
        if (HasCondition(c.block)) checkCondition(n, f);
        switch (c.block) {
            case BlockRole::None:
                break;
            case BlockRole::OpenIf:
                ifs_.push_back(n);
                break;
            case BlockRole::ElseIf:
            case BlockRole::Else:
            case BlockRole::CloseIf:
                if (ifs_.empty()) {
                    report(n, Quote(f.command) + " without if");
                } else if (c.block == BlockRole::CloseIf) {
                    blocks_.push_back({ifs_.back(), n});
                    ifs_.pop_back();
                }
                break;
            case BlockRole::OpenLoop:
                // A run refuses the loop one deeper than the limit, whatever the conditions.
                if (static_cast<int>(whiles_.size()) == kMaxLoops)
                    report(n, "loops nested more than " + std::to_string(kMaxLoops) + " deep");
                whiles_.push_back(n);
                break;
            case BlockRole::CloseLoop:
                if (whiles_.empty()) {
                    report(n, Quote(f.command) + " without while");
                } else {
                    blocks_.push_back({whiles_.back(), n});
                    whiles_.pop_back();
                }
                break;
        }
    }

    // The label parameter of the line's row (its sub-command's first), checked in the
    // script it names; calls and jumps within this script are kept for later passes.
    void checkLabels(int n, const Command& c, const Fields& f) {
        const SubCommand* sub = SubcommandOf(c, f);
        const LabelParam& label = sub && sub->label.at > 0 ? sub->label : c.label;
        if (label.at == 0) return;
        const auto& p = f.params;
        std::string target = file_;
        if (label.scriptAt > 0 && static_cast<int>(p.size()) >= label.scriptAt) {
            const std::string& name = p[label.scriptAt - 1];
            if (Dynamic(name)) return;
            target = NativePath(IsAbsoluteName(name) ? name : programPath_ + name);
            if (!load(target)) {
                report(n, "script " + Quote(name) + " cannot be opened");
                return;
            }
        }
        if (static_cast<int>(p.size()) < label.at || Dynamic(p[label.at - 1])) return;
        const std::string& name = p[label.at - 1];
        checkLabel(n, name, target);
        if (target != file_) return;
        if (label.use == LabelUse::Call) calls_.push_back({n, name});
        if (label.use == LabelUse::Jump) jumps_.push_back({n, name});
    }

    // A name the settings file could not read back stops a run with a variable error.
    void checkStoredName(int n, const Command& c, const Fields& f) {
        const int at = c.storesNameAt;
        if (at == 0 || static_cast<int>(f.params.size()) < at) return;
        const std::string& name = f.params[at - 1];
        if (Dynamic(name) || BuiltinIndexOf(name) >= 0 || IniFile::KeyReadsBack(name)) return;
        report(n, Quote(name) +
                      " cannot be stored as a variable name (no '=' or line break, "
                      "and no '[' or ';' first)");
    }

    void checkLabel(int n, const std::string& label, const std::string& file) {
        if (Dynamic(label)) return;
        const ScriptSource* src = load(file);
        if (src && lineOf(*src, label) < 0)
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

    // A jump forgets the open blocks, so a label inside a block leads to an else, endif
    // or endwhile that a run finds unmatched, unless the lines on the way leave first.
    void checkJumpsIntoBlocks(const ScriptSource& src) {
        // Per line (1-based): how many blocks hold it strictly inside.
        std::vector<int> depth(src.lineCount() + 2, 0);
        for (const Block& b : blocks_) ++depth[b.open + 1], --depth[b.close];
        for (size_t i = 1; i < depth.size(); ++i) depth[i] += depth[i - 1];
        std::vector<bool> scanned(depth.size(), false);
        for (const LabelRef& j : jumps_) {
            const int target = lineOf(src, j.label) + 1;
            if (target == 0 || scanned[target]) continue;
            scanned[target] = true;
            if (depth[target] > 0) scanFromJump(src, target, j.line);
        }
    }

    void scanFromJump(const ScriptSource& src, int target, int from) {
        int ifs = 0, loops = 0;
        for (int i = target; i < src.lineCount(); ++i) {
            std::string text = Trimmed(src.line(i));
            if (IsPassedOver(text) || text[0] == '"') continue;
            const Fields f = Split(text);
            const Command* c = engine_.findCommand(f.command);
            if (!c) continue;
            const BlockRole role = c->block;
            const bool unmatchedIf =
                ifs == 0 && (role == BlockRole::ElseIf || role == BlockRole::Else ||
                             role == BlockRole::CloseIf);
            if (unmatchedIf || (loops == 0 && role == BlockRole::CloseLoop)) {
                report(i + 1, Quote(f.command) + " has no open " + (unmatchedIf ? "if" : "while") +
                                  " when reached by the jump on line " + std::to_string(from));
                return;
            }
            if (ifs == 0 && loops == 0 && c->flow == Flow::Leaves) return;
            ifs += role == BlockRole::OpenIf ? 1 : role == BlockRole::CloseIf ? -1 : 0;
            loops += role == BlockRole::OpenLoop ? 1 : role == BlockRole::CloseLoop ? -1 : 0;
        }
    }

    // Static nesting of subcode calls: a called label's section runs to the next called
    // label. A chain deeper than a run allows is reported once, at the call a run would
    // refuse. Recursion is left alone: how deep it goes depends on the data. Each section
    // is worked out once, without recursion: a chain may be thousands of calls long.
    void checkCallDepth(const ScriptSource& src) {
        std::vector<int> targets;  // per call: its label's line (1-based), 0 when missing
        for (const LabelRef& c : calls_) targets.push_back(lineOf(src, c.label) + 1);
        std::vector<int> sections(targets);
        std::sort(sections.begin(), sections.end());
        auto sectionOf = [&](int line) {
            auto it = std::lower_bound(sections.begin(), sections.end(), line);
            return it == sections.begin() ? 0 : *(it - 1);
        };
        std::map<int, std::vector<int>> callsFrom;  // per section: its calls (indices)
        for (size_t i = 0; i < calls_.size(); ++i)
            if (targets[i] != 0) callsFrom[sectionOf(calls_[i].line)].push_back(int(i));

        // Per section: the deepest chain of calls made from it and the call that starts it.
        struct Deepest {
            int depth = 0;
            int call = -1;
            bool open = true;  // being worked out: a call back into it counts as 0
        };
        std::map<int, Deepest> deepest;
        struct Frame {
            int section;
            size_t next = 0;
        };
        auto depthFrom = [&](int root) {
            std::vector<Frame> stack;
            if (deepest.try_emplace(root).second) stack.push_back({root});
            while (!stack.empty()) {
                const int section = stack.back().section;
                const std::vector<int>& calls = callsFrom[section];
                if (stack.back().next == calls.size()) {
                    deepest[section].open = false;
                    stack.pop_back();
                    continue;
                }
                const int call = calls[stack.back().next];
                const int callee = targets[call];
                if (deepest.try_emplace(callee).second) {
                    stack.push_back({callee});  // this call is looked at again on return
                    continue;
                }
                const Deepest& below = deepest[callee];
                const int chain = 1 + (below.open ? 0 : below.depth);
                Deepest& here = deepest[section];
                if (chain > here.depth) here.depth = chain, here.call = call;
                ++stack.back().next;
            }
            return deepest[root].depth;
        };
        int worst = 0, first = -1;
        for (size_t i = 0; i < calls_.size(); ++i) {
            const int chain = targets[i] == 0 ? 0 : 1 + depthFrom(targets[i]);
            if (chain > worst) worst = chain, first = static_cast<int>(i);
        }
        if (worst <= kMaxCalls) return;
        int refused = first;
        for (int step = 0; step < kMaxCalls && refused >= 0; ++step)
            refused = deepest[targets[refused]].call;
        if (refused < 0) return;
        report(calls_[refused].line, "subcode calls nested more than " + std::to_string(kMaxCalls) +
                                         " deep (call " + std::to_string(kMaxCalls + 1) +
                                         ", from line " + std::to_string(calls_[first].line) + ")");
    }

    struct LabelRef {
        int line;
        std::string label;
    };

    const Engine& engine_;
    std::string file_, programPath_;
    std::map<std::string, std::unique_ptr<ScriptSource>> files_;
    std::map<const ScriptSource*, std::unordered_map<std::string_view, int>> labels_;
    // An if block or a loop, by the lines that open and close it.
    struct Block {
        int open, close;
    };
    std::vector<int> ifs_, whiles_;
    std::vector<Block> blocks_;
    std::vector<LabelRef> calls_, jumps_;
    std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckScript(const Engine& engine, const std::string& file,
                                 const std::string& programPath, const std::string& beginLabel) {
    return Checker(engine, file, programPath).run(beginLabel);
}

}  // namespace velmora
