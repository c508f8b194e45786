// The interpreter: set-up, the line reader, the loop, stops and waits, shutdown and the
// events that front ends hand in.
#include "engine/engine.h"

#include <chrono>
#include <cstdint>

#include "engine/frontend.h"
#include "engine/ini_file.h"
#include "engine/messages.h"
#include "engine/parsed_line.h"
#include "engine/script_source.h"
#include "engine/text.h"
#include "engine/trim.h"

namespace velmora {

namespace {

// The longest a set waits in memory while the script runs.
constexpr auto kHeldSettingsAge = std::chrono::milliseconds(100);
// Messages handled after a wait ends, before the next line.
constexpr int kSettlePumps = 10;

size_t CountOf(std::string_view s, std::string_view what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size()))
        ++n;
    return n;
}

}  // namespace

Engine::Engine(Frontend& frontend, const FileCalls& files)
    : fe_(frontend),
      script_(std::make_unique<ScriptSource>()),
      settings_(std::make_unique<IniFile>(files)) {
    registerCoreCommands();
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

bool Engine::OpenScript(const std::string& name, OpenReport report) {
    line.lineNumber = 0;
    ++jumps_;
    callDepth_ = 0;
    openIfs_ = 0;
    loopStack_.clear();
    std::string path = name.empty() ? defaultScriptPath_ : resolvePath(name);
    scriptName_ = name.empty() ? path.substr(path.rfind('/') + 1) : name;
    if (!script_->open(NativePath(path))) {
        if (report == OpenReport::Shown) reportError(msg::ScriptOpenError(path));
        return false;
    }
    return true;
}

void Engine::CloseScript() {
    script_->close();
}

const ParsedLine& Engine::parsed(int index) {
    if (parseGeneration_ != script_->generation() ||
        parsedLines_.size() != size_t(script_->lineCount())) {
        parsedLines_.assign(size_t(script_->lineCount()), ParsedLine{});
        parseGeneration_ = script_->generation();
    }
    ParsedLine& p = parsedLines_[size_t(index)];
    if (p.kind == ParsedLine::Kind::Unknown) {
        p = ParseLine(Trim(script_->line(index)));
        if (p.kind == ParsedLine::Kind::Fields && !(p.expands & 1)) p.row = findCommand(p.command);
    }
    return p;
}

// Fills a field's references from its template; false when the passes must do it: a value
// holds a "%" (the next pass would expand it), or the text could pass the size limit on
// the way (never more than what is filled plus the raw field).
bool Engine::fillTemplate(const FieldTemplate& t, size_t rawSize, std::string& out) {
    if (!t.usable) return false;
    out.clear();
    for (const FieldTemplate::Reference& r : t.refs) {
        out += r.before;
        const size_t at = out.size();
        out += r.builtin >= 0 ? vars[r.builtin] : GetVariable(r.name, "");
        if (out.find('%', at) != std::string::npos || out.size() + rawSize > kMaxExpandedSize)
            return false;
    }
    out += t.tail;
    return true;
}

void Engine::expandField(const std::string& raw, const FieldTemplate* t, std::string& out) {
    if (!t || !fillTemplate(*t, raw.size(), out)) {
        out = raw;
        expandAllReferences(out);
    }
    DecodeEscapes(out);
}

void Engine::loadFields(const ParsedLine& p) {
    auto templateOf = [&](int field) {
        const int at = p.templateOf[size_t(field)];
        return at < 0 ? nullptr : &p.templates[size_t(at)];
    };
    if (p.expands & 1) {
        expandField(p.command, templateOf(0), line.command);
        LowerAsciiInPlace(line.command);
    } else {
        line.command = p.command;
    }
    const int count = static_cast<int>(p.params.size());
    for (int i = 0; i < count; ++i) {
        if (p.expands & (2u << i))
            expandField(p.params[i], templateOf(i + 1), line.param[i]);
        else
            line.param[i] = p.params[i];
    }
    line.paramCount = count;
    readRow_ = p.row;
}

// A line that begins with '"' is expanded whole before it is split; false when it turns
// out to be a comment.
bool Engine::readExpandedFirst(int index) {
    std::string text(Trim(script_->line(index)));
    text.erase(0, 1);
    TrimLeftInPlace(text);
    expandAllReferences(text);
    TrimLeftInPlace(text);
    if (IsComment(text)) return false;
    splitLine(text);
    return true;
}

bool Engine::ReadNextLine() {
    script_->refresh();
    readRow_ = nullptr;
    const int count = script_->lineCount();
    if (line.lineNumber < 0) line.lineNumber = 0;  // a plug-in may have set any number
    int at = line.lineNumber;
    // Past the end the position stays put rather than count on towards overflow.
    if (line.lineNumber <= count) ++line.lineNumber;
    for (;;) {
        if (at < count) {
            const ParsedLine& p = parsed(at);
            if (p.kind == ParsedLine::Kind::Fields) {
                loadFields(p);
                return true;
            }
            if (p.kind == ParsedLine::Kind::ExpandFirst && readExpandedFirst(at)) return true;
        }
        const int next = line.lineNumber;
        if (next < 0 || next >= count) {
            reportError(msg::NoNextCode());
            StopScript();
            return false;
        }
        at = next;
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

void Engine::expandAllReferences(std::string& text) {
    for (int pass = 0; pass < kMaxExpandPasses && text.find('%') != std::string::npos; ++pass) {
        if (!ExpandReference(text)) break;
    }
}

void Engine::ExpandField(std::string& field) {
    expandAllReferences(field);
    DecodeEscapes(field);
}

bool Engine::CheckParams(int n) {
    if (line.paramCount >= n) return true;
    reportError(msg::TooFewParams(line.command, line.lineNumber));
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
                    executeLine();
                else
                    dropStaleLine(read);
            } else {
                running = false;
            }
            PumpOneMessage();
        } while (running);
        saveHeldSettings();  // the script waits or ends: others may look now
        while (!quit) {
            PumpOneMessage();
            if (running) break;
            fe_.waitForEvents(10);
        }
        if (running && !quit) {
            // Let the window settle before the script goes on: what is pending, without
            // sleeping, so that a timer's next wait starts when the last one ended.
            for (int i = 0; i < kSettlePumps; ++i) PumpOneMessage();
        }
    }
}

