// The desktop commands: shell, openurl, sendkey, sendkeycode, sendclose and
// registerrunonce. Each reads the current line and reports in var1 and var2.
#pragma once

#include <string>
#include <vector>

#include "velmora/plugin_api.h"

namespace velmora {

class Engine;
struct Command;

// Installs the desktop commands into an engine.
class DesktopCommands {
public:
    explicit DesktopCommands(Engine& engine);
};

void ShellCommand(const CurrentLine& line, BuiltinVariables& vars);
void OpenUrlCommand(const CurrentLine& line, BuiltinVariables& vars);
void SendKeyCommand(const CurrentLine& line, BuiltinVariables& vars);
void SendKeyCodeCommand(const CurrentLine& line, BuiltinVariables& vars);
void SendCloseCommand(const CurrentLine& line, BuiltinVariables& vars);

// program: the file started at the next log-on (our own executable in the program).
void RegisterRunOnceCommand(const CurrentLine& line, const std::string& program);

// The rows for the engine's command table.
std::vector<Command> DesktopCommandTable();

}  // namespace velmora
