// The script engine: reader, interpreter loop, variables and settings, control flow,
// value and timing commands, and the shutdown routine. It knows nothing of Qt; it
// talks to its front end through Frontend and lets other subsystems add commands.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/file_calls.h"
#include "engine/limits.h"
#include "engine/parsed_line.h"
#include "engine/rect.h"
#include "velmora/plugin_api.h"

namespace velmora {

class Engine;
class Frontend;
class IniFile;
enum class IniWrite;
class ScriptSource;

// Who checks a row's parameter minimum: the dispatcher before the handler runs, or the
// handler itself after tests of its own (a file must be open first). The checker reads
// the minimum either way.
enum class ParamCheck { BeforeRun, InHandler };

// How parameter 1 is compared with the sub-command words.
enum class WordCase { Lowered, AsWritten };
// Whether closing asks the user first (the close box) or not (signals, `exit`).
enum class Confirm { No, Ask };
// The exit section runs although the script was told to quit.
enum class RunFor { Script, ExitSection };

// A line whose parameter `countAt` is a number of labels that follow (a choice): the
// parameters such a line needs in all for a count; 0 when the count asks for no check.
struct CountedParams {
    int countAt = 0;  // 0: the line has no such parameter
    int (*needed)(int count) = nullptr;
    int For(const std::string& countText) const;
};

// What a label parameter leads to: a jump forgets open blocks, loops and calls; a call
// returns with `end`; a mark is only stored for a later start.
enum class LabelUse { None, Jump, Call, Mark };

// Where a line names a label: parameter `at`, searched in the script that parameter
// `scriptAt` names (0 or absent: the current script).
struct LabelParam {
    int at = 0;  // 0: the line names no label
    LabelUse use = LabelUse::None;
    int scriptAt = 0;
};

// The part a command plays in the blocks that a skip reads through. OpenIf, ElseIf and
// OpenLoop lines carry a condition.
enum class BlockRole { None, OpenIf, ElseIf, Else, CloseIf, OpenLoop, CloseLoop };

// Whether the line after a command runs next: not after a jump, a stop or the end.
enum class Flow { Continues, Leaves };

// One sub-command: its word, the parameters its line needs in all, and its handler.
struct SubCommand {
    std::string word;  // kAnyOtherWord: every word that no other row has
    int minParams;
    std::function<void(Engine&)> run = {};
    ParamCheck check = ParamCheck::BeforeRun;
    CountedParams counted = {};
    LabelParam label = {};
    // As for a command: the row may wait or hand control on (see Command).
    bool letsOthersLook = true;
};
inline const std::string kAnyOtherWord = "*";

// One row of the command table: the word, the count passed to CheckParams before the
// handler runs (0: no check), and the handler. A command whose parameter 1 selects what
// it does has sub-command rows instead of a handler; the interpreter dispatches them and
// the checker reads them. Rows beyond the first three fields name them.
struct Command {
    std::string word;
    int minParams;
    std::function<void(Engine&)> run;
    // The script file is looked at again after the command: it may have written it.
    bool mayWriteFiles = true;
    std::vector<SubCommand> subcommands = {};
    WordCase subcommandCase = WordCase::Lowered;
    // The message (CP932) for a sub-command word no row has; the script then stops.
    std::function<std::string(const std::string& word, int line)> unknownSubcommand = {};
    ParamCheck check = ParamCheck::BeforeRun;
    CountedParams counted = {};
    LabelParam label = {};
    BlockRole block = BlockRole::None;
    Flow flow = Flow::Continues;
    // The parameter naming a variable or setting the line stores (0: none).
    int storesNameAt = 0;
    // The parameters the command reads at most (0: not limited); the checker warns of
    // more, which a comma in a text makes.
    int maxParams = 0;
    // The parameter holding a `calculate` expression (0: none).
    int expressionAt = 0;
    // The command may wait, end the script or hand control to another program or a
    // plug-in, which may read variable.txt: what the script set is written before it runs.
    bool letsOthersLook = true;
};

// The row of c that parameter 1 selects (param1 already lower-cased where the command
// lower-cases it); nullptr when no row matches.
const SubCommand* FindSubcommand(const Command& c, const std::string& param1);

// How FindLabel treats the state around the jump.
struct LabelSearch {
    bool report = true;       // a missing label shows an error and stops the script
    bool resetBlocks = true;  // forget open ifs and loops
    bool resetCalls = true;   // forget open subcode calls
};

// A subsystem that owns state the engine must reach at fixed points.
class EngineModule {
public:
    virtual ~EngineModule() = default;
    virtual void onStopScript() {}       // a script stop: close what the script had open
    virtual void onCancelWaits() {}      // a wait ends: drop pending questions
    virtual void onShutdownStop() {}     // shutdown, after the exit section: stop services
    virtual void onShutdownRelease() {}  // shutdown, last step: release libraries
    virtual bool keepsAlive() const { return false; }  // can still wake a waiting script
    virtual void onVariableSet(int builtinIndex) { (void)builtinIndex; }  // SetVariable of one
};

// The window's choice state, shared with the display and the web pages.
struct ChoiceState {
    bool active = false;
    int count = 0;
    int highlighted = 1;  // 1-based
    std::string text[kMaxChoices];
};

// Names of the built-in variables, in BuiltinIndex order.
extern const char* const kBuiltinNames[kBuiltinCount];
int BuiltinIndexOf(const std::string& name);  // -1 when not built in

class Engine {
public:
    // files: how the settings file reaches the disk (tests make a call fail).
    explicit Engine(Frontend& frontend, const FileCalls& files = SystemFileCalls());
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Set-up, before LoadSettings and StartScript.
    void setProgramPath(const std::string& folder);  // CP932, ending in "/"
    void setArguments(std::vector<std::string> args);
    void addCommands(std::vector<Command> commands);
    void addModule(EngineModule& module);
    const Command* findCommand(const std::string& word) const;
    Frontend& frontend() { return fe_; }

