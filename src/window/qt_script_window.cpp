// The main window's skin, placement, painting and event routing.
#include "window/qt_script_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <cstdio>

#include "engine/engine.h"
#include "engine/frontend.h"
#include "window/display.h"
#include "window/messages.h"
#include "window/placement.h"
#include "window/qt_cp932.h"
#include "window/qt_dialogs.h"
#include "window/qt_icon.h"
#include "window/qt_skin.h"

namespace velmora {

namespace {

Key ToKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Left:
            return Key::Left;
        case Qt::Key_Up:
            return Key::Up;
        case Qt::Key_Right:
            return Key::Right;
        case Qt::Key_Down:
            return Key::Down;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return Key::Enter;
        case Qt::Key_Space:
            return Key::Space;
        case Qt::Key_Escape:
            return Key::Escape;
        default:
            return Key::Other;
    }
}

Point ClientPoint(const QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    return Point{p.x(), p.y()};
}

Point ScreenPoint(const QMouseEvent* e) {
    const QPoint p = e->globalPosition().toPoint();
    return Point{p.x(), p.y()};
}

// A Wayland client cannot place its window: the compositor does, and keeps it to itself.
bool OnWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

ScriptWindow::ScriptWindow(Engine& engine, Display& display)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      engine_(engine),
      display_(display),
      interaction_(engine, display, *this) {
    setWindowIcon(AppIcon());
    setMouseTracking(true);  // hover moves the highlight and shows the hand
    setFocusPolicy(Qt::StrongFocus);
    // Wayland has no window shapes: what lies outside the mask is left transparent instead.
    if (OnWayland()) setAttribute(Qt::WA_TranslucentBackground);
    resize(skinWidth_, skinHeight_);
}

QString ScriptWindow::AboutItemText() {
    return QString::fromUtf8("Quillet のﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

void ScriptWindow::LoadSkin(const std::string& name) {
    std::string file = name.empty() ? engine_.vars[kBackground] : name;
    if (file.empty()) return;
    file = engine_.resolvePath(file);
    const SkinFile skin = ReadSkinFile(QString::fromStdString(NativePath(file)));
    if (skin.status != SkinFile::Status::Ok) {
        engine_.frontend().messageBox(skin.status == SkinFile::Status::LoadFailed
                                          ? msg::SkinLoadFailed(file)
                                          : msg::BmpDataError());
        engine_.running = false;  // the script waits; window and layers stay as they were
        return;
    }
    skinWidth_ = skin.image.width();
    skinHeight_ = skin.image.height();
    shape_ = SkinRegion(skin.image);
    skinLoaded_ = true;
    ApplyWindowShape(*this, shape_);
    CopySkinToLayer(skin.image, display_.layers.background);
    display_.Compose({.copyBackground = true, .present = true});
    resize(skinWidth_, skinHeight_);
}

void ScriptWindow::showEvent(QShowEvent* event) {
    // The native window exists now and is not yet mapped: it appears already cut (on X the
    // shape waits for this moment).
    if (skinLoaded_) ApplyWindowShape(*this, shape_);
    if (QWindow* native = windowHandle()) native->installEventFilter(this);
    QWidget::showEvent(event);
}

bool ScriptWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            if (inputPaused_) return true;
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

bool ScriptWindow::eventFilter(QObject* watched, QEvent* event) {
    // The exit section runs inside the first close, and Qt drops the widget's further
    // closes until it returns; one more close from the user must still end a sleep there.
    if (event->type() == QEvent::Close && engine_.exiting()) engine_.Shutdown();
    return QWidget::eventFilter(watched, event);
}

void ScriptWindow::PlaceWindow(const std::string& rectText) {
    const std::string& text = rectText.empty() ? engine_.vars[kWindowsPos] : rectText;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const Placement p =
        ComputePlacement(text, screen.width(), screen.height(), skinWidth_, skinHeight_);
    static bool toldWayland = false;
    if (OnWayland() && p.fromSetting && !toldWayland) {
        toldWayland = true;
        std::fprintf(stderr,
                     "velmora: windows_pos cannot place the window: under Wayland the "
                     "compositor places it (velmora runs on X when DISPLAY names a server)\n");
    }
    setGeometry(p.x, p.y, p.width, p.height);
    show();
    raise();
    activateWindow();
}

void ScriptWindow::SetTitle(const std::string& text) {
    setWindowTitle(FromCp932(text.empty() ? engine_.vars[kTitle] : text));
}

int ScriptWindow::LayerScale() const {
    return LayerScaleFor(devicePixelRatioF());
}

void ScriptWindow::Present() {
    update();
}

void ScriptWindow::ShowAbout() {
    AboutDialog about(this);
    about.exec();
}

void ScriptWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (isMinimized()) {
        const int size = 32;
        p.drawPixmap((width() - size + 1) / 2, (height() - size + 1) / 2,
                     AppIcon().pixmap(size, size));
        return;
    }
    // Painting never composes: it shows the last frame, and nothing once released.
    if (!display_.layers.ready) return;
    // X cuts the window to its mask; a Wayland window is only as transparent as it paints.
    if (OnWayland() && !mask().isEmpty()) p.setClipRegion(mask());
    const Layer& screen = display_.layers.screen;
    QImage frame(screen.pixels.data(), screen.width(), screen.height(), screen.stride(),
                 QImage::Format_BGR888);
    frame.setDevicePixelRatio(screen.scale());
    // At a fractional ratio (1.5 on a layer of scale 2) the frame is scaled down: smoothly,
    // so no row or column of the text is dropped.
    if (devicePixelRatioF() < screen.scale()) p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(0, 0, frame);
}

void ScriptWindow::keyPressEvent(QKeyEvent* event) {
    interaction_.keyDown(ToKey(event->key()));
}

void ScriptWindow::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats its press, never its release.
    if (event->isAutoRepeat()) return;
    interaction_.keyUp(ToKey(event->key()));
}

void ScriptWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        interaction_.buttonDown(ClientPoint(event), ScreenPoint(event));
}

void ScriptWindow::mouseMoveEvent(QMouseEvent* event) {
    const bool hand = interaction_.pointerMove(ClientPoint(event), ScreenPoint(event));
    setCursor(hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ScriptWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) interaction_.buttonUp(ClientPoint(event));
}

void ScriptWindow::closeEvent(QCloseEvent* event) {
    if (engine_.Shutdown(Confirm::Ask))
        event->accept();
    else
        event->ignore();
}

void ScriptWindow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(AboutItemText(), this, &ScriptWindow::ShowAbout);
    menu.exec(event->globalPos());
}

bool ScriptWindow::focusNextPrevChild(bool) {
    return false;  // Tab is an ordinary key here: it disarms Enter and Space
}

Point ScriptWindow::windowPos() const {
    return Point{x(), y()};
}

void ScriptWindow::moveWindow(Point topLeft) {
    move(topLeft.x, topLeft.y);
}

void ScriptWindow::requestClose() {
    close();
}

}  // namespace velmora
