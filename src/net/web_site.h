// What the listener does with a request: it takes a copy of the shared state, answers
// with the page or file of the current mode, and hands an answer from the browser on.
// Runs on the listener thread only.
#pragma once

#include <functional>
#include <string>

#include "net/connection.h"
#include "net/web_pages.h"
#include "net/web_state.h"

namespace velmora {

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
