// The status, input and choice pages through which a browser follows the script and
// answers its questions. Each reads the two keys of its page from the query; the input
// and choice pages turn a submitted form into an answer and redirect the browser to
// the acknowledgement.
#pragma once

#include <optional>
#include <string>

#include "net/connection.h"
#include "net/web_state.h"

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

}  // namespace velmora
