// Labels, jumps and calls, conditions, if blocks and while loops. Blocks have no
// compiled structure: a skip reads lines forward until the matching end word.
#include <algorithm>
#include <cstdint>

#include "engine/engine.h"
#include "engine/expression.h"
#include "engine/messages.h"
#include "engine/script_source.h"
#include "engine/text.h"

namespace velmora {

bool Engine::FindLabel(const std::string& label, int offset, LabelSearch how) {
    if (how.resetBlocks) {
        openIfs_ = 0;
        loopStack_.clear();
    }
    if (how.resetCalls) callDepth_ = 0;
    script_->refresh();
    int at = script_->isOpen() ? script_->find(label) : -1;
    if (at < 0) {
        if (how.report) {
            reportError(msg::LabelNotFound(label));
            StopScript();
        }
        return false;
    }
    // An offset above the top starts at the first line; one far below cannot overflow.
    const std::int64_t target = std::int64_t(at) + 1 + offset;
    line.lineNumber = static_cast<int>(std::clamp<std::int64_t>(target, 0, INT32_MAX));
    ++jumps_;
    return true;
}

bool Engine::EvaluateCondition() {
    std::string& kind = line.p(1);
    LowerAsciiInPlace(kind);
    const ConditionRule* rule = FindCondition(kind);
    if (!rule) {
        reportError(msg::UnknownIf(kind, line.lineNumber));
        StopScript();
        return true;
    }
    // After a failed check the condition counts as true: nothing is skipped.
    if (!CheckParams(rule->minParams)) return true;
    const std::string &a = line.p(2), &b = line.p(3);
    switch (rule->kind) {
        case ConditionKind::Same:
            return a == b;
        case ConditionKind::Diff:
            return a != b;
        case ConditionKind::Find:
            return FindMbs(a, b) != std::string::npos;
        case ConditionKind::NotFind:
            return FindMbs(a, b) == std::string::npos;
        case ConditionKind::Cmp:
            break;
    }
    if (const CompareRule* op = FindCompare(b)) return op->holds(ToReal(a), ToReal(line.p(4)));
    reportError(msg::UnknownCompare(b, line.lineNumber));
    StopScript();
    return true;
}

void Engine::cmdIf() {
    ++openIfs_;
    if (!EvaluateCondition()) skipBranch();
}

// Skips a branch whose condition was false, up to the next branch that runs.
void Engine::skipBranch() {
    int depth = 0;
    while (ReadNextLine()) {
        const BlockRole role = blockRoleOf(line.command);
        if (role == BlockRole::OpenIf) {
            ++depth;
        } else if (depth == 0 && role == BlockRole::Else) {
            return;
        } else if (depth == 0 && role == BlockRole::ElseIf) {
            if (EvaluateCondition()) return;
        } else if (role == BlockRole::CloseIf) {
            if (depth == 0) {
                --openIfs_;
                return;
            }
            --depth;
        }
    }
}

void Engine::cmdBranchEnd() {
    if (openIfs_ <= 0) {
        reportError(msg::NoIf(line.command, line.lineNumber));
        StopScript();
        return;
    }
    if (blockRoleOf(line.command) == BlockRole::CloseIf) {
        --openIfs_;
        return;
    }
    // The branch before this elseif/else ran: skip to the block's endif.
    int depth = 1;
    while (ReadNextLine()) {
        const BlockRole role = blockRoleOf(line.command);
        if (role == BlockRole::OpenIf) ++depth;
        if (role == BlockRole::CloseIf && --depth == 0) {
            --openIfs_;
            return;
        }
    }
}

void Engine::cmdWhile() {
    if (loopStack_.size() >= static_cast<size_t>(kMaxLoops)) {
        reportError(msg::TooManyLoops(line.lineNumber));
        StopScript();
        return;
    }
    loopStack_.push_back(line.lineNumber - 1);
    if (EvaluateCondition()) return;
    int depth = 0;
    while (ReadNextLine()) {
        const BlockRole role = blockRoleOf(line.command);
        if (role == BlockRole::OpenLoop) {
            ++depth;
        } else if (role == BlockRole::CloseLoop) {
            if (depth == 0) {
                if (!loopStack_.empty()) loopStack_.pop_back();
                return;
            }
            --depth;
        }
    }
}

void Engine::cmdEndWhile() {
    if (loopStack_.empty()) {
        reportError(msg::NoWhile(line.command, line.lineNumber));
        StopScript();
        return;
    }
    line.lineNumber = loopStack_.back();
    loopStack_.pop_back();
}

void Engine::cmdSubcode() {
    if (callDepth_ >= kMaxCalls) {
        reportError(msg::TooManyCalls(line.lineNumber));
        StopScript();
        return;
    }
    callStack_[callDepth_++] = {line.lineNumber, loopStack_.size()};
    FindLabel(line.p(1), optionalInt(2), {.resetBlocks = false, .resetCalls = false});
}

void Engine::cmdEnd() {
    if (callDepth_ <= 0) {
        running = false;
        return;
    }
    const OpenCall& call = callStack_[--callDepth_];
    if (loopStack_.size() > call.loops) loopStack_.resize(call.loops);
    line.lineNumber = call.returnLine;
}

// Skips read the roles from the command rows, so a new block word needs no edit here.
BlockRole Engine::blockRoleOf(const std::string& word) const {
    const Command* c = findCommand(word);
    return c ? c->block : BlockRole::None;
}

int Engine::optionalInt(int n) const {
    return line.paramCount >= n ? ToInt(line.p(n)) : 0;
}

}  // namespace velmora
