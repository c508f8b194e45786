// CP932 forms of the download texts, converted once from the UTF-8 sources.
#include "net/download/texts.h"

#include "engine/text.h"

namespace velmora {

const std::string& DownloadCaption() {
    static const std::string text = Utf8ToCp932("ダウンロード");
    return text;
}

const std::string& DownloadStatusText(DownloadStatus status) {
    static const std::string table[] = {
        Utf8ToCp932("アドレス情報取得中"),   Utf8ToCp932("接続中"),
        Utf8ToCp932("データをリクエスト中"), Utf8ToCp932("中断しています…　"),
        Utf8ToCp932("中断しています……"),
    };
    return table[static_cast<int>(status)];
}

std::string GroupThousands(std::uint64_t n) {
    std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string ReceivedText(std::uint64_t total, bool complete) {
    static const std::string receiving = Utf8ToCp932(" bytes受信");
    static const std::string done = Utf8ToCp932(" bytes受信完了");
    return GroupThousands(total) + (complete ? done : receiving);
}

const std::string& DownloadErrorText(DownloadError error) {
    static const std::string table[] = {
        Utf8ToCp932("URLエラー"),
        Utf8ToCp932("ファイル作成エラー"),
        Utf8ToCp932("ファイル書き込みエラー"),
        Utf8ToCp932("サーバーが見つかりません"),
        Utf8ToCp932("サーバーに繋がりません"),
        Utf8ToCp932("リクエスト送信エラー"),
        Utf8ToCp932("ソケットエラー"),
        Utf8ToCp932("タイムアウト"),
        Utf8ToCp932("中断されました"),
        Utf8ToCp932("ステータスエラー"),
        Utf8ToCp932("データ受信エラー"),
        Utf8ToCp932("TLS接続エラー"),
        Utf8ToCp932("サーバー証明書を検証できません"),
        Utf8ToCp932("リダイレクトが多すぎます"),
        Utf8ToCp932("HTTPSからHTTPへのリダイレクトは拒否されました"),
    };
    return table[static_cast<int>(error)];
}

}  // namespace velmora
