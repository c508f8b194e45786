// Frames, title and dialogs out to the browsers; their events into the window's logic.
#include "net/browser/window_mirror.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QJsonArray>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QWebSocket>

#include "window/display.h"
#include "window/qt_dialogs.h"
#include "window/qt_frontend.h"
#include "window/qt_script_window.h"

namespace velmora {

namespace {

QJsonObject RectFields(const QRect& r) {
    return {{"x", r.x()}, {"y", r.y()}, {"w", r.width()}, {"h", r.height()}};
}

// A label's words without its mnemonic marks ("&&" is a real ampersand).
QString WithoutMnemonic(QString t) {
    t.replace(QLatin1String("&&"), QChar(0xE000));
    t.remove(QLatin1Char('&'));
    t.replace(QChar(0xE000), QLatin1Char('&'));
    return t;
}

// Text typed in a browser, cut as the dialog's own field would cut it when typed there.
QString FittedText(const QLineEdit& edit, QString text) {
    text.truncate(edit.maxLength());
    const QValidator* v = edit.validator();
    while (v && !text.isEmpty()) {
        int pos = static_cast<int>(text.size());
        if (v->validate(text, pos) != QValidator::Invalid) break;
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    }
    return text;
}

}  // namespace

WindowMirror::WindowMirror(WindowFrontend& frontend, Display& display, BrowserServer& server)
    : window_(*frontend.window()), display_(display), server_(server) {
    auto shown = std::move(display_.present);
    display_.present = [this, shown = std::move(shown)] {
        if (shown) shown();
        presented();
    };
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, &WindowMirror::sendChanges);
    connect(&dialogPoll_, &QTimer::timeout, this, &WindowMirror::watchDialog);
    dialogPoll_.start(kMirrorDialogPollMs);
    // A frame held back for the rate goes when the script stops to wait: it has stopped
    // drawing, and the browser should see the last of it at once.
    connect(&frontend, &WindowFrontend::aboutToWait, this, [this] {
        if (!frameTimer_.isActive()) return;
        frameTimer_.stop();
        sendChanges();
    });
    connect(&window_, &QWidget::windowTitleChanged, this, [this](const QString& title) {
        server_.broadcast(TextMessage("title", {{"text", title}}), Skippable::No);
    });
    server_.onJoin = [this](QWebSocket* to) { sendWhole(to); };
    server_.onEvent = [this](QWebSocket* from, const BrowserEvent& e) { handle(from, e); };
    // A dialog that opens or closes is told at once, not at the next poll.
    qApp->installEventFilter(this);
}

WindowMirror::~WindowMirror() {
    qApp->removeEventFilter(this);
    server_.onJoin = nullptr;
    server_.onEvent = nullptr;
    server_.closeAll();
}

bool WindowMirror::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
        qobject_cast<QDialog*>(watched))
        QTimer::singleShot(0, this, &WindowMirror::watchDialog);
    return QObject::eventFilter(watched, event);
}

void WindowMirror::presented() {
    // Frames that follow each other closely are joined: the last of them goes when the
    // script stops to wait, or after kMirrorFrameMs while it keeps drawing.
    if (!frameTimer_.isActive()) frameTimer_.start(kMirrorFrameMs);
}

QJsonObject WindowMirror::windowFields() const {
    return {{"w", picture_.size().width()},
            {"h", picture_.size().height()},
            {"scale", picture_.scale()},
            {"title", window_.windowTitle()},
            {"about", WithoutMnemonic(ScriptWindow::AboutItemText())}};
}

void WindowMirror::sendChanges() {
    if (!display_.layers.ready) return;
    if (picture_.setOutline(QSize(window_.skinWidth(), window_.skinHeight()), window_.shape(),
                            display_.layers.scale))
        server_.broadcast(TextMessage("window", windowFields()), Skippable::No);
    const std::vector<FramePiece> pieces = picture_.takeChanges(display_.layers.screen);
    if (!pieces.empty()) server_.broadcast(FrameMessage(pieces), Skippable::Yes);
}

