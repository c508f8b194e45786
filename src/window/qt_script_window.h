// ScriptWindow, the program's one window: borderless, top-most, with its own task-bar
// entry, cut to the shape of the skin. It paints the last composed frame, hands keys and
// pointer to Interaction, offers the About item on a right click, and sends every close
// through the engine's Shutdown.
#pragma once

#include <QRegion>
#include <QWidget>
#include <string>

#include "window/interaction.h"

namespace velmora {

class Display;
class Engine;

class ScriptWindow : public QWidget, private WindowHost {
    Q_OBJECT
public:
    ScriptWindow(Engine& engine, Display& display);

    // Loads a BMP skin (empty name: the `background` setting), cuts the window to it,
    // puts it on the background layer and sizes the window to it.
    void LoadSkin(const std::string& name);
    // Places and shows the window from a rectangle text (empty: `windows_pos`).
    void PlaceWindow(const std::string& rectText);
    // Sets the caption (empty: the `title` setting); it shows on the task bar.
    void SetTitle(const std::string& text);
    // The layers' scale for the screen the window goes to: its pixel ratio rounded up.
    int LayerScale() const;
    // Shows the screen layer; called after every composition that presents.
    void Present();
    void ShowAbout();
    // While paused (a `sleep`), keys and clicks are dropped; closing still comes through.
    void setInputPaused(bool paused) { inputPaused_ = paused; }
    bool inputPaused() const { return inputPaused_; }

    int skinWidth() const { return skinWidth_; }
    int skinHeight() const { return skinHeight_; }
    const QRegion& shape() const { return shape_; }
    Interaction& interaction() { return interaction_; }

    // The context menu's item, with its mnemonic.
    static QString AboutItemText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    Point windowPos() const override;
    void moveWindow(Point topLeft) override;
    void requestClose() override;

    Engine& engine_;
    Display& display_;
    Interaction interaction_;
    int skinWidth_ = 300, skinHeight_ = 100;  // until a skin is loaded
    QRegion shape_;
    bool skinLoaded_ = false;  // shape_ holds a skin's shape (before that the window is whole)
    bool inputPaused_ = false;
};

}  // namespace velmora
