// The interpreter: set-up, the line reader, the loop, stops and waits, shutdown and the
// events that front ends hand in.
#include "engine/engine.h"

#include "engine/frontend.h"
#include "engine/ini_file.h"
#include "engine/messages.h"
#include "engine/script_source.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

constexpr int kMaxExpandPasses = 30;
// A field stops expanding, as at the pass limit, before a pass would take it past this:
// one pass can multiply its length (a value of 333 references to itself).
constexpr size_t kMaxExpandedSize = 1 << 20;

size_t CountOf(std::string_view s, std::string_view what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size()))
        ++n;
    return n;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    size_t at = s.find(from);
    if (at == std::string::npos) return;
    std::string out;
    size_t last = 0;
    for (; at != std::string::npos; at = s.find(from, last)) {
        out.append(s, last, at - last).append(to);
        last = at + from.size();
    }
    out.append(s, last, std::string::npos);
    s.swap(out);
}

}  // namespace

Engine::Engine(Frontend& frontend, const FileCalls& files)
    : fe_(frontend),
      script_(std::make_unique<ScriptSource>()),
      settings_(std::make_unique<IniFile>(files)) {
    registerCoreCommands();
    markCoreCommands();
}

Engine::~Engine() = default;

void Engine::setProgramPath(const std::string& folder) {
    programPath_ = folder;
    vars[kProgramPath] = folder;
    SetProgramFolderForPaths(folder);
}

void Engine::setArguments(std::vector<std::string> args) {
    args_ = std::move(args);
}

void Engine::addCommands(std::vector<Command> commands) {
    for (auto& c : commands) commands_[c.word] = std::move(c);
}

void Engine::addModule(EngineModule& module) {
    modules_.push_back(&module);
}

const Command* Engine::findCommand(const std::string& word) const {
    auto it = commands_.find(word);
    return it == commands_.end() ? nullptr : &it->second;
}

std::string Engine::resolvePath(const std::string& name) const {
    return IsAbsoluteName(name) ? name : vars[kProgramPath] + name;
}

void Engine::reportError(const std::string& text) {
    errorShown_ = true;
    fe_.messageBox(text);
}

bool Engine::keepsAlive() const {
    if (timerActive_) return true;
    for (const EngineModule* m : modules_)
        if (m->keepsAlive()) return true;
    return false;
}

// ---- Reader ---------------------------------------------------------------------------

bool Engine::OpenScript(const std::string& name) {
    return openScript(name, OpenReport::Shown);
}

bool Engine::openScript(const std::string& name, OpenReport report) {
    line.lineNumber = 0;
    ++jumps_;
    callDepth_ = 0;
    openIfs_ = 0;
    loopStack_.clear();
    std::string path = name.empty()                          ? defaultScriptPath_
                       : name.find(':') == std::string::npos ? vars[kProgramPath] + name
                                                             : name;
    scriptName_ = name.empty() ? path.substr(path.rfind('/') + 1) : name;
    if (!script_->open(NativePath(path))) {
        if (report == OpenReport::Shown)
            reportError(Format(msg::ScriptOpenError().c_str(), path.c_str()));
        return false;
    }
    return true;
}

void Engine::CloseScript() {
    script_->close();
}

bool Engine::ReadNextLine() {
    script_->refresh();
    const int count = script_->lineCount();
    std::string text;
    if (line.lineNumber < 0) line.lineNumber = 0;  // a plug-in may have set any number
    if (line.lineNumber < count) text = script_->line(line.lineNumber);
    // Past the end the position stays put rather than count on towards overflow.
    if (line.lineNumber <= count) ++line.lineNumber;
    for (;;) {
        TrimInPlace(text);
        if (!IsPassedOver(text)) {
            if (text[0] == '"') {
                text.erase(0, 1);
                TrimLeftInPlace(text);
                expandReferences(text);
            }
            TrimLeftInPlace(text);
            if (!IsComment(text)) {
                splitLine(text);
                return true;
            }
        }
        const int next = line.lineNumber;
        if (next < 0 || next >= count) {
            reportError(msg::NoNextCode());
            StopScript();
            return false;
        }
        text = script_->line(next);
        ++line.lineNumber;
    }
}

