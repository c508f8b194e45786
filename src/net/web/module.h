// The `web` command and the engine's side of the built-in web server: starting and
// stopping the listener while the user interface stays live, the questions the script
// asks through the input and choice pages, and the answers that come back. Everything
// here runs on the user-interface thread; the listener reaches it only through the
// guarded shared state and calls posted to this thread.
#pragma once

#include <memory>
#include <string>

#include "engine/engine.h"
#include "net/web/listener.h"
#include "net/web/pages.h"
#include "net/web/state.h"

namespace velmora {

class Frontend;

class WebModule : public EngineModule {
public:
    static constexpr int kDefaultPort = 80;

    explicit WebModule(Engine& engine, int port = kDefaultPort);
    ~WebModule() override;

    bool StartWebServer();
    void StopWebServer();
    // An answer from the browser, on this thread; dropped unless the script still waits
    // for that very question.
    void WebAnswerArrived(const WebAnswer& answer, unsigned question);

    void onVariableSet(int builtinIndex) override;
    void onCancelWaits() override;
    void onShutdownStop() override;
    bool keepsAlive() const override { return listener_.running(); }

    bool serverRunning() const { return listener_.running(); }
    // The server's port; for 0 (any free one) the port bound, once started.
    int port() const { return listener_.port(); }
    WebSnapshot state() const { return shared_.snapshot(); }
    const std::string& webInputAnswer() const { return webInputAnswer_; }

private:
    // The rows of the `web` command, one per sub-command (parameter 1, lower-cased).
    static int ChoiceParams(int count);
    void commandServer();
    void commandStart();
    void commandInput();
    void commandChoice();
    void askQuestion(int mode);
    void refreshRoot();
    void deliver(const WebAnswer& answer, unsigned question);

    Engine& engine_;
    Frontend& frontend_;
    std::shared_ptr<int> alive_;  // posted calls check it, so none runs after destruction
    WebShared shared_;
    WebSite site_;
    WebListener listener_;
    unsigned questions_ = 0;     // number of the last question asked
    unsigned openQuestion_ = 0;  // the question the script waits for; 0 for none
    std::string webInputAnswer_;
};

}  // namespace velmora
