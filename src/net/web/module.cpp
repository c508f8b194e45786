// The `web` command, StartWebServer, StopWebServer and WebAnswerArrived.
#include "net/web/module.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "engine/frontend.h"
#include "engine/text.h"
#include "net/web/state.h"

namespace velmora {

namespace {

constexpr std::chrono::milliseconds kPollStep{100};
constexpr int kStopPolls = 50;
// 'web,choice,count,default,prompt': the parameters before the labels.
constexpr int kChoiceParams = 5;
const char* const kDefaultRoot = "c:/public_html";

// A root such as "site/../site" or "../web": requests have every ".." broken up, and the
// root's own would be too. The folder it names now is served; one that does not exist
// stays as written and serves nothing, as any missing root.
std::string ResolveParentParts(const std::string& root) {
    const std::string native = NativePath(root);
    if (("/" + native + "/").find("/../") == std::string::npos) return root;
    char real[PATH_MAX];
    if (!realpath(native.c_str(), real)) return root;
    const std::string cp932 = Utf8ToCp932(real);
    // A name with characters Shift-JIS lacks could not be given back as written.
    return Cp932ToUtf8(cp932) == real ? cp932 : root;
}

}  // namespace

WebModule::WebModule(Engine& engine, int port)
    : engine_(engine),
      frontend_(engine.frontend()),
      alive_(std::make_shared<int>(0)),
      site_(shared_, [this](const WebAnswer& a, unsigned q) { deliver(a, q); }),
      listener_(port,
                [this](Connection& c, const std::string& request) { site_.serve(c, request); }) {
    auto run = [this](void (WebModule::*handler)()) {
        return [this, handler](Engine&) { (this->*handler)(); };
    };
    engine.addCommands({{
        .word = "web",
        .minParams = 1,
        .run = {},
        .mayWriteFiles = false,
        .subcommands =
            {
                {.word = "server", .minParams = 1, .run = run(&WebModule::commandServer)},
                {.word = "start", .minParams = 1, .run = run(&WebModule::commandStart)},
                {.word = "input", .minParams = 1, .run = run(&WebModule::commandInput)},
                // The page is switched and the server started even when the check fails.
                {.word = "choice",
                 .minParams = kChoiceParams,
                 .run = run(&WebModule::commandChoice),
                 .check = ParamCheck::InHandler,
                 .counted = {2, ChoiceParams}},
                {.word = "stop", .minParams = 1, .run = run(&WebModule::StopWebServer)},
            },
        .unknownSubcommand = [](const std::string& word,
                                int) { return Texts().unknownCommand + word; },
    }});
    engine.addModule(*this);
}

// 'web,choice,count,default,prompt,label1,...': labels for a count of 1 or more; a
// count above the limit is taken as the limit.
int WebModule::ChoiceParams(int count) {
    return count >= 1 ? std::min(count, kMaxChoices) + kChoiceParams - 1 : 0;
}

WebModule::~WebModule() {
    listener_.requestStop();
    listener_.join();
}

void WebModule::commandServer() {
    if (engine_.line.paramCount > 1) engine_.SetVariable("webroot", engine_.line.p(2));
    shared_.update([](WebSnapshot& s) { s.mode = FileServer; });
    StartWebServer();
}

void WebModule::commandStart() {
    const CurrentLine& line = engine_.line;
    shared_.update([&](WebSnapshot& s) {
        if (line.paramCount > 1) s.pages.statusText = line.p(2);
        s.mode = StatusPage;
    });
    StartWebServer();
}

void WebModule::commandInput() {
    const CurrentLine& line = engine_.line;
    if (line.paramCount > 1)
        shared_.update([&](WebSnapshot& s) { s.pages.inputPrompt = line.p(2); });
    askQuestion(InputPage);
}

void WebModule::commandChoice() {
    if (engine_.CheckParams(kChoiceParams)) {
        const CurrentLine& line = engine_.line;
        // The page, the window and the variables hold six choices; more would name
        // choices that do not exist.
        int n = std::min(ToInt(line.p(2)), kMaxChoices);
        int d = std::max(std::min(n, ToInt(line.p(3))), 1);
        ChoiceState& choice = engine_.choice;
        choice.count = n;
        choice.highlighted = d;
        engine_.SetVariable("choice_sel", std::to_string(d));
        bool labelled = n >= 1 && engine_.CheckParams(ChoiceParams(n));
        for (int i = 0; labelled && i < n; ++i) choice.text[i] = line.p(5 + i);
        shared_.update([&](WebSnapshot& s) {
            s.pages.choiceCount = n;
            s.pages.choiceSelected = d;
            s.pages.choicePrompt = line.p(4);
            for (int i = 0; labelled && i < n; ++i) s.pages.labels[i] = choice.text[i];
        });
        if (labelled) engine_.SetVariable("choice_text", choice.text[d - 1]);
    }
    askQuestion(ChoicePage);
}

// The script waits for the answer to this question, unless the server cannot start.
void WebModule::askQuestion(int mode) {
    if (++questions_ == 0) ++questions_;  // 0 means no question
    unsigned question = questions_;
    shared_.update([&](WebSnapshot& s) {
        s.mode = mode;
        s.question = question;
    });
    openQuestion_ = question;
    if (StartWebServer()) {
        engine_.running = false;
        return;
    }
    openQuestion_ = 0;
    engine_.reportError(Texts().startFailed + engine_.GetVariable("var2", ""));
    engine_.StopScript();
}

bool WebModule::StartWebServer() {
    if (listener_.running()) {
        engine_.SetVariable("var2", Texts().alreadyStarted);
        engine_.SetVariable("var1", "OK");
        return true;
    }
    refreshRoot();
    listener_.start();
    // The listener binds its sockets on its own thread; the window stays live meanwhile.
    while (!listener_.waitReady(kPollStep)) engine_.PumpOneMessage();
    WebListener::StartResult r = listener_.startResult();
    if (r.var1 == "NG") {
        engine_.SetVariable("var1", r.var1);
        engine_.SetVariable("var2", r.var2);
        return false;
    }
    engine_.SetVariable("var2", Texts().newlyStarted);
    engine_.SetVariable("var1", "OK");
    return true;
}

void WebModule::StopWebServer() {
    if (!listener_.running()) {
        listener_.join();
        return;
    }
    listener_.requestStop();
    for (int i = 0; i < kStopPolls; ++i) {
        if (listener_.waitStopped(kPollStep)) break;
        engine_.PumpOneMessage();
    }
    listener_.join();
}

void WebModule::deliver(const WebAnswer& answer, unsigned question) {
    std::weak_ptr<int> alive = alive_;
    frontend_.postToUi([this, alive, answer, question] {
        if (alive.lock()) WebAnswerArrived(answer, question);
    });
}

void WebModule::WebAnswerArrived(const WebAnswer& answer, unsigned question) {
    if (question == 0 || question != openQuestion_) return;
    engine_.trace("event: web answer");
    if (answer.isChoice) {
        int n = std::clamp(answer.choice, 1, kMaxChoices);
        shared_.update([n](WebSnapshot& s) { s.pages.choiceSelected = n; });
        engine_.confirmChoice(n);  // as a choice confirmed in the window
        return;
    }
    engine_.CancelWaits();
    webInputAnswer_ = answer.input;
    engine_.SetVariable("var1", webInputAnswer_);
    engine_.running = true;
}

void WebModule::onVariableSet(int builtinIndex) {
    if (builtinIndex == kWebRoot) refreshRoot();
}

void WebModule::onCancelWaits() {
    openQuestion_ = 0;
    bool running = listener_.running();
    shared_.update([running](WebSnapshot& s) {
        if (running && (s.mode == InputPage || s.mode == ChoicePage)) s.mode = StatusPage;
    });
    refreshRoot();
}

void WebModule::onShutdownStop() {
    StopWebServer();
}

void WebModule::refreshRoot() {
    std::string root = engine_.GetVariable("webroot", kDefaultRoot);
    // An empty root would serve the whole file system from "/".
    if (root.empty()) root = kDefaultRoot;
    root = ResolveParentParts(root);
    shared_.update([&](WebSnapshot& s) { s.webroot = root; });
}

}  // namespace velmora