    // Records shared with plug-ins.
    CurrentLine line;
    BuiltinVariables vars;

    // Interpreter flags; touched on the user-interface thread only.
    bool running = false;
    bool quit = false;

    ChoiceState choice;
    Rect beginArea, exitArea;  // parsed by LoadSettings

    // Reader. A script that cannot be opened is reported, or not (shutdown looks for an
    // exit section quietly).
    enum class OpenReport { Shown, Quiet };
    bool OpenScript(const std::string& name, OpenReport report = OpenReport::Shown);
    void CloseScript();
    bool ReadNextLine();
    bool CheckParams(int n);

    // Interpreter.
    void StartScript();
    void RunScript(RunFor what = RunFor::Script);
    void StopScript();
    void CancelWaits();
    void PumpOneMessage();
    void executeLine();  // runs CurrentLine through the command table

    // Tracing for script authors: every executed line, after expansion, as
    // "file:LINE: text", and every event that moves the script. Off without a sink.
    void setTraceSink(std::function<void(const std::string& utf8)> sink);
    bool tracing() const { return static_cast<bool>(traceSink_); }
    void trace(const std::string& cp932) const;  // one line of the trace, when tracing
    void traceUtf8(const std::string& utf8) const;

    // Variables and settings.
    std::string GetVariable(const std::string& name, const std::string& def);
    void SetVariable(const std::string& name, const std::string& value);
    std::string ReadSetting(const std::string& key, const std::string& def);
    void WriteSetting(const std::string& key, const std::string& value);
    void LoadSettings();
    // Writes what the script set and variable.txt does not hold yet. Done wherever another
    // program could look (a wait, a command that hands control on, the end) and at least
    // every 100 ms while the script runs.
    void saveHeldSettings();

    // Control flow.
    bool FindLabel(const std::string& label, int offset, LabelSearch how = {});
    bool EvaluateCondition();

    // Every way of closing goes through here; false when the user declined. A request
    // while the exit section runs (a second close or signal) cuts that section short.
    bool Shutdown(Confirm confirm = Confirm::No);
    bool exiting() const { return exiting_; }
    // Requests to end accepted so far: a `sleep` ends when one arrives while it waits.
    int endRequests() const { return endRequests_; }

