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
    return std::string(1, '\'').append(Cp932ToUtf8(cp932)).append(1, '\'');
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

// Every text the checker writes, in English and in Japanese; {1} to {3} are filled in.
struct Text {
    const char* english;
    const char* japanese;
};
constexpr Text kCannotOpen{"cannot open the script", "スクリプトを開けません"};
constexpr Text kNoShiftJisForm{"character without a Shift-JIS form (it becomes '?')",
                               "Shift-JIS にない文字です（'?' になります）"};
constexpr Text kStartLabelMissing{"start label {1} not found", "開始ラベル {1} が見つかりません"};
constexpr Text kLabelMissing{"label {1} not found", "ラベル {1} が見つかりません"};
constexpr Text kTrailingBlank{" (line {1} differs only by a trailing blank)",
                              "（{1} 行目は末尾の空白だけが違います）"};
constexpr Text kIfWithoutEndif{"if without endif", "endif の無い if です"};
constexpr Text kWhileWithoutEndwhile{"while without endwhile", "endwhile の無い while です"};
constexpr Text kUnknownCommand{"unknown command {1}", "不明なコマンド {1}"};
constexpr Text kUnknownSubcommand{"unknown sub-command {1} of {2}", "{2} の不明なサブコマンド {1}"};
constexpr Text kTooFewParams{"too few parameters for {1}: needs {2}, has {3}",
                             "{1} のパラメーターが足りません：{2} 個必要で、{3} 個です"};
constexpr Text kNoCondition{"{1} without a condition", "条件の無い {1} です"};
constexpr Text kUnknownCondition{"unknown condition {1}", "不明な条件 {1}"};
constexpr Text kUnknownOperator{"unknown comparison operator {1}", "不明な比較演算子 {1}"};
constexpr Text kWithoutIf{"{1} without if", "if が無い {1} です"};
constexpr Text kWithoutWhile{"{1} without while", "while が無い {1} です"};
constexpr Text kScriptCannotOpen{"script {1} cannot be opened", "スクリプト {1} を開けません"};
constexpr Text kBadName{
    "{1} cannot be stored as a variable name (no '=' or line break, and no '[' or ';' first)",
    "{1} は変数名として保存できません（= と改行を含まず、[ か ; で始まらない名前にしてください）"};
constexpr Text kUtf8WithoutMark{
    "UTF-8 text without a byte-order mark is read as Shift-JIS; save the file as UTF-8 with BOM",
    "BOM の無い UTF-8 は Shift-JIS として読まれます。BOM 付きの UTF-8 で保存してください"};
constexpr Text kJumpIntoBlock{"{1} has no open {2} when reached by the jump on line {3}",
                              "{3} 行目からのジャンプで来ると、{1} に対応する {2} がありません"};
constexpr Text kLoopsTooDeep{"loops nested more than {1} deep", "while の入れ子が {1} を超えます"};
constexpr Text kCallsTooDeep{"subcode calls nested more than {1} deep (call {2}, from line {3})",
                             "subcode の呼び出しが {1} 段を超えます（{3} 行目から {2} 段目）"};
// Hints: the line runs, but hardly as its author meant.
constexpr Text kFieldsDropped{
    "{1} uses {2} parameters; the rest of the line is dropped (a comma in a text is /com)",
    "{1} が使うパラメーターは {2} 個で、残りは捨てられます（文中のカンマは /com と書きます）"};
constexpr Text kMinusIsSign{"'-' is only a sign here; subtract with '_'",
                            "'-' はここでは符号にしかなりません。引き算は '_' で書きます"};
constexpr Text kWordCase{"{1} is compared as written: it is not {2}",
                         "{1} は書いたとおりに比べられ、{2} にはなりません"};

class Checker {
public:
    Checker(const Engine& engine, const std::string& file, const std::string& programPath,
            CheckLanguage language)
        : engine_(engine), file_(file), programPath_(programPath), language_(language) {}

    std::vector<Finding> run(const std::string& beginLabel) {
        const ScriptSource* src = load(file_);
        if (!src) {
            report(0, say(kCannotOpen));
            return findings_;
        }
        checkEncoding(*src);
        for (int n : src->unconvertibleLines()) report(n, say(kNoShiftJisForm));
        if (lineOf(*src, beginLabel) < 0)
            report(0, say(kStartLabelMissing, {Quote(beginLabel)}) + blankHint(*src, beginLabel));
        for (int i = 0; i < src->lineCount(); ++i) checkLine(i + 1, std::string(src->line(i)));
        for (int n : ifs_) report(n, say(kIfWithoutEndif));
        for (int n : whiles_) report(n, say(kWhileWithoutEndwhile));
        checkJumpsIntoBlocks(*src);
        checkCallDepth(*src);
        return findings_;
    }

private:
    void report(int line, const std::string& message, Severity severity = Severity::Error) {
        findings_.push_back({file_, line, message, severity});
    }

