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

void Engine::registerCoreCommands() {
    using E = Engine;
    addCommands({
        // Variables and settings.
        {"set", 2, [](E& e) { e.SetVariable(e.line.p(1), e.line.p(2)); }},
        {"setdef", 2, [](E& e) { e.WriteSetting(e.line.p(1), e.line.p(2)); }},
        {"getdef", 1,
         [](E& e) {
             std::string def = e.line.paramCount >= 2 ? e.line.p(2) : std::string();
             e.SetVariable(e.line.p(1), e.ReadSetting(e.line.p(1), def));
         }},
        // Script control.
        {"usescript", 0, [](E& e) { e.cmdUseScript(); }},
        {"pause", 0, [](E& e) { e.running = false; }},
        {"endcode", 0, [](E& e) { e.StopScript(); }},
        {"exit", 0,
         [](E& e) {
             e.running = false;
             e.Shutdown();
             e.fe_.requestClose();
         }},
        // Jumps, calls, blocks, loops.
        {"goto", 1, [](E& e) { e.FindLabel(e.line.p(1), e.optionalInt(2)); }},
        {"subcode", 1, [](E& e) { e.cmdSubcode(); }},
        {"end", 0, [](E& e) { e.cmdEnd(); }},
        {"bookmark", 1,
         [](E& e) {
             e.WriteSetting("bookmark", Format("%s,%i", e.line.p(1).c_str(), e.optionalInt(2)));
         }},
        {"if", 3, [](E& e) { e.cmdIf(); }},
        {"elseif", 0, [](E& e) { e.cmdBranchEnd(); }},
        {"else", 0, [](E& e) { e.cmdBranchEnd(); }},
        {"endif", 0, [](E& e) { e.cmdBranchEnd(); }},
        {"while", 3, [](E& e) { e.cmdWhile(); }},
        {"endwhile", 0, [](E& e) { e.cmdEndWhile(); }},
        // Values.
        {"random", 1,
         [](E& e) {
             int n = std::max(ToInt(e.line.p(1)), 1);
             e.vars[kVar1] = Format("%i", NextRandom(e.randomSeed_) % n);
         }},
        {"calculate", 1,
         [](E& e) { e.vars[kVar1] = std::to_string(EvaluateInteger(e.line.p(1))); }},
        {"calculatef", 1, [](E& e) { e.vars[kVar1] = Format("%f", EvaluateReal(e.line.p(1))); }},
        // Timing and questions.
        {"sleep", 1,
         [](E& e) {
             // A negative time waits 0 seconds rather than practically for ever.
             std::int64_t ms = std::int64_t(ToInt(e.line.p(1))) * 1000;
             e.fe_.sleepCommand(static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT32_MAX)));
         }},
        // The timer clears var3 before it checks its parameters.
        {"timer",
         kTimerParams,
         [](E& e) { e.cmdTimer(); },
         true,
         {},
         WordCase::Lowered,
         {},
         ParamCheck::InHandler},
        {"choice",
         3,
         [](E& e) { e.cmdChoice(); },
         true,
         {},
         WordCase::Lowered,
         {},
         ParamCheck::BeforeRun,
         {1, ChoiceParams}},
        {"input", 1,
         [](E& e) {
             e.CancelWaits();
             std::string answer;
             if (!e.fe_.inputDialog(e.line.p(1), answer)) answer.clear();
             e.vars[kVar1] = answer;
         }},
        // Display.
        {"messagebox", 1, [](E& e) { e.fe_.messageBox(e.line.p(1)); }},
        {"title", 1,
         [](E& e) { e.fe_.setTitle(e.line.p(1).empty() ? e.vars[kTitle] : e.line.p(1)); }},
        {"clear", 0, [](E& e) { e.fe_.clearDisplay(); }},
        {"text", 2,
         [](E& e) {
             LowerAsciiInPlace(e.line.p(1));
             e.fe_.showText(e.line.p(1), e.line.p(2));
         }},
    });
}

void Engine::markCoreCommands() {
    // The engine's own commands write nothing but variable.txt.
    for (auto& [word, command] : commands_) command.mayWriteFiles = false;
    // These only compute, jump or draw: no other program can look meanwhile, so what the
    // script set may wait in memory (a loop of sets costs no file write per pass).
    for (const char* word :
         {"set",      "setdef",    "getdef",     "usescript", "goto",  "subcode", "end",
          "bookmark", "if",        "elseif",     "else",      "endif", "while",   "endwhile",
          "random",   "calculate", "calculatef", "title",     "clear", "text"})
        commands_[word].letsOthersLook = false;
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