    // Events handed in by the front ends (user-interface thread).
    void onScriptTimer();
    void confirmChoice(int n);  // choice n confirmed by key, click or browser
    void restartFromBegin();    // the begin area was confirmed: reload and start over

    // Helpers for commands of every subsystem.
    std::string resolvePath(const std::string& name) const;  // against programpath
    void reportError(const std::string& text);               // message box; marks the run as failed
    bool errorShown() const { return errorShown_; }
    bool timerActive() const { return timerActive_; }
    bool keepsAlive() const;  // a timer or a module can still wake the script
    const std::string& settingsPath() const { return settingsPath_; }

    // Expansion of variable references and escapes in one field, in place.
    void ExpandField(std::string& field);
    // One reference, every occurrence; false (text unchanged) without a closing "%", or when
    // the result would pass the 1 MiB a field may grow to.
    bool ExpandReference(std::string& text);

private:
    // Where the reader stood around one read. An event handled between reading a line and
    // running it (a timer jump, a stop, a shutdown) makes the line stale.
    struct LineRead {
        int before;      // position before the read
        int after;       // position after it
        unsigned jumps;  // jumps made until then
        bool quit;       // the quit flag then (set while the exit section runs)
        bool exiting;    // shutdown had begun
    };
    bool lineStillValid(const LineRead& read) const;
    void dropStaleLine(const LineRead& read);

    void splitLine(const std::string& text);
    const ParsedLine& parsed(int index);
    void loadFields(const ParsedLine& p);
    void expandField(const std::string& raw, const FieldTemplate* t, std::string& out);
    bool fillTemplate(const FieldTemplate& t, size_t rawSize, std::string& out);
    bool readExpandedFirst(int index);
    void runSubcommand(const Command& c);
    void traceLine() const;
    void expandAllReferences(std::string& text);
    int optionalInt(int n) const;  // integer value of parameter n, 0 when absent
    void storeSetting(const char* section, const std::string& key, const std::string& value);
    void reportSettingsResult(IniWrite result, const std::string& key);
    bool settingsOverdue();

    void registerCoreCommands();
    void cmdUseScript();
    void cmdTimer();
    void cmdChoice();
    void cmdIf();
    void skipBranch();
    BlockRole blockRoleOf(const std::string& word) const;
    void cmdBranchEnd();
    void cmdWhile();
    void cmdEndWhile();
    void cmdSubcode();
    void cmdEnd();

    Frontend& fe_;
    std::unique_ptr<ScriptSource> script_;
    std::unique_ptr<IniFile> settings_;
    std::unordered_map<std::string, Command> commands_;
    std::vector<EngineModule*> modules_;
    std::vector<std::string> args_;
    std::string programPath_;
    std::string settingsPath_;
    std::string defaultScriptPath_;
    std::string scriptName_;  // as the trace names it
    // What the reader learnt of each line, for the file as read in parseGeneration_.
    std::vector<ParsedLine> parsedLines_;
    unsigned parseGeneration_ = 0;
    const Command* readRow_ = nullptr;  // the row of the line just read, when known
    std::function<void(const std::string&)> traceSink_;

    // Control flow.
    // Per open call: the line to return to and the loops open when it was made, which
    // `end` closes again so that the caller's `endwhile` finds its own loop.
    struct OpenCall {
        int returnLine;
        size_t loops;
    };
    std::array<OpenCall, kMaxCalls> callStack_ = {};
    int callDepth_ = 0;
    std::vector<int> loopStack_;
    int openIfs_ = 0;
    unsigned jumps_ = 0;  // every FindLabel and OpenScript that set the position

    // Script timer.
    bool timerActive_ = false;
    bool timerTarget_ = false;
    std::string timerLabel_;
    int timerOffset_ = 0;

    std::uint32_t randomSeed_ = 1;
    bool exiting_ = false;
    int endRequests_ = 0;
    bool errorShown_ = false;
    unsigned linesSinceClock_ = 0;  // lines run since the held settings' age was looked at
    bool settingsFailureShown_ = false;
    bool settingsTooLargeShown_ = false;
};

}  // namespace velmora
