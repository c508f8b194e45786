// The script engine: reader, interpreter loop, variables and settings, control flow,
// value and timing commands, and the shutdown routine. It knows nothing of Qt; it
// talks to its front end through Frontend and lets other subsystems add commands.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/rect.h"
#include "velmora/plugin_api.h"

namespace velmora {

class Engine;
class Frontend;
class IniFile;
class ScriptSource;

// A sub-command word (parameter 1, lower-cased) and the parameters it needs in all.
struct SubCommand {
    std::string word;
    int minParams;
};

// One row of the command table: the word, the count passed to CheckParams before
// the handler runs (0: no check), and the handler.
struct Command {
    std::string word;
    int minParams;
    std::function<void(Engine&)> run;
    // The script file is looked at again after the command: it may have written it.
    bool mayWriteFiles = true;
    // For commands whose parameter 1 selects what they do; read by the script checker.
    std::vector<SubCommand> subcommands = {};
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
    std::string text[6];
};

// Names of the built-in variables, in BuiltinIndex order.
extern const char* const kBuiltinNames[kBuiltinCount];
int BuiltinIndexOf(const std::string& name);  // -1 when not built in

class Engine {
public:
    explicit Engine(Frontend& frontend);
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

    // Reader.
    bool OpenScript(const std::string& name);
    void CloseScript();
    bool ReadNextLine();
    bool CheckParams(int n);

    // Interpreter.
    void StartScript();
    void RunScript(bool force);
    void StopScript();
    void CancelWaits();
    void PumpOneMessage();
    void ExecuteLine();  // runs CurrentLine through the command table

    // Variables and settings.
    std::string GetVariable(const std::string& name, const std::string& def);
    void SetVariable(const std::string& name, const std::string& value);
    std::string ReadSetting(const std::string& key, const std::string& def);
    void WriteSetting(const std::string& key, const std::string& value);
    void LoadSettings();

    // Control flow.
    bool FindLabel(const std::string& label, int offset, bool report, bool resetBlocks,
                   bool resetCalls);
    bool EvaluateCondition();

    // Every way of closing goes through here; false when the user declined.
    bool Shutdown(bool ask);
    bool exiting() const { return exiting_; }

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

    bool openScript(const std::string& name, bool report);
    void splitLine(const std::string& text);
    void expandReferences(std::string& text);
    int optionalInt(int n) const;  // integer value of parameter n, 0 when absent
    void storeSetting(const char* section, const std::string& key, const std::string& value);

    void registerCoreCommands();
    void markCoreCommands();
    void cmdUseScript();
    void cmdTimer();
    void cmdChoice();
    void cmdIf();
    void skipBranch();
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

    // Control flow.
    int callStack_[50] = {};
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
    bool errorShown_ = false;
    bool settingsFailureShown_ = false;
};

}  // namespace velmora
