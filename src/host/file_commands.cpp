// `filein` and `fileout`. Results go to var1 ("OK"/"NG") and var2 (the text read or
// the reason). The check for an open file comes before the parameter check, so a
// script can probe with 'filein,read' and go on.
#include "host/file_commands.h"

#include <algorithm>

#include "engine/text.h"

namespace velmora {

namespace {

VELMORA_CP932(AlreadyOpen, "既にファイルが開かれています")
VELMORA_CP932(CannotOpen, "ファイルが開けません")
VELMORA_CP932(NotOpen, "ファイルが開いてません")
VELMORA_CP932(EndOfFile, "ファイル終端")
VELMORA_CP932(WriteError, "ファイル書き込みエラー")
VELMORA_CP932_FORMAT(UnknownFileCommand, (const std::string& word, int line),
                     "コードエラー：不明なfileコマンド %s (line:%i)", word.c_str(), line)

// Parameters in all: the sub-command and its file name, delimiter, size or text.
constexpr int kPathParams = 2;
constexpr int kReadParams = 2;
constexpr int kWriteParams = 2;

constexpr size_t kMaxRead = 1023;      // per 'filein,read'
constexpr size_t kMaxReadSize = 1024;  // per 'filein,readsize'

void Answer(Engine& e, const char* var1, const std::string& var2) {
    e.vars[kVar1] = var1;
    e.vars[kVar2] = var2;
}

// var2 is text: it ends at the first zero byte read.
std::string AsText(const std::string& bytes) {
    return std::string(bytes.c_str());
}

}  // namespace

// Reading on from a file that is open already hands control to no one, so what the script
// set may stay in memory; the rest may touch variable.txt itself and comes after a save.
enum class HeldSettings { SavedFirst, MayWait };

FileCommands::FileCommands(Engine& engine) {
    auto row = [this](const char* word, int minParams, void (FileCommands::*handler)(Engine&),
                      HeldSettings held = HeldSettings::SavedFirst) {
        // The handler checks the parameters itself, after its open-file test.
        SubCommand s{word, minParams, [this, handler](Engine& e) { (this->*handler)(e); },
                     ParamCheck::InHandler};
        s.letsOthersLook = held == HeldSettings::SavedFirst;
        return s;
    };
    auto unknown = [](const std::string& word, int line) { return UnknownFileCommand(word, line); };
    Command in{"filein", 1, {}, false};
    in.subcommands = {
        row("open", kPathParams, &FileCommands::inOpen),
        row("read", kReadParams, &FileCommands::inRead, HeldSettings::MayWait),
        row("readsize", kReadParams, &FileCommands::inReadSize, HeldSettings::MayWait),
        row("close", 1, &FileCommands::inClose, HeldSettings::MayWait)};
    in.unknownSubcommand = unknown;
    // Only fileout can change code.txt or variable.txt under the engine's feet.
    Command out{"fileout", 1, {}, true};
    out.subcommands = {row("open", kPathParams, &FileCommands::outOpen),
                       row("append", kPathParams, &FileCommands::outAppend),
                       row("write", kWriteParams, &FileCommands::outWrite),
                       row("close", 1, &FileCommands::outClose)};
    out.unknownSubcommand = unknown;
    engine.addCommands({std::move(in), std::move(out)});
    engine.addModule(*this);
}

void FileCommands::onStopScript() {
    input_.close();
    output_.close();
}

void FileCommands::inOpen(Engine& e) {
    if (input_.isOpen()) return Answer(e, "NG", AlreadyOpen());
    if (!e.CheckParams(kPathParams)) return;
    if (!input_.open(NativePath(e.line.p(2)))) return Answer(e, "NG", CannotOpen());
    e.vars[kVar1] = "OK";
}

void FileCommands::inRead(Engine& e) {
    if (!input_.isOpen()) return Answer(e, "NG", NotOpen());
    if (!e.CheckParams(kReadParams)) return;
    if (input_.atEnd()) return Answer(e, "NG", EndOfFile());
    const char delim = e.line.p(2).empty() ? '\0' : e.line.p(2)[0];
    Answer(e, "OK", AsText(input_.readUntil(delim, kMaxRead)));
}

void FileCommands::inReadSize(Engine& e) {
    if (!input_.isOpen()) return Answer(e, "NG", NotOpen());
    if (!e.CheckParams(kReadParams)) return;
    if (input_.atEnd()) return Answer(e, "NG", EndOfFile());
    const int count = ToInt(e.line.p(2));
    if (count < 1) return Answer(e, "OK", "");
    const size_t n = std::min(static_cast<size_t>(count), kMaxReadSize);
    Answer(e, "OK", AsText(input_.read(n)));
}

void FileCommands::inClose(Engine& e) {
    input_.close();
    e.vars[kVar1] = "OK";
}

void FileCommands::outOpen(Engine& e) {
    openOutput(e, TextOutput::Mode::Empty);
}

// Adds to the end of the file, so a log survives restarts without being copied aside, and a
// kill at any moment keeps every text written before it.
void FileCommands::outAppend(Engine& e) {
    openOutput(e, TextOutput::Mode::Append);
}

void FileCommands::openOutput(Engine& e, TextOutput::Mode mode) {
    if (output_.isOpen()) return Answer(e, "NG", AlreadyOpen());
    if (!e.CheckParams(kPathParams)) return;
    if (!output_.open(NativePath(e.line.p(2)), mode)) return Answer(e, "NG", CannotOpen());
    e.vars[kVar1] = "OK";
}

void FileCommands::outWrite(Engine& e) {
    if (!output_.isOpen()) return Answer(e, "NG", NotOpen());
    if (!e.CheckParams(kWriteParams)) return;
    // A failed write answers at once and every later write answers the same.
    if (!output_.write(e.line.p(2))) return Answer(e, "NG", WriteError());
    e.vars[kVar1] = "OK";
}

void FileCommands::outClose(Engine& e) {
    output_.close();
    e.vars[kVar1] = "OK";
}

}  // namespace velmora
