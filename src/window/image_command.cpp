// The `image` command. A picture is only pixels of the base layer: it shows at the next
// presenting composition and disappears when the base is rebuilt from the background.
#include "window/image_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "engine/engine.h"
#include "engine/text.h"
#include "window/display.h"
#include "window/jpeg_image.h"

namespace velmora {

namespace {

VELMORA_CP932_FORMAT(CannotOpen, (const std::string& name), "%s が開けません", name.c_str())
VELMORA_CP932(NoMemory, "Jpeg解凍先メモリ確保エラー")
VELMORA_CP932(DecodeError, "Jpeg解凍エラー")

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A folder opens on Linux, but it is no picture file: it cannot be opened as one.
File OpenPicture(const std::string& osPath) {
    File f(std::fopen(osPath.c_str(), "rb"));
    struct stat st;
    if (f && (fstat(fileno(f.get()), &st) != 0 || S_ISDIR(st.st_mode))) f.reset();
    return f;
}

}  // namespace

ImageCommand::ImageCommand(Engine& engine, Display& display) : display_(display) {
    engine.addCommands({{
        .word = "image",
        .minParams = 1,
        .run = {},
        // Pictures are only read: the script file needs no fresh look afterwards.
        .mayWriteFiles = false,
        .subcommands =
            {
                {.word = "clear", .minParams = 1, .run = [this](Engine& e) { clear(e); }},
                // Any other mode places a picture: 'image,mode,file,x,y'.
                {.word = kAnyOtherWord, .minParams = 4, .run = [this](Engine& e) { place(e); }},
            },
        // The mode is compared as written: "Clear" places a picture.
        .subcommandCase = WordCase::AsWritten,
    }});
}

void ImageCommand::clear(Engine& engine) {
    const CurrentLine& line = engine.line;
    if (line.paramCount < 5) {
        display_.Compose({.copyBackground = true, .present = true});
        return;
    }
    // Clamped to the layer first, so that far-off corners cannot overflow the size.
    const int left = std::clamp(ToInt(line.p(2)), 0, kLayerWidth);
    const int top = std::clamp(ToInt(line.p(3)), 0, kLayerHeight);
    const int right = std::clamp(ToInt(line.p(4)), 0, kLayerWidth);
    const int bottom = std::clamp(ToInt(line.p(5)), 0, kLayerHeight);
    LayerSet& layers = display_.layers;
    Blit(layers.base, layers.background, left, top, right - left, bottom - top, Rop::Copy);
    display_.Compose({.present = true});
}

void ImageCommand::place(Engine& engine) {
    const std::string name = engine.resolvePath(engine.line.p(2));
    const int x = ToInt(engine.line.p(3)), y = ToInt(engine.line.p(4));
    BuiltinVariables& vars = engine.vars;
    File file = OpenPicture(NativePath(name));
    if (!file) {
        vars[kVar2] = CannotOpen(name);
        vars[kVar1] = "NG";
        return;
    }
    switch (DrawJpeg(file.get(), display_.layers.base, x, y)) {
        case JpegStatus::Ok:
            vars[kVar1] = "OK";
            return;
        case JpegStatus::NoMemory:
            vars[kVar2] = NoMemory();
            break;
        case JpegStatus::DecodeFailed:
            vars[kVar2] = DecodeError();
            break;
    }
    vars[kVar1] = "NG";
}

}  // namespace velmora
