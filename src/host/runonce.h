// The start at the next log-on: an XDG autostart entry whose command first deletes
// the entry, then starts the program with its argument, so it runs exactly once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Splits an argument text as a Windows program splits its command line: blanks (space,
// tab) separate, double quotes group ("" inside quotes is one quote), and backslashes
// are literal except before a quote (2n backslashes and a quote: n backslashes and the
// quote groups; 2n + 1: n backslashes and a literal quote).
std::vector<std::string> SplitWindowsArguments(std::string_view text);

// $XDG_CONFIG_HOME/autostart/oxquillet.desktop ($HOME/.config when unset).
std::string RunOnceEntryPath();

// The launcher the entry runs, beside it: oxquillet.sh.
std::string RunOnceLauncherPath(const std::string& entryPath);

// The launcher's shell script: it removes the entry and itself, then starts program.
// argument (UTF-8) gives the program's arguments, split as on Windows; home, when not
// empty, becomes VELMORA_HOME, made absolute against the current folder.
std::string RunOnceLauncher(const std::string& entryPath, const std::string& program,
                            const std::string& argument, const std::string& home);

// The Exec value of the entry: /bin/sh and the launcher, escaped for a desktop file.
std::string RunOnceExec(const std::string& launcherPath);

// Writes (or replaces) the launcher and the entry at path, creating its folder. False
// when they could not be written; an existing entry is then left as it was.
bool WriteRunOnceEntry(const std::string& path, const std::string& program,
                       const std::string& argument, const std::string& home);

}  // namespace velmora