void WindowMirror::sendWhole(QWebSocket* to) {
    if (display_.layers.ready && picture_.size().isEmpty()) sendChanges();
    server_.send(to, TextMessage("window", windowFields()));
    if (const std::vector<FramePiece> whole = picture_.whole(); !whole.empty())
        server_.send(to, FrameMessage(whole));
    if (open_.dialog) {
        server_.send(to, TextMessage("dialog", open_.fields));
        server_.send(to, DialogPictureMessage(open_.id, open_.picture));
    }
}

void WindowMirror::watchDialog() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog && !dialog->isVisible()) dialog = nullptr;
    // A dialog that was open and is gone: its pointer is null now, like "no dialog".
    const bool changed =
        open_.id == 0 ? dialog != nullptr : open_.dialog.isNull() || dialog != open_.dialog;
    if (changed) {
        if (open_.id)
            server_.broadcast(TextMessage("dialogEnd", {{"id", open_.id}}), Skippable::No);
        open_ = OpenDialog{};
        if (!dialog) return;
        open_.dialog = dialog;
        open_.id = ++dialogsSeen_;
        QJsonArray buttons;
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
            if (!b->isVisible()) continue;
            QJsonObject f = RectFields(QRect(b->mapTo(dialog, QPoint(0, 0)), b->size()));
            f[QLatin1String("text")] = WithoutMnemonic(b->text());
            // Enter in the browser presses it, as in the window.
            auto* push = qobject_cast<QPushButton*>(b);
            f[QLatin1String("default")] = push && push->isDefault();
            buttons.append(f);
            open_.buttons.append(b);
        }
        open_.fields = RectFields(dialog->rect());
        open_.fields[QLatin1String("id")] = open_.id;
        open_.fields[QLatin1String("title")] = dialog->windowTitle();
        open_.fields[QLatin1String("buttons")] = buttons;
        for (QLineEdit* e : dialog->findChildren<QLineEdit*>()) {
            if (!e->isVisible()) continue;
            open_.edit = e;
            QJsonObject f = RectFields(QRect(e->mapTo(dialog, QPoint(0, 0)), e->size()));
            f[QLatin1String("text")] = e->text();
            // The page stops typing there; the bytes are cut here, as the field cuts them.
            if (qobject_cast<InputDialog*>(dialog))
                f[QLatin1String("max")] = InputDialog::kMaxAnswerBytes;
            open_.fields[QLatin1String("edit")] = f;
            break;
        }
        server_.broadcast(TextMessage("dialog", open_.fields), Skippable::No);
    }
    if (!open_.dialog) return;
    const QImage picture = open_.dialog->grab().toImage();
    if (picture == open_.picture) return;
    open_.picture = picture;
    server_.broadcast(DialogPictureMessage(open_.id, picture), Skippable::Yes);
}

void WindowMirror::handle(QWebSocket* from, const BrowserEvent& e) {
    if (e.kind == BrowserEvent::Kind::Answer) return answer(e);
    // While a dialog or a sleep holds the window, its keys and clicks go nowhere; so do
    // a browser's.
    if (QApplication::activeModalWidget() || window_.inputPaused() || !window_.isVisible()) return;
    Interaction& in = window_.interaction();
    const Point screen{window_.x() + e.at.x, window_.y() + e.at.y};
    switch (e.kind) {
        case BrowserEvent::Kind::Key:
            if (e.down)
                in.keyDown(e.key);
            else
                in.keyUp(e.key);
            break;
        case BrowserEvent::Kind::Pointer:
            if (e.phase == BrowserEvent::Phase::Down) {
                in.buttonDown(e.at, screen);
            } else if (e.phase == BrowserEvent::Phase::Up) {
                in.buttonUp(e.at);
            } else {
                const bool hand = in.pointerMove(e.at, screen);
                server_.send(from, TextMessage("cursor", {{"hand", hand}}));
            }
            break;
        case BrowserEvent::Kind::About:
            window_.ShowAbout();
            break;
        case BrowserEvent::Kind::Answer:
            break;
    }
}

void WindowMirror::answer(const BrowserEvent& e) {
    watchDialog();  // the dialog may have changed since the browser saw it
    if (!open_.dialog || e.dialog != open_.id || e.button >= open_.buttons.size()) return;
    if (open_.edit) open_.edit->setText(FittedText(*open_.edit, QString::fromStdString(e.text)));
    if (QAbstractButton* b = open_.buttons[e.button]) b->click();
}

}  // namespace velmora
