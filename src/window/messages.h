// The display window's message texts. Sources are UTF-8; the program shows CP932.
#pragma once

#include <string>

#include "engine/text.h"

namespace velmora::msg {

VELMORA_CP932(AskRestart, "最初に戻りますか？")
VELMORA_CP932_FORMAT(SkinLoadFailed, (const std::string& file), "%s のロードに失敗しました",
                     file.c_str())
VELMORA_CP932(BmpDataError, "BMPデータエラーが発生しました")
VELMORA_CP932(NoBufferMemory, "バッファーメモリの確保エラーが発生しました")

}  // namespace velmora::msg