void Engine::splitLine(const std::string& text) {
    const LineFields f = SplitFields(text);
    line.command.assign(f.command);
    for (int i = 0; i < f.count; ++i) line.param[i].assign(f.params[i]);
    line.paramCount = f.count;
    ExpandField(line.command);
    for (int i = 0; i < f.count; ++i) ExpandField(line.param[i]);
    LowerAsciiInPlace(line.command);
}

bool Engine::ExpandReference(std::string& text) {
    size_t open = text.find('%');
    if (open == std::string::npos) return false;
    size_t close = text.find('%', open + 1);
    if (close == std::string::npos) return false;
    std::string name = text.substr(open + 1, close - open - 1);
    const std::string pattern = "%" + name + "%";
    const std::string value = GetVariable(name, "");
    if (value.size() > pattern.size() &&
        text.size() + CountOf(text, pattern) * (value.size() - pattern.size()) > kMaxExpandedSize)
        return false;
    ReplaceAll(text, pattern, value);
    return true;
}

void Engine::expandReferences(std::string& text) {
    for (int pass = 0; pass < kMaxExpandPasses && text.find('%') != std::string::npos; ++pass) {
        if (!ExpandReference(text)) break;
    }
}

void Engine::ExpandField(std::string& field) {
    expandReferences(field);
    if (field.find('/') == std::string::npos) return;
    ReplaceAll(field, "/com", ",");
    ReplaceAll(field, "/ret", "\n");
    ReplaceAll(field, "/per", "%");
    ReplaceAll(field, "/_", "/");
}

bool Engine::CheckParams(int n) {
    if (line.paramCount >= n) return true;
    reportError(Format(msg::TooFewParams().c_str(), line.command.c_str(), line.lineNumber));
    StopScript();
    return false;
}

// ---- Interpreter ----------------------------------------------------------------------

void Engine::StartScript() {
    if (!OpenScript("")) {
        Shutdown();
        fe_.requestClose();
        return;
    }
    if (!args_.empty() && args_[0] == "bookmark" && !vars[kBookmark].empty()) {
        const std::string& b = vars[kBookmark];
        size_t comma = b.find(',');
        int offset = comma == std::string::npos ? 0 : ToInt(b.substr(comma + 1));
        if (FindLabel(b.substr(0, comma), offset)) RunScript();
        return;
    }
    if (FindLabel(vars[kBegin], 0)) RunScript();
}

void Engine::RunScript(RunFor what) {
    bool first = what == RunFor::ExitSection;
    for (;;) {
        if (quit && !first) return;
        first = false;
        CancelWaits();
        running = true;
        do {
            const int before = line.lineNumber;
            if (ReadNextLine()) {
                const LineRead read{before, line.lineNumber, jumps_, quit, exiting_};
                PumpOneMessage();
                if (lineStillValid(read))
                    ExecuteLine();
                else
                    dropStaleLine(read);
            } else {
                running = false;
            }
            PumpOneMessage();
        } while (running);
        while (!quit) {
            PumpOneMessage();
            if (running) break;
            fe_.sleepMs(10);
        }
        if (running && !quit) {
            // Let the window settle before the script goes on.
            for (int i = 0; i < 10; ++i) {
                PumpOneMessage();
                fe_.sleepMs(10);
            }
        }
    }
}

// An event that moved the position, stopped the script or shut the program down wins
// over the line read before it.
bool Engine::lineStillValid(const LineRead& read) const {
    return running && quit == read.quit && exiting_ == read.exiting && jumps_ == read.jumps &&
           line.lineNumber == read.after;
}

// Reading resumes where the event left the script; an event that did not move it (a stop)
// leaves the line unread, so a later resumption runs it.
void Engine::dropStaleLine(const LineRead& read) {
    if (jumps_ == read.jumps && line.lineNumber == read.after) line.lineNumber = read.before;
}

void Engine::ExecuteLine() {
    if (tracing()) traceLine();
    auto it = commands_.find(line.command);
    if (it == commands_.end()) {
        reportError(Format(msg::UnknownCode().c_str(), line.command.c_str(), line.lineNumber));
        StopScript();
        return;
    }
    const Command& c = it->second;
    if (c.check == ParamCheck::BeforeRun && c.minParams > 0 && !CheckParams(c.minParams)) return;
    if (c.subcommands.empty())
        c.run(*this);
    else
        runSubcommand(c);
    if (c.mayWriteFiles) {
        script_->touch();
        settings_->touch();
    }
}

