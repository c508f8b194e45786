// What the listener answers: the page or the files of the current mode.
// The status, input and choice pages let a browser follow the script and answer its
// questions. Each reads the two keys of its page from the query; the input
// and choice pages turn a submitted form into an answer and redirect the browser to
// the acknowledgement.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/web/connection.h"
#include "net/web/state.h"

namespace velmora {

struct WebAnswer {
    bool isChoice = false;
    std::string input;  // input answer, "%%" already replaced by "/per"
    int choice = 0;     // chosen number, 1 .. choice count
};

// The status page; the caller closes the connection.
void ServeStatusPage(const std::string& request, Connection& c, const PageTexts& pages);
// The input and choice pages close the connection themselves, and return the answer
// when the form was submitted with one.
std::optional<WebAnswer> ServeInputPage(const std::string& request, Connection& c,
                                        const PageTexts& pages);
std::optional<WebAnswer> ServeChoicePage(const std::string& request, Connection& c,
                                         const PageTexts& pages);

// The header of a page built here, up to and including the blank line.
std::string PageHeader(const char* ending = "\n\n");

// What the listener does with a request: it takes a copy of the shared state, answers
// with the page or file of the current mode, and hands an answer from the browser on.
// Runs on the listener thread only.
class WebSite {
public:
    // Receives an answer and the question it belongs to; must not block.
    using Deliver = std::function<void(const WebAnswer&, unsigned question)>;

    WebSite(WebShared& shared, Deliver deliver) : shared_(shared), deliver_(std::move(deliver)) {}

    void serve(Connection& c, const std::string& request);

private:
    WebShared& shared_;
    Deliver deliver_;
};

}  // namespace velmora
