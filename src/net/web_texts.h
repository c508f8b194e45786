// The web server's own texts in CP932, converted once: header lines, the pieces of the
// pages it builds, its messages and the initial page texts.
#pragma once

#include <string>

#include "engine/limits.h"

namespace velmora {

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

}  // namespace velmora
