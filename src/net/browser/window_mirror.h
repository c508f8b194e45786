// WindowMirror shows the program's window to the browsers of a BrowserServer and takes
// their keys, taps and answers as the window's own: it follows each presented frame, the
// title and the modal dialogs, and sends only what changed.
#pragma once

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "net/browser/browser_server.h"
#include "net/browser/served_picture.h"

class QAbstractButton;
class QDialog;
class QLineEdit;

namespace velmora {

class Display;
class ScriptWindow;
class WindowFrontend;

// The longest a frame waits while the script keeps drawing; its frames meanwhile are
// joined, and the last one goes as soon as the script waits.
constexpr int kMirrorFrameMs = 16;
// How often an open dialog's picture is looked at (the download's progress moves).
constexpr int kMirrorDialogPollMs = 100;

class WindowMirror : public QObject {
    Q_OBJECT
public:
    // Hooks into the front end's window and display; all must outlive the mirror.
    WindowMirror(WindowFrontend& frontend, Display& display, BrowserServer& server);
    ~WindowMirror() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct OpenDialog {
        QPointer<QDialog> dialog;
        int id = 0;
        QJsonObject fields;
        QList<QPointer<QAbstractButton>> buttons;
        QPointer<QLineEdit> edit;
        QImage picture;
    };

    void presented();
    void sendChanges();
    void sendWhole(QWebSocket* to);
    void watchDialog();
    void handle(QWebSocket* from, const BrowserEvent& event);
    void answer(const BrowserEvent& event);
    QJsonObject windowFields() const;

    ScriptWindow& window_;
    Display& display_;
    BrowserServer& server_;
    ServedPicture picture_;
    QTimer frameTimer_, dialogPoll_;
    OpenDialog open_;
    int dialogsSeen_ = 0;
};

}  // namespace velmora
