// The engine's message texts. Sources are UTF-8; the program shows CP932.
#pragma once

#include <string>

#include "engine/text.h"

namespace velmora::msg {

VELMORA_CP932_FORMAT(ScriptOpenError, (const std::string& path),
                     "コードファイルオープンエラー　ファイルが開けません %s", path.c_str())
VELMORA_CP932(NoNextCode, "コードエラー：次のコードが見つかりません")
VELMORA_CP932_FORMAT(TooFewParams, (const std::string& command, int line),
                     "コードエラー：パラメーターが足りません %s (line:%i)", command.c_str(), line)
VELMORA_CP932_FORMAT(UnknownCode, (const std::string& command, int line),
                     "コードエラー：不明なコード %s (line:%i)", command.c_str(), line)
VELMORA_CP932_FORMAT(LabelNotFound, (const std::string& label), "コードエラー：%s が見つかりません",
                     label.c_str())
VELMORA_CP932_FORMAT(TooManyCalls, (int line),
                     "コードエラー：サブルーチンの呼び出しが50を超えました(line:%i)", line)
VELMORA_CP932_FORMAT(TooManyLoops, (int line),
                     "コードエラー：whileの入れ子が50を超えました(line:%i)", line)
VELMORA_CP932_FORMAT(NoIf, (const std::string& word, int line),
                     "コードエラー：if が無い%sコマンドです(line:%i)", word.c_str(), line)
VELMORA_CP932_FORMAT(NoWhile, (const std::string& word, int line),
                     "コードエラー：while が無い%sコマンドです(line:%i)", word.c_str(), line)
VELMORA_CP932_FORMAT(UnknownIf, (const std::string& kind, int line),
                     "コードエラー：不明なifコマンド %s (line:%i)", kind.c_str(), line)
VELMORA_CP932_FORMAT(UnknownCompare, (const std::string& op, int line),
                     "コードエラー：不明な比較コマンド %s (line:%i)", op.c_str(), line)
VELMORA_CP932_FORMAT(BadVariableName, (const std::string& key, int line),
                     "変数エラー：%s は名前として保存できません（改行と = を含む名前、[ か ; "
                     "で始まる名前は使えません）(line:%i)",
                     key.c_str(), line)
VELMORA_CP932_FORMAT(SettingsNotSaved, (const std::string& path),
                     "設定ファイルエラー：%s に書き込めません。変更はこの実行の間だけ保たれます",
                     path.c_str())
VELMORA_CP932_FORMAT(
    SettingsTooLarge, (const std::string& path, const std::string& key),
    "設定ファイルエラー：%s が64MBを超えるため、%s の値は保存しません。値はこの実行の"
    "間だけ保たれます",
    path.c_str(), key.c_str())
VELMORA_CP932(HeldValues, "これまでに設定した変数")
VELMORA_CP932(AskQuit, "終了しますか？")
VELMORA_CP932(DefaultTitle, "すくりぷと実行中")

}  // namespace velmora::msg
