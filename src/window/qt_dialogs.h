// The program's modal boxes: the standard message box, InputDialog for the `input`
// command and AboutDialog from the window's context menu. Controls are placed in
// dialog units of the dialog font, so the boxes keep their proportions.
#pragma once

#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QRect>
#include <QTranslator>
#include <QValidator>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

// IPAPGothic 9 point, the font of every dialog.
QFont DialogFont();

// The frame of a fixed-size dialog: a title and a close box, no minimise or maximise
// (window managers that read the Motif hints then offer neither; openbox needs
// KeepFrameFixed as well).
constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Keeps minimise and maximise off the frame of a fixed-size dialog under openbox, which
// ignores those bits of the Motif hints and removes minimise only from toolbar and menu
// windows: there the dialog is announced as a toolbar each time it is shown (it stays a
// transient, modal box; maximise already goes with the fixed size). Other window managers
// see the dialog as Qt announces it.
void KeepFrameFixed(QDialog& dialog);
// The part of KeepFrameFixed that talks to X: on openbox, marks the created, unmapped
// window. Does nothing elsewhere.
void AnnounceFixedFrame(QWidget& window);

// Installs Qt's own texts (OK, Cancel) for the locale, from Debian's qt6-translations-l10n;
// they stay while the returned translator lives. Null when there are none for it.
std::unique_ptr<QTranslator> InstallQtTranslations(const QLocale& locale);

// Converts dialog units (a quarter of the average character width, an eighth of the
// line height) to pixels of the dialog font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        QFontMetrics fm(font);
        const QString sample =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        x_ = fm.horizontalAdvance(sample) / 52.0 / 4.0;
        y_ = fm.height() / 8.0;
    }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(qRound(left * x_), qRound(top * y_), qRound(width * x_), qRound(height * y_));
    }
    QSize size(int width, int height) const { return rect(0, 0, width, height).size(); }

private:
    double x_ = 1.5, y_ = 1.5;
};

// Leaves the window's caption bar without text. An empty title is not enough: Qt shows
// the program's name in its place. On X the title properties are emptied on the window
// (call once it exists, before it is shown); elsewhere Qt's caption stays.
void ClearNativeCaption(QWidget& window);

// The standard message box: warning icon, OK or OK and Cancel; true for OK.
bool ShowMessageBox(QWidget* owner, const QString& caption, const QString& text, bool okCancel);

// Accepts text whose CP932 form is at most `limit` bytes: a double-byte character
// counts twice, as the scripts that read the answer see it.
class Cp932LengthValidator : public QValidator {
public:
    Cp932LengthValidator(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}
    State validate(QString& input, int& pos) const override;

private:
    int limit_;
};

class InputDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxAnswerBytes = 250;

    InputDialog(QWidget* owner, const QString& prompt);
    std::string answer() const;  // CP932; empty unless the dialog was accepted

    QLabel* promptLabel() const { return prompt_; }
    QLineEdit* edit() const { return edit_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* prompt_;
    QLineEdit* edit_;
};

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* owner);
};

}  // namespace velmora
