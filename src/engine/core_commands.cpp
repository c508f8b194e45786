// The engine's own rows of the command table: variables and settings, script control,
// jumps and blocks, values, timing, and the display commands it forwards to the front end.
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "engine/expression.h"
#include "engine/frontend.h"
#include "engine/text.h"

namespace velmora {

namespace {

// rand() of the C runtime scripts were written against: values 0 to 32767, never
// seeded, so every run gives the same sequence.
int NextRandom(std::uint32_t& seed) {
    seed = seed * 214013u + 2531011u;
    return static_cast<int>((seed >> 16) & 0x7FFF);
}

// 'timer,mode,seconds[,label[,offset]]'.
constexpr int kTimerParams = 2;

// 'choice,count,default,text1,...': a count the window can show needs its texts.
int ChoiceParams(int count) {
    return count >= 1 && count <= kMaxChoices ? count + 2 : 0;
}

}  // namespace

// The engine's own commands write nothing but variable.txt, which it keeps itself: none
// asks for a fresh look at the files.
void Engine::registerCoreCommands() {
    using E = Engine;
    constexpr bool kNoFiles = false;
    // These only compute or jump: no other program can look meanwhile, so what the script
    // set may wait in memory (a loop of sets costs no file write per pass). What is shown
    // (text, also on a console another program reads) comes after a save.
    constexpr bool kKeepsHeld = false;
    constexpr LabelParam kJump{.at = 1, .use = LabelUse::Jump};
    constexpr LabelParam kTimerLabel{.at = 3, .use = LabelUse::Jump};
    addCommands({
        // Variables and settings.
        {.word = "set",
         .minParams = 2,
         .run = [](E& e) { e.SetVariable(e.line.p(1), e.line.p(2)); },
         .mayWriteFiles = kNoFiles,
         .storesNameAt = 1,
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        {.word = "setdef",
         .minParams = 2,
         .run = [](E& e) { e.WriteSetting(e.line.p(1), e.line.p(2)); },
         .mayWriteFiles = kNoFiles,
         .storesNameAt = 1,
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        {.word = "getdef",
         .minParams = 1,
         .run =
             [](E& e) {
                 std::string def = e.line.paramCount >= 2 ? e.line.p(2) : std::string();
                 e.SetVariable(e.line.p(1), e.ReadSetting(e.line.p(1), def));
             },
         .mayWriteFiles = kNoFiles,
         .storesNameAt = 1,
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        // Script control.
        {.word = "usescript",
         .minParams = 0,
         .run = [](E& e) { e.cmdUseScript(); },
         .mayWriteFiles = kNoFiles,
         .label = {.at = 1, .use = LabelUse::Jump, .scriptAt = 2},
         .flow = Flow::Leaves,
         .letsOthersLook = kKeepsHeld},
        {.word = "pause",
         .minParams = 0,
         .run = [](E& e) { e.running = false; },
         .mayWriteFiles = kNoFiles},
        {.word = "endcode",
         .minParams = 0,
         .run = [](E& e) { e.StopScript(); },
         .mayWriteFiles = kNoFiles,
         .flow = Flow::Leaves},
        {.word = "exit",
         .minParams = 0,
         .run =
             [](E& e) {
                 e.running = false;
                 e.Shutdown();
                 e.fe_.requestClose();
             },
         .mayWriteFiles = kNoFiles,
         .flow = Flow::Leaves},
        // Jumps, calls, blocks, loops.
        {.word = "goto",
         .minParams = 1,
         .run = [](E& e) { e.FindLabel(e.line.p(1), e.optionalInt(2)); },
         .mayWriteFiles = kNoFiles,
         .label = kJump,
         .flow = Flow::Leaves,
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        {.word = "subcode",
         .minParams = 1,
         .run = [](E& e) { e.cmdSubcode(); },
         .mayWriteFiles = kNoFiles,
         .label = {.at = 1, .use = LabelUse::Call},
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        {.word = "end",
         .minParams = 0,
         .run = [](E& e) { e.cmdEnd(); },
         .mayWriteFiles = kNoFiles,
         .letsOthersLook = kKeepsHeld},
        {.word = "bookmark",
         .minParams = 1,
         .run =
             [](E& e) {
                 e.WriteSetting("bookmark", Format("%s,%i", e.line.p(1).c_str(), e.optionalInt(2)));
             },
         .mayWriteFiles = kNoFiles,
         .label = {.at = 1, .use = LabelUse::Mark},
         .maxParams = 2,
         .letsOthersLook = kKeepsHeld},
        {.word = "if",
         .minParams = 3,
         .run = [](E& e) { e.cmdIf(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::OpenIf,
         .letsOthersLook = kKeepsHeld},
        {.word = "elseif",
         .minParams = 0,
         .run = [](E& e) { e.cmdBranchEnd(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::ElseIf,
         .letsOthersLook = kKeepsHeld},
        {.word = "else",
         .minParams = 0,
         .run = [](E& e) { e.cmdBranchEnd(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::Else,
         .letsOthersLook = kKeepsHeld},
        {.word = "endif",
         .minParams = 0,
         .run = [](E& e) { e.cmdBranchEnd(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::CloseIf,
         .letsOthersLook = kKeepsHeld},
        {.word = "while",
         .minParams = 3,
         .run = [](E& e) { e.cmdWhile(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::OpenLoop,
         .letsOthersLook = kKeepsHeld},
        {.word = "endwhile",
         .minParams = 0,
         .run = [](E& e) { e.cmdEndWhile(); },
         .mayWriteFiles = kNoFiles,
         .block = BlockRole::CloseLoop,
         .letsOthersLook = kKeepsHeld},
        // Values.
        {.word = "random",
         .minParams = 1,
         .run =
             [](E& e) {
                 int n = std::max(ToInt(e.line.p(1)), 1);
                 e.vars[kVar1] = Format("%i", NextRandom(e.randomSeed_) % n);
             },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1,
         .letsOthersLook = kKeepsHeld},
        {.word = "calculate",
         .minParams = 1,
         .run = [](E& e) { e.vars[kVar1] = std::to_string(EvaluateInteger(e.line.p(1))); },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1,
         .expressionAt = 1,
         .letsOthersLook = kKeepsHeld},
        {.word = "calculatef",
         .minParams = 1,
         .run = [](E& e) { e.vars[kVar1] = Format("%f", EvaluateReal(e.line.p(1))); },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1,
         .expressionAt = 1,
         .letsOthersLook = kKeepsHeld},
        // Timing and questions.
        {.word = "sleep",
         .minParams = 1,
         .run =
             [](E& e) {
                 // A negative time waits 0 seconds rather than practically for ever.
                 std::int64_t ms = std::int64_t(ToInt(e.line.p(1))) * 1000;
                 e.fe_.sleepCommand(static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT32_MAX)));
             },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1},
        // The timer clears var3 before it checks its parameters; its words are compared
        // as written: "wait" starts it and waits, any other word but "stop" only starts it.
        {.word = "timer",
         .minParams = kTimerParams,
         .run = {},
         .mayWriteFiles = kNoFiles,
         .subcommands = {{.word = "stop",
                          .minParams = kTimerParams,
                          .run = [](E& e) { e.cmdTimer(); },
                          .check = ParamCheck::InHandler},
                         {.word = "wait",
                          .minParams = kTimerParams,
                          .run = [](E& e) { e.cmdTimer(); },
                          .check = ParamCheck::InHandler,
                          .label = kTimerLabel},
                         {.word = kAnyOtherWord,
                          .minParams = kTimerParams,
                          .run = [](E& e) { e.cmdTimer(); },
                          .check = ParamCheck::InHandler,
                          .label = kTimerLabel}},
         .subcommandCase = WordCase::AsWritten,
         .check = ParamCheck::InHandler},
        {.word = "choice",
         .minParams = 3,
         .run = [](E& e) { e.cmdChoice(); },
         .mayWriteFiles = kNoFiles,
         .counted = {1, ChoiceParams}},
        {.word = "input",
         .minParams = 1,
         .run =
             [](E& e) {
                 e.CancelWaits();
                 std::string answer;
                 if (!e.fe_.inputDialog(e.line.p(1), answer)) answer.clear();
                 e.vars[kVar1] = answer;
             },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1},
        // Display.
        {.word = "messagebox",
         .minParams = 1,
         .run = [](E& e) { e.fe_.messageBox(e.line.p(1)); },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1},
        {.word = "title",
         .minParams = 1,
         .run = [](E& e) { e.fe_.setTitle(e.line.p(1).empty() ? e.vars[kTitle] : e.line.p(1)); },
         .mayWriteFiles = kNoFiles,
         .maxParams = 1},
        {.word = "clear",
         .minParams = 0,
         .run = [](E& e) { e.fe_.clearDisplay(); },
         .mayWriteFiles = kNoFiles},
        {.word = "text",
         .minParams = 2,
         .run =
             [](E& e) {
                 LowerAsciiInPlace(e.line.p(1));
                 e.fe_.showText(e.line.p(1), e.line.p(2));
             },
         .mayWriteFiles = kNoFiles,
         .maxParams = 2},
    });
}

void Engine::cmdUseScript() {
    StopScript();
    CloseScript();
    if (!OpenScript(line.paramCount >= 2 ? line.p(2) : std::string())) return;
    std::string label = line.paramCount >= 1 ? line.p(1) : vars[kBegin];
    if (FindLabel(label, 0)) running = true;
}

void Engine::cmdTimer() {
    vars[kVar3].clear();
    if (!CheckParams(kTimerParams)) return;
    if (line.p(1) == "stop") {
        if (timerActive_) fe_.killScriptTimer();
        timerActive_ = false;
        return;
    }
    std::int64_t ms = std::int64_t(ToInt(line.p(2))) * 1000;
    timerTarget_ = false;
    if (line.paramCount >= 3) {
        timerLabel_ = line.p(3);
        timerOffset_ = optionalInt(4);
        timerTarget_ = true;
    }
    if (timerActive_) fe_.killScriptTimer();
    fe_.startScriptTimer(static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT32_MAX)));
    timerActive_ = true;
    if (line.p(1) == "wait") running = false;
}

void Engine::cmdChoice() {
    int count = ToInt(line.p(1));
    choice.count = count;
    choice.highlighted = std::max(std::min(count, ToInt(line.p(2))), 1);
    vars[kChoiceSel] = Format("%i", choice.highlighted);
    if (count < 1 || count > kMaxChoices) return;
    if (!CheckParams(ChoiceParams(count))) return;
    for (int i = 0; i < count; ++i) choice.text[i] = line.p(i + 3);
    choice.active = true;
    vars[kChoiceText] = choice.text[choice.highlighted - 1];
    fe_.drawChoices();
    running = false;
}

}  // namespace velmora
