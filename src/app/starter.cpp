// The starter folder: a commented script, its settings, a skin and a launcher.
#include "app/starter.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/text.h"

namespace velmora {

namespace {

// Room for a few lines of text and the six choices a `choice` takes, with the restart and
// close buttons below them; the layout of kSettings follows these numbers.
constexpr int kSkinW = 440, kSkinH = 330;
constexpr int kButtonTop = 290, kButtonBottom = 318;
constexpr int kRestartLeft = 332, kCloseLeft = 376, kButtonW = 32;

const char kScript[] = R"(; velmora starter script. Lines starting with ; are comments.
; The script starts at [main]; [exit] runs once when the program closes.
; Reference: the scripting guide in the velmora documentation (scripting.md).
[main]
title,はじめての velmora
; The run counter is a script variable: set keeps it in variable.txt, [dynamic].
; It is empty on the first run, and calculate counts an empty number as 0.
calculate,%visits%+1
set,visits,%var1%
text,clear,こんにちは！ velmora のスクリプトです。/ret緑のボタンで最初から、赤で終了します。
; A second text starts again at the top left, over the first: one /ret per line
; already shown puts it below them.
text,,/ret/retこのフォルダでの実行回数: %visits%
choice,6,1,名前を入力する,時間制限つきの質問,いまの時刻,サイコロをふる,実行回数を 0 に戻す,おわる
if,same,%choice_sel%,1
  input,お名前は？
  text,clear,ようこそ、%var1% さん！
  pause
elseif,same,%choice_sel%,2
  ; The timer ends the choice after 5 seconds and jumps to [late].
  timer,start,5,[late]
  text,clear,5秒以内に選んでください
  choice,2,1,はい,いいえ
  text,clear,「%choice_text%」を選びました
  pause
elseif,same,%choice_sel%,3
  text,clear,いまは %hour% 時 %min% 分です
  pause
elseif,same,%choice_sel%,4
  ; random gives 0 to the bound less one.
  random,6
  calculate,%var1%+1
  text,clear,サイコロの目は %var1% です
  pause
elseif,same,%choice_sel%,5
  set,visits,0
  text,clear,実行回数を 0 に戻しました
  pause
else
  exit
endif
pause

[late]
text,clear,時間切れです（%var3%）
pause

[exit]
; Runs once, however the program is closed.
endcode
)";

const char kSettings[] = R"([default]
title=はじめての velmora
background=skin.bmp
text_pos=24,48,416,140
choice_pos1=40,146,400,166
choice_pos2=40,168,400,188
choice_pos3=40,190,400,210
choice_pos4=40,212,400,232
choice_pos5=40,234,400,254
choice_pos6=40,256,400,276
begin_pos=332,290,364,318
exit_pos=376,290,408,318
)";

std::uint32_t Pixel(int x, int y) {
    auto inCircle = [&](double cx, double cy, double r) {
        return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    };
    // Rounded rectangle with corners of radius 24.
    const int r = 24;
    int cx = x < r ? r : x >= kSkinW - r ? kSkinW - r - 1 : x;
    int cy = y < r ? r : y >= kSkinH - r ? kSkinH - r - 1 : y;
    if (!inCircle(cx, cy, r)) return 0xFF00FF;           // transparent
    if (inCircle(kSkinW - 40, 32, 12)) return 0xFF00FF;  // the hole
    bool edge = x < 4 || y < 4 || x >= kSkinW - 4 || y >= kSkinH - 4;
    if (edge || !inCircle(cx, cy, r - 4)) return 0x30507A;
    const bool buttonRow = y >= kButtonTop && y < kButtonBottom;
    if (buttonRow && x >= kRestartLeft && x < kRestartLeft + kButtonW) return 0x7AB07A;
    if (buttonRow && x >= kCloseLeft && x < kCloseLeft + kButtonW) return 0xC07070;
    if (y < 30) return 0xA0C4E8;  // title band
    return 0xEAF2FA;
}

bool WriteNew(const std::filesystem::path& path, const std::string& data) {
    std::FILE* f = std::fopen(path.c_str(), "wbx");  // "x": never replace a file
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

void Put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::string StarterSkinBmp() {
    const int row = (kSkinW * 3 + 3) & ~3;
    std::string bmp = "BM";
    Put32(bmp, 54 + row * kSkinH);
    Put32(bmp, 0);
    Put32(bmp, 54);
    Put32(bmp, 40);
    Put32(bmp, kSkinW);
    Put32(bmp, kSkinH);
    bmp += '\x01', bmp += '\0', bmp += '\x18', bmp += '\0';  // 1 plane, 24 bits
    for (int i = 0; i < 6; ++i) Put32(bmp, 0);
    for (int y = kSkinH - 1; y >= 0; --y) {  // rows bottom-up
        for (int x = 0; x < kSkinW; ++x) {
            std::uint32_t c = Pixel(x, y);
            bmp += static_cast<char>(c & 0xFF);
            bmp += static_cast<char>((c >> 8) & 0xFF);
            bmp += static_cast<char>((c >> 16) & 0xFF);
        }
        bmp.append(row - kSkinW * 3, '\0');
    }
    return bmp;
}

int CreateStarterFolder(const std::string& dir, const std::string& executable) {
    namespace fs = std::filesystem;
    const fs::path root(dir);
    const char* names[] = {"code.txt", "variable.txt", "skin.bmp", "run.sh"};
    for (const char* n : names) {
        if (fs::exists(root / n)) {
            std::fprintf(stderr, "velmora: %s already exists; nothing was changed\n",
                         (root / n).c_str());
            return 1;
        }
    }
    std::error_code ec;
    fs::create_directories(root, ec);
    std::string launcher =
        "#!/bin/sh\n# Runs this folder's script with velmora.\n"
        "VELMORA_HOME=\"$(cd \"$(dirname \"$0\")\" && pwd)\" exec '" +
        executable + "' \"$@\"\n";
    bool ok = WriteNew(root / "code.txt", Utf8ToCp932(kScript)) &&
              WriteNew(root / "variable.txt", Utf8ToCp932(kSettings)) &&
              WriteNew(root / "skin.bmp", StarterSkinBmp()) && WriteNew(root / "run.sh", launcher);
    if (!ok) {
        std::fprintf(stderr, "velmora: cannot write into %s\n", root.c_str());
        return 1;
    }
    ::chmod((root / "run.sh").c_str(), 0755);
    std::printf("Created %s: edit code.txt (Shift-JIS or UTF-8 with BOM), then run %s\n",
                root.c_str(), (root / "run.sh").c_str());
    return 0;
}

}  // namespace velmora
