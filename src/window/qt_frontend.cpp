// Frontend calls mapped onto Qt, and the window's start-up sequence.
#include "window/qt_frontend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>

#include "engine/engine.h"
#include "window/display.h"
#include "window/messages.h"
#include "window/qt_cp932.h"
#include "window/qt_dialogs.h"
#include "window/qt_download_dialog.h"
#include "window/qt_script_window.h"

namespace velmora {

namespace {

// How often a `sleep` looks at the window's events.
constexpr qint64 kSleepStepMs = 10;

}  // namespace

WindowFrontend::WindowFrontend(QString caption) : caption_(std::move(caption)) {
    // A coarse timer may fire 5 % late: a second on a 20-second wait.
    scriptTimer_.setTimerType(Qt::PreciseTimer);
    connect(&scriptTimer_, &QTimer::timeout, this, [this] {
        if (engine_) engine_->onScriptTimer();
    });
}

WindowFrontend::~WindowFrontend() = default;

void WindowFrontend::attach(Engine& engine, Display& display) {
    engine_ = &engine;
    display_ = &display;
    window_ = std::make_unique<ScriptWindow>(engine, display);
    display.painter = &painter_;
    display.present = [w = window_.get()] { w->Present(); };
}

int WindowFrontend::run() {
    Engine& engine = *engine_;
    if (display_->layers.create(window_->LayerScale())) {
        // All five layers start white; the settings then bring skin, place and title.
        display_->Compose({.copyBackground = true, .clearText = true});
        engine.LoadSettings();
        engine.StartScript();
    } else {
        window_->PlaceWindow(std::string());
        messageBox(msg::NoBufferMemory());
        requestClose();
    }
    // Without a start label, or when the user kept a window that failed, the window
    // lives on until it is closed; a restart from the begin area then runs the script.
    while (!engine.quit) {
        if (engine.running) {
            engine.RunScript();
        } else {
            pumpOneMessage();
            waitForEvents(10);
        }
    }
    engine.Shutdown();
    window_->hide();
    return engine.errorShown() ? 1 : 0;
}

void WindowFrontend::messageBox(const std::string& text) {
    ShowMessageBox(window_.get(), caption_, FromCp932(text), false);
}

bool WindowFrontend::askOkCancel(const std::string& text) {
    return ShowMessageBox(window_.get(), caption_, FromCp932(text), true);
}

bool WindowFrontend::inputDialog(const std::string& prompt, std::string& answer) {
    InputDialog dialog(window_.get(), FromCp932(prompt));
    const bool ok = dialog.exec() == QDialog::Accepted;
    answer = dialog.answer();
    return ok;
}

void WindowFrontend::showText(const std::string& mode, const std::string& text) {
    display_->ShowText(mode, text);
}

void WindowFrontend::clearDisplay() {
    display_->Clear();
}

void WindowFrontend::drawChoices() {
    display_->DrawChoices();
}

void WindowFrontend::setTitle(const std::string& text) {
    window_->SetTitle(text);
}

void WindowFrontend::loadSkin(const std::string& name) {
    window_->LoadSkin(name);
}

void WindowFrontend::placeWindow(const std::string& rectText) {
    window_->PlaceWindow(rectText);
}

void WindowFrontend::releaseDisplay() {
    display_->layers.release();
    window_->update();
}

void WindowFrontend::startScriptTimer(int milliseconds) {
    scriptTimer_.start(std::max(milliseconds, 0));
}

void WindowFrontend::killScriptTimer() {
    scriptTimer_.stop();
}

void WindowFrontend::pumpOneMessage() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WindowFrontend::waitForEvents(int milliseconds) {
    emit aboutToWait();
    QTimer wake;  // the longest wait, when nothing else happens
    wake.setSingleShot(true);
    wake.start(std::max(milliseconds, 0));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void WindowFrontend::sleepCommand(int milliseconds) {
    // A long sleep must not swallow the close button: events are handled meanwhile, and a
    // request to end that they bring ends the sleep. Qt counts the close button
    // (WM_DELETE_WINDOW) as input, so the window drops keys and clicks itself instead.
    QElapsedTimer clock;
    clock.start();
    const int requests = engine_ ? engine_->endRequests() : 0;
    window_->setInputPaused(true);
    while (!engine_ || engine_->endRequests() == requests) {
        const qint64 left = milliseconds - clock.elapsed();
        if (left <= 0) break;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, kSleepStepMs)));
    }
    window_->setInputPaused(false);
}

void WindowFrontend::requestClose() {
    window_->close();
}

void WindowFrontend::runModalProgress(const std::string& caption, const std::string& detail,
                                      ProgressTask& task) {
    RunDownloadDialog(window_.get(), caption, detail, task);
}

void WindowFrontend::postToUi(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

}  // namespace velmora
