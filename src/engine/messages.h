// The engine's message texts. Sources are UTF-8; the program shows CP932.
#pragma once

#include <string>

#include "engine/text.h"

namespace velmora::msg {

VELMORA_CP932(ScriptOpenError, "コードファイルオープンエラー　ファイルが開けません %s")
VELMORA_CP932(NoNextCode, "コードエラー：次のコードが見つかりません")
VELMORA_CP932(TooFewParams, "コードエラー：パラメーターが足りません %s (line:%i)")
VELMORA_CP932(UnknownCode, "コードエラー：不明なコード %s (line:%i)")
VELMORA_CP932(LabelNotFound, "コードエラー：%s が見つかりません")
VELMORA_CP932(TooManyCalls, "コードエラー：サブルーチンの呼び出しが50を超えました(line:%i)")
VELMORA_CP932(TooManyLoops, "コードエラー：whileの入れ子が50を超えました(line:%i)")
VELMORA_CP932(NoIf, "コードエラー：if が無い%sコマンドです(line:%i)")
VELMORA_CP932(NoWhile, "コードエラー：while が無い%sコマンドです(line:%i)")
VELMORA_CP932(UnknownIf, "コードエラー：不明なifコマンド %s (line:%i)")
VELMORA_CP932(UnknownCompare, "コードエラー：不明な比較コマンド %s (line:%i)")
VELMORA_CP932(BadVariableName,
              "変数エラー：%s は名前として保存できません（改行と = を含む名前、[ か ; "
              "で始まる名前は使えません）(line:%i)")
VELMORA_CP932(SettingsNotSaved,
              "設定ファイルエラー：%s に書き込めません。変更はこの実行の間だけ保たれます")
VELMORA_CP932(SettingsTooLarge,
              "設定ファイルエラー：%s が64MBを超えるため、%s の値は保存しません。値はこの実行の"
              "間だけ保たれます")
VELMORA_CP932(HeldValues, "これまでに設定した変数")
VELMORA_CP932(AskQuit, "終了しますか？")
VELMORA_CP932(DefaultTitle, "すくりぷと実行中")

}  // namespace velmora::msg