    // The text in the checker's language, {1}... replaced by args in order.
    std::string say(const Text& text, std::initializer_list<std::string> args = {}) const {
        std::string out = language_ == CheckLanguage::Japanese ? text.japanese : text.english;
        int n = 1;
        for (const std::string& arg : args) {
            const std::string mark = std::string(1, '{').append(std::to_string(n++)).append(1, '}');
            if (size_t at = out.find(mark); at != std::string::npos)
                out.replace(at, mark.size(), arg);
        }
        return out;
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
            report(n, say(kUnknownCommand, {Quote(f.command)}));
            return;
        }
        if (!checkParams(n, *c, f)) return;
        checkBlocks(n, *c, f);
        checkLabels(n, *c, f);
        checkStoredName(n, *c, f);
        checkHints(n, *c, f);
    }

    // Lines that run, though hardly as their author meant.
    void checkHints(int n, const Command& c, const Fields& f) {
        const int count = static_cast<int>(f.params.size());
        if (c.maxParams > 0 && count > c.maxParams)
            report(n, say(kFieldsDropped, {Quote(f.command), std::to_string(c.maxParams)}),
                   Severity::Warning);
        if (c.expressionAt > 0 && count >= c.expressionAt &&
            SubtractsWithMinus(f.params[c.expressionAt - 1]))
            report(n, say(kMinusIsSign), Severity::Warning);
        if (c.subcommandCase == WordCase::AsWritten && count > 0 && !Dynamic(f.params[0]))
            checkWordCase(n, c, f.params[0]);
    }

    // A word compared as written that differs from a row's only in letter case.
    void checkWordCase(int n, const Command& c, const std::string& word) {
        const SubCommand* chosen = FindSubcommand(c, word);
        if (chosen && chosen->word != kAnyOtherWord) return;
        for (const SubCommand& row : c.subcommands)
            if (row.word != kAnyOtherWord && SameIgnoringAsciiCase(row.word, word)) {
                report(n, say(kWordCase, {Quote(word), Quote(row.word)}), Severity::Warning);
                return;
            }
    }

    // A "-" after a value: meant to subtract, it only gives the next number its sign.
    static bool SubtractsWithMinus(const std::string& expression) {
        char before = 0;  // the last character that is not a blank
        for (char ch : expression) {
            const bool afterValue =
                (before >= '0' && before <= '9') || before == ')' || before == '%';
            if (ch == '-' && afterValue) return true;
            if (ch != ' ' && ch != '\t') before = ch;
        }
        return false;
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
            report(n, say(kUnknownSubcommand, {Quote(f.params[0]), Quote(f.command)}));
            return false;
        }
        const std::string name = sub->word == kAnyOtherWord ? f.command : f.command + "," + word;
        return enough(n, name, std::max(sub->minParams, Counted(sub->counted, f)), count);
    }

    bool enough(int n, const std::string& name, int needed, int count) {
        if (count >= needed) return true;
        report(n, say(kTooFewParams, {Quote(name), std::to_string(needed), std::to_string(count)}));
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
            report(n, say(kNoCondition, {Quote(f.command)}));
            return;
        }
        if (Dynamic(f.params[0])) return;
        const ConditionRule* rule = FindCondition(ToLowerAscii(f.params[0]));
        if (!rule) {
            report(n, say(kUnknownCondition, {Quote(f.params[0])}));
            return;
        }
        if (static_cast<int>(f.params.size()) < rule->minParams) {
            report(n, say(kTooFewParams,
                          {Quote(std::string(rule->word)), std::to_string(rule->minParams),
                           std::to_string(f.params.size())}));
            return;
        }
        if (rule->kind != ConditionKind::Cmp) return;
        const std::string& op = f.params[2];
        if (!Dynamic(op) && !FindCompare(op)) report(n, say(kUnknownOperator, {Quote(op)}));
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
                    report(n, say(kWithoutIf, {Quote(f.command)}));
                } else if (c.block == BlockRole::CloseIf) {
                    blocks_.push_back({ifs_.back(), n});
                    ifs_.pop_back();
                }
                break;
            case BlockRole::OpenLoop:
                // A run refuses the loop one deeper than the limit, whatever the conditions.
                if (static_cast<int>(whiles_.size()) == kMaxLoops)
                    report(n, say(kLoopsTooDeep, {std::to_string(kMaxLoops)}));
                whiles_.push_back(n);
                break;
            case BlockRole::CloseLoop:
                if (whiles_.empty()) {
                    report(n, say(kWithoutWhile, {Quote(f.command)}));
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
                report(n, say(kScriptCannotOpen, {Quote(name)}));
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
        report(n, say(kBadName, {Quote(name)}));
    }

    void checkLabel(int n, const std::string& label, const std::string& file) {
        if (Dynamic(label)) return;
        const ScriptSource* src = load(file);
        if (src && lineOf(*src, label) < 0)
            report(n, say(kLabelMissing, {Quote(label)}) + blankHint(*src, label));
    }

    // A label differs from a line only in trailing white space: labels match whole lines
    // byte for byte, and a trailing blank is invisible in most editors.
    std::string blankHint(const ScriptSource& src, const std::string& label) const {
        const std::string_view want = TrimRight(label);
        for (int i = 0; i < src.lineCount(); ++i)
            if (TrimRight(src.line(i)) == want) return say(kTrailingBlank, {std::to_string(i + 1)});
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
        report(line, say(kUtf8WithoutMark));
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
                report(i + 1, say(kJumpIntoBlock, {Quote(f.command), unmatchedIf ? "if" : "while",
                                                   std::to_string(from)}));
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
        report(calls_[refused].line,
               say(kCallsTooDeep, {std::to_string(kMaxCalls), std::to_string(kMaxCalls + 1),
                                   std::to_string(calls_[first].line)}));
    }

    struct LabelRef {
        int line;
        std::string label;
    };

    const Engine& engine_;
    std::string file_, programPath_;
    CheckLanguage language_;
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
                                 const std::string& programPath, const std::string& beginLabel,
                                 CheckLanguage language) {
    return Checker(engine, file, programPath, language).run(beginLabel);
}

}  // namespace velmora
