// What the web server answers: its own texts, and the state shared between the
// user-interface thread, which changes it through the `web` sub-commands and when a wait
// ends, and the listener thread, which takes a copy for every request.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "engine/limits.h"

namespace velmora {

// The web server's own texts in CP932, converted once: header lines, the pieces of the
// pages it builds, its messages and the initial page texts.
struct WebTexts {
    // Header lines.
    std::string status200, status301, status302, mime, server, pageType;

    // Not-found page and directory listing, each around the inserted text.
    std::string notFoundHead, notFoundFoot;
    std::string listingTitle, listingMiddle, listingHeadEnd, listingFoot, noDirectory;
    std::string folderRow, folderRowEnd, fileRowBytes, fileRowKb, fileRowMiddle, rowEnd;

    // Status, input and choice pages.
    std::string statusHead, inputHead, choiceHead;
    std::string entered, chosen;  // acknowledgements, after the answer
    std::string promptStart;      // "<P>　" before the status text and the prompts
    std::string inputForm, choiceFormStart, radio, radioChecked, radioPlain, radioEnd,
        choiceFormEnd;
    std::string pageFoot;

    // Messages and results.
    std::string startFailed, unknownCommand, alreadyStarted, newlyStarted;

    // Initial page texts.
    std::string statusText, inputPrompt, choicePrompt, labels[kMaxChoices];
};

const WebTexts& Texts();

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

// One mutex guards it all.
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
