// The guarded web-server state.
#include "net/web_state.h"

#include <algorithm>
#include <iterator>

#include "engine/text.h"
#include "net/web_texts.h"

namespace velmora {

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
