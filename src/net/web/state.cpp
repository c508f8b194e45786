// The web server's texts, converted once from UTF-8 literals, and its guarded state.
#include "net/web/state.h"

#include <algorithm>
#include <iterator>

#include "engine/text.h"

namespace velmora {

namespace {

std::string Sj(const char8_t* utf8) {
    return Utf8ToCp932(reinterpret_cast<const char*>(utf8));
}

WebTexts Build() {
    WebTexts t;
    t.status200 = "HTTP/1.0 200 Document follows\n";
    t.status301 = "HTTP/1.0 301 Moved Permanently\n";
    t.status302 = "HTTP/1.0 302 Moved Temporarily\n";
    t.mime = "MIME-Version: 1.0\n";
    t.server = "Server: Quillon/1.0\n";
    // Pages are Shift-JIS; saying so makes browsers show them right and submit in it.
    t.pageType = "Content-Type: text/html; charset=Shift_JIS";

    t.notFoundHead =
        Sj(u8"<html><head><title>エラー</title></head><body>ファイルが見つかりません：");
    t.notFoundFoot = "</body></html>";
    t.listingTitle = Sj(u8"<html><head><title>フォルダ：");
    t.listingMiddle = Sj(u8"</title></head><body><B>フォルダ：");
    t.listingHeadEnd = "</B><P><ul>\n";
    t.listingFoot = "</ul></body></html>";
    t.noDirectory = "Directory does not exist";
    t.folderRow = Sj(u8"[フォルダ] <a href=\"");
    t.folderRowEnd = "/\">/";
    t.fileRowBytes = "bytes] <a href=\"";
    t.fileRowKb = "kb] <a href=\"";
    t.fileRowMiddle = "\">";
    t.rowEnd = "</a><P>\n";

    t.statusHead = "<html><head><title>zir</title></head><body>";
    t.inputHead = Sj(u8"<html><head><title>簡易入力鯖</title></head><body>");
    t.choiceHead = Sj(u8"<html><head><title>簡易選択鯖</title></head><body>");
    t.entered = Sj(u8"を入力しました<P> ");
    t.chosen = Sj(u8"を選択しました<P> ");
    t.promptStart = Sj(u8"<P>　");
    t.inputForm =
        Sj(u8"<P><form action=\"input.cgi\" method=\"GET\"><input size=20 maxlength=30 "
           u8"name=\"input\"><input type=submit value=\"ぽちっとな\"></form>");
    t.choiceFormStart = "<P><form action=\"input.cgi\" method=\"GET\">";
    t.radio = Sj(u8"　<input type=radio name=\"choice\" value=\"");
    t.radioChecked = "\" checked>";
    t.radioPlain = "\">";
    t.radioEnd = "<BR>";
    t.choiceFormEnd = Sj(u8"<BR>　　<input type=submit value=\"ぽちっとな\"></form>");
    t.pageFoot = Sj(u8"<P><HR>zir　<a href=\"./\">リロード</a></body></html>");

    t.startFailed = Sj(u8"HTTPDエラー：サーバを開始出来ませんでした ");
    t.unknownCommand = Sj(u8"コードエラー：不明なwebコマンド ");
    t.alreadyStarted = Sj(u8"既に開始されてます");
    t.newlyStarted = Sj(u8"新規に開始しました");

    t.statusText = Sj(u8"zir　待機中");
    t.inputPrompt = Sj(u8"入力してね");
    t.choicePrompt = Sj(u8"選択してね");
    for (int i = 0; i < kMaxChoices; ++i) t.labels[i] = Sj(u8"選択肢") + std::to_string(i + 1);
    return t;
}

}  // namespace

const WebTexts& Texts() {
    static const WebTexts texts = Build();
    return texts;
}

WebShared::WebShared() {
    const WebTexts& t = Texts();
    state_.pages.statusText = t.statusText;
    state_.pages.inputPrompt = t.inputPrompt;
    state_.pages.choicePrompt = t.choicePrompt;
    for (int i = 0; i < kMaxChoices; ++i) state_.pages.labels[i] = t.labels[i];
}

WebSnapshot WebShared::snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.mode != FileServer) return state_;
    // Serving files needs no page texts: copy only what it reads.
    WebSnapshot s;
    s.mode = state_.mode;
    s.webroot = state_.webroot;
    s.question = state_.question;
    return s;
}

void WebShared::update(const std::function<void(WebSnapshot&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(state_);
}

bool WebShared::takeAnswer(int mode, unsigned question) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_.mode != mode || state_.question != question) return false;
    PageTexts& p = state_.pages;
    if (mode == ChoicePage) {
        std::copy(std::begin(p.labels), std::end(p.labels), std::begin(p.answeredLabels));
        p.answeredCount = p.choiceCount;
    }
    state_.mode = StatusPage;
    return true;
}

int ClampChoice(int count, std::string_view text) {
    int k = std::min(count, ToInt(text));
    return k < 1 ? 1 : k;
}

}  // namespace velmora
