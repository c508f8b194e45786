// Request dispatch by mode, and the hand-over of answers.
#include "net/web_site.h"

#include "net/file_server.h"

namespace velmora {

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
