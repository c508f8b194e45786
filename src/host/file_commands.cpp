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

FileCommands::FileCommands(Engine& engine) {
    auto row = [this](const char* word, int minParams, void (FileCommands::*handler)(Engine&)) {
        // The handler checks the parameters itself, after its open-file test.
        return SubCommand{word, minParams, [this, handler](Engine& e) { (this->*handler)(e); },
                          ParamCheck::InHandler};
    };
    auto unknown = [](const std::string& word, int line) { return UnknownFileCommand(word, line); };
    Command in{"filein", 1, {}, false};
    in.subcommands = {row("open", kPathParams, &FileCommands::inOpen),
                      row("read", kReadParams, &FileCommands::inRead),
                      row("readsize", kReadParams, &FileCommands::inReadSize),
                      row("close", 1, &FileCommands::inClose)};
    in.unknownSubcommand = unknown;
    // Only fileout can change code.txt or variable.txt under the engine's feet.
    Command out{"fileout", 1, {}, true};
    out.subcommands = {row("open", kPathParams, &FileCommands::outOpen),
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
    if (output_.isOpen()) return Answer(e, "NG", AlreadyOpen());
    if (!e.CheckParams(kPathParams)) return;
    if (!output_.open(NativePath(e.line.p(2)))) return Answer(e, "NG", CannotOpen());
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
