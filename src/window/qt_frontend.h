// The window front end: the engine's Frontend through Qt. It owns ScriptWindow, the
// text painter and the script timer, shows the message and input boxes, dispatches
// events for the interpreter's loop, and runs the window's start-up in its fixed order.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "engine/frontend.h"
#include "window/qt_text_painter.h"

namespace velmora {

class Display;
class Engine;
class ScriptWindow;

class WindowFrontend : public QObject, public Frontend {
    Q_OBJECT
public:
    // `caption` titles the message boxes: the executable's name.
    explicit WindowFrontend(QString caption);
    ~WindowFrontend() override;

    // Creates the window for the engine and display; call once, before run().
    void attach(Engine& engine, Display& display);
    // Layers, settings, skin, placement and title, then the interpreter, which returns
    // at shutdown. Returns the program's exit status.
    int run();

    ScriptWindow* window() const { return window_.get(); }

    void messageBox(const std::string& text) override;
    bool askOkCancel(const std::string& text) override;
    bool inputDialog(const std::string& prompt, std::string& answer) override;
    void showText(const std::string& mode, const std::string& text) override;
    void clearDisplay() override;
    void drawChoices() override;
    void setTitle(const std::string& text) override;
    void loadSkin(const std::string& name) override;
    void placeWindow(const std::string& rectText) override;
    void releaseDisplay() override;
    void startScriptTimer(int milliseconds) override;
    void killScriptTimer() override;
    void pumpOneMessage() override;
    // Sleeps in Qt's event loop, so a key, a click or a browser's message wakes it.
    void waitForEvents(int milliseconds) override;
    // Keeps painting and hears a close request; clicks and keys wait for the end.
    void sleepCommand(int milliseconds) override;
    void requestClose() override;
    void postToUi(std::function<void()> fn) override;
    // DownloadDialog, modal over the main window.
    void runModalProgress(const std::string& caption, const std::string& detail,
                          ProgressTask& task) override;

signals:
    // The script has stopped running and the interpreter is about to wait for events.
    void aboutToWait();

private:
    QString caption_;
    Engine* engine_ = nullptr;
    Display* display_ = nullptr;
    std::unique_ptr<ScriptWindow> window_;
    QtTextPainter painter_;
    QTimer scriptTimer_;
};

}  // namespace velmora