// Held settings are written at least every 100 ms while the script runs; the clock is
// read only every 64 lines, which keeps it out of a tight loop's cost.
bool Engine::settingsOverdue() {
    if (++linesSinceClock_ % 64 != 0) return false;
    return std::chrono::steady_clock::now() - settings_->unsavedSince() >= kHeldSettingsAge;
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

void Engine::executeLine() {
    if (tracing()) traceLine();
    const Command* row = readRow_;
    readRow_ = nullptr;
    if (!row || row->word != line.command) row = findCommand(line.command);
    if (!row) {
        reportError(msg::UnknownCode(line.command, line.lineNumber));
        StopScript();
        return;
    }
    const Command& c = *row;
    // A command with sub-commands leaves the decision to the row that runs.
    if (settings_->holdsUnsaved() && c.subcommands.empty() &&
        (c.letsOthersLook || settingsOverdue()))
        saveHeldSettings();
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
    if (settings_->holdsUnsaved() && (sub->letsOthersLook || settingsOverdue())) saveHeldSettings();
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
    saveHeldSettings();
    StopScript();
    CloseScript();
    // Quietly: a script that cannot be reopened has no exit section to run.
    if (OpenScript("", OpenReport::Quiet) && FindLabel("[exit]", 0, {.report = false})) {
        quit = true;
        fe_.sleepMs(100);
        RunScript(RunFor::ExitSection);
    }
    StopScript();
    saveHeldSettings();
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