void Engine::runSubcommand(const Command& c) {
    std::string& word = line.p(1);
    if (c.subcommandCase == WordCase::Lowered) LowerAsciiInPlace(word);
    const SubCommand* sub = FindSubcommand(c, word);
    if (!sub) {
        reportError(c.unknownSubcommand(word, line.lineNumber));
        StopScript();
        return;
    }
    if (sub->check == ParamCheck::BeforeRun && !CheckParams(sub->minParams)) return;
    sub->run(*this);
}

const SubCommand* FindSubcommand(const Command& c, const std::string& param1) {
    const SubCommand* other = nullptr;
    for (const SubCommand& s : c.subcommands) {
        if (s.word == param1) return &s;
        if (s.word == kAnyOtherWord) other = &s;
    }
    return other;
}

int CountedParams::For(const std::string& countText) const {
    return needed ? needed(ToInt(countText)) : 0;
}

// ---- Trace ------------------------------------------------------------------------------

void Engine::setTraceSink(std::function<void(const std::string& utf8)> sink) {
    traceSink_ = std::move(sink);
}

void Engine::trace(const std::string& cp932) const {
    if (traceSink_) traceSink_(Cp932ToUtf8(cp932));
}

void Engine::traceUtf8(const std::string& utf8) const {
    if (traceSink_) traceSink_(utf8);
}

void Engine::traceLine() const {
    std::string text = line.command;
    for (int i = 0; i < line.paramCount; ++i) text += "," + line.param[i];
    trace(Format("%s:%d: ", scriptName_.c_str(), line.lineNumber) + text);
}

void Engine::PumpOneMessage() {
    fe_.pumpOneMessage();
}

void Engine::StopScript() {
    CancelWaits();
    for (EngineModule* m : modules_) m->onStopScript();
    callDepth_ = 0;
    openIfs_ = 0;
    loopStack_.clear();
    running = false;
}

void Engine::CancelWaits() {
    if (timerActive_) fe_.killScriptTimer();
    for (EngineModule* m : modules_) m->onCancelWaits();
    timerActive_ = false;
    choice.active = false;
}

// ---- Shutdown and events ----------------------------------------------------------------

bool Engine::Shutdown(Confirm confirm) {
    if (exiting_) {
        ++endRequests_;
        running = false;
        return true;
    }
    if (confirm == Confirm::Ask && !fe_.askOkCancel(msg::AskQuit())) return false;
    ++endRequests_;
    exiting_ = true;
    trace("event: shutdown");
    StopScript();
    CloseScript();
    // Quietly: a script that cannot be reopened has no exit section to run.
    if (openScript("", OpenReport::Quiet) && FindLabel("[exit]", 0, {.report = false})) {
        quit = true;
        fe_.sleepMs(100);
        RunScript(RunFor::ExitSection);
    }
    StopScript();
    for (EngineModule* m : modules_) m->onShutdownStop();
    quit = true;
    fe_.releaseDisplay();
    CloseScript();
    for (EngineModule* m : modules_) m->onShutdownRelease();
    return true;
}

void Engine::onScriptTimer() {
    CancelWaits();
    SetVariable("var3", "timeout");
    trace(timerTarget_
              ? Format("event: timer expired, on at %s,%d", timerLabel_.c_str(), timerOffset_)
              : std::string("event: timer expired"));
    if (timerTarget_ && !FindLabel(timerLabel_, timerOffset_)) return;
    running = true;
}

void Engine::confirmChoice(int n) {
    if (n < 1 || n > kMaxChoices) return;
    trace(Format("event: choice %d confirmed", n));
    CancelWaits();
    choice.highlighted = n;
    vars[kChoiceSel] = Format("%i", n);
    vars[kChoiceText] = choice.text[n - 1];
    running = true;
}

void Engine::restartFromBegin() {
    trace("event: restart");
    StopScript();
    CloseScript();
    LoadSettings();
    if (OpenScript("") && FindLabel(vars[kBegin], 0)) running = true;
}

}  // namespace velmora
