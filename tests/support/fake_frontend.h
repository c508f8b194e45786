// A front end for engine tests: records what the engine shows, answers questions from
// scripted queues, runs posted calls, and delivers scripted events while the script
// waits. When nothing is left to wake a waiting script it shuts the engine down, so
// RunScript returns as the console does.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/frontend.h"
#include "engine/text.h"

namespace velmora::test {

class FakeFrontend : public Frontend {
public:
    Engine* engine = nullptr;

    // What the engine showed (CP932, as passed).
    std::vector<std::string> messages;   // message boxes with OK
    std::vector<std::string> questions;  // OK/Cancel boxes
    std::vector<std::string> prompts;    // input dialogs
    std::vector<std::string> texts;      // showText: mode + "|" + text
    std::vector<std::string> titles;
    std::vector<std::string> skins, placements;
    int clears = 0, choiceDraws = 0, closeRequests = 0, displayReleases = 0;
    long sleptMs = 0;

    // Answers: questions default to OK; inputs to Cancel (nullopt).
    std::deque<bool> okAnswers;
    std::deque<std::optional<std::string>> inputAnswers;

    // Events delivered one per pump while the script waits.
    std::deque<std::function<void(Engine&)>> events;

    bool timerRunning = false;
    int timerMs = 0;
    // Fire a running timer when a waiting script has no scripted event left.
    bool fireTimerWhenIdle = true;

    void messageBox(const std::string& text) override { messages.push_back(text); }
    bool askOkCancel(const std::string& text) override {
        questions.push_back(text);
        if (okAnswers.empty()) return true;
        bool ok = okAnswers.front();
        okAnswers.pop_front();
        return ok;
    }
    bool inputDialog(const std::string& prompt, std::string& answer) override {
        prompts.push_back(prompt);
        std::optional<std::string> a;
        if (!inputAnswers.empty()) {
            a = inputAnswers.front();
            inputAnswers.pop_front();
        }
        answer = a.value_or("");
        return a.has_value();
    }
    void showText(const std::string& mode, const std::string& text) override {
        texts.push_back(mode + "|" + text);
    }
    void clearDisplay() override { ++clears; }
    void drawChoices() override { ++choiceDraws; }
    void setTitle(const std::string& text) override { titles.push_back(text); }
    void loadSkin(const std::string& name) override { skins.push_back(name); }
    void placeWindow(const std::string& rect) override { placements.push_back(rect); }
    void releaseDisplay() override { ++displayReleases; }
    void startScriptTimer(int ms) override {
        timerRunning = true;
        timerMs = ms;
    }
    void killScriptTimer() override { timerRunning = false; }
    void requestClose() override { ++closeRequests; }
    void sleepMs(int ms) override { sleptMs += ms > 0 ? ms : 0; }

    void postToUi(std::function<void()> fn) override {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(fn));
    }

    void pumpOneMessage() override {
        if (auto fn = takePosted()) {
            fn();
            return;
        }
        if (!engine || engine->running || engine->quit) return;
        if (!events.empty()) {
            auto e = std::move(events.front());
            events.pop_front();
            e(*engine);
        } else if (timerRunning && fireTimerWhenIdle) {
            timerRunning = false;
            engine->onScriptTimer();
        } else if (!engine->keepsAlive() && !hasPosted()) {
            engine->Shutdown();
        }
    }

    // Messages converted to UTF-8, for readable assertions.
    std::vector<std::string> messagesUtf8() const {
        std::vector<std::string> out;
        for (const auto& m : messages) out.push_back(Cp932ToUtf8(m));
        return out;
    }

private:
    std::function<void()> takePosted() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (posted_.empty()) return {};
        auto fn = std::move(posted_.front());
        posted_.pop_front();
        return fn;
    }
    bool hasPosted() {
        std::lock_guard<std::mutex> lock(mutex_);
        return !posted_.empty();
    }

    std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

}  // namespace velmora::test
