// What the web server answers, shared between the user-interface thread, which changes
// it through the `web` sub-commands and when a wait ends, and the listener thread,
// which takes a copy for every request. One mutex guards it all.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "engine/limits.h"

namespace velmora {

enum WebMode : int { FileServer = 0, StatusPage = 1, InputPage = 2, ChoicePage = 3 };

// The texts of the status, input and choice pages (CP932).
struct PageTexts {
    std::string statusText, inputPrompt, choicePrompt;
    std::string labels[kMaxChoices];  // labels[0] is choice 1
    int choiceCount = 0;              // at most kMaxChoices
    int choiceSelected = 0;           // 1-based pre-selected button
    // The last answered choice question: acknowledgements name the choice as it was
    // offered, even after a new question has replaced the labels.
    std::string answeredLabels[kMaxChoices];
    int answeredCount = -1;  // -1 until a choice was answered
};

struct WebSnapshot {
    int mode = StatusPage;
    PageTexts pages;
    std::string webroot;    // CP932, as the script set it
    unsigned question = 0;  // which web,input or web,choice the page belongs to
};

class WebShared {
public:
    WebShared();

    WebSnapshot snapshot() const;  // without the page texts in the file mode
    // Changes the state under the lock (user-interface thread).
    void update(const std::function<void(WebSnapshot&)>& change);
    // An answer to the page of `question` arrived: true, and the page turns back to the
    // status page, unless a newer question or the end of the wait came first.
    bool takeAnswer(int mode, unsigned question);

private:
    mutable std::mutex mutex_;
    WebSnapshot state_;
};

// The choice number a text names: its integer value limited to 1 .. count.
int ClampChoice(int count, std::string_view text);

}  // namespace velmora
