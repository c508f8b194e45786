// Building and sending the status, input and choice pages, and the dispatch by mode. Texts from the
// request are HTML-escaped; the script's own texts (status, prompts, labels) may carry markup and
// go in as they are.
#include "net/web/pages.h"

#include "net/shared/http_text.h"
#include "net/web/file_server.h"

namespace velmora {

namespace {

struct PageQuery {
    bool found = false;
    std::string first, second;  // normalised to Shift-JIS
};

PageQuery ReadQuery(const std::string& request, const char* firstKey, const char* secondKey) {
    PageQuery q;
    RequestTarget t = ParseRequestTarget(request);
    if (!t.found) return q;
    QueryValues v = ParseQuery(t.query, firstKey, secondKey);
    q.found = true;
    q.first = NormalizeToShiftJis(v.first);
    q.second = NormalizeToShiftJis(v.second);
    return q;
}

// The redirect to the acknowledgement. The answer is percent-encoded, so nothing from
// the request can break the header line, and the browser brings the same bytes back.
std::string AnswerRedirect(const char* key, const std::string& answer) {
    const WebTexts& t = Texts();
    return t.status302 + t.mime + t.server + "Location: input.cgi?" + key + "=" +
           PercentEncode(answer) + "\n\n";
}

std::string ChoiceAcknowledgement(const PageTexts& pages, const std::string& prevc) {
    if (prevc.empty()) return {};
    bool answered = pages.answeredCount >= 0;
    const std::string* labels = answered ? pages.answeredLabels : pages.labels;
    int count = answered ? pages.answeredCount : pages.choiceCount;
    return labels[ClampChoice(count, prevc) - 1] + Texts().chosen;
}

std::string InputAcknowledgement(const std::string& prev) {
    return prev.empty() ? std::string() : HtmlEscape(prev) + Texts().entered;
}

std::string ReplacePercentPairs(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
            out += "/per";
            ++i;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string ChoiceRows(const PageTexts& pages) {
    const WebTexts& t = Texts();
    std::string rows;
    for (int k = 1; k <= pages.choiceCount; ++k) {
        rows += t.radio + std::to_string(k) +
                (k == pages.choiceSelected ? t.radioChecked : t.radioPlain) + pages.labels[k - 1] +
                t.radioEnd;
    }
    return rows;
}

}  // namespace

std::string PageHeader(const char* ending) {
    const WebTexts& t = Texts();
    return t.status200 + t.mime + t.server + t.pageType + ending;
}

void ServeStatusPage(const std::string& request, Connection& c, const PageTexts& pages) {
    PageQuery q = ReadQuery(request, "prev", "prevc");
    if (!q.found) return;
    const WebTexts& t = Texts();
    c.send(PageHeader() + t.statusHead + InputAcknowledgement(q.first) +
           ChoiceAcknowledgement(pages, q.second) + t.promptStart + pages.statusText + t.pageFoot);
}

std::optional<WebAnswer> ServeInputPage(const std::string& request, Connection& c,
                                        const PageTexts& pages) {
    PageQuery q = ReadQuery(request, "input", "prev");
    std::optional<WebAnswer> answer;
    if (q.found && !q.first.empty()) {
        answer = WebAnswer{false, ReplacePercentPairs(q.first), 0};
        c.send(AnswerRedirect("prev", q.first));
    } else if (q.found) {
        const WebTexts& t = Texts();
        c.send(PageHeader() + t.inputHead + InputAcknowledgement(q.second) + t.promptStart +
               pages.inputPrompt + t.inputForm + t.pageFoot);
    }
    c.finish();
    return answer;
}

std::optional<WebAnswer> ServeChoicePage(const std::string& request, Connection& c,
                                         const PageTexts& pages) {
    PageQuery q = ReadQuery(request, "choice", "prevc");
    std::optional<WebAnswer> answer;
    if (q.found && !q.first.empty()) {
        answer = WebAnswer{true, {}, ClampChoice(pages.choiceCount, q.first)};
        c.send(AnswerRedirect("prevc", q.first));
    } else if (q.found) {
        const WebTexts& t = Texts();
        // This page alone has always ended its header with CR LF pairs.
        c.send(PageHeader("\r\n\r\n") + t.choiceHead + ChoiceAcknowledgement(pages, q.second) +
               t.promptStart + pages.choicePrompt + t.choiceFormStart + ChoiceRows(pages) +
               t.choiceFormEnd + t.pageFoot);
    }
    c.finish();
    return answer;
}

namespace {

// After an answer the browser is redirected at once; the pause lets the script ask its
// next question before that request is accepted.
constexpr std::chrono::milliseconds kAnswerPause{1000};

}  // namespace

void WebSite::serve(Connection& c, const std::string& request) {
    WebSnapshot s = shared_.snapshot();
    std::optional<WebAnswer> answer;
    switch (s.mode) {
        case StatusPage:
            return ServeStatusPage(request, c, s.pages);
        case InputPage:
            answer = ServeInputPage(request, c, s.pages);
            break;
        case ChoicePage:
            answer = ServeChoicePage(request, c, s.pages);
            break;
        default:
            return ServeFiles(request, c, s.webroot);
    }
    if (!answer) return;
    if (shared_.takeAnswer(s.mode, s.question)) deliver_(*answer, s.question);
    c.stopSignal().sleepFor(kAnswerPause);
}

}  // namespace velmora
