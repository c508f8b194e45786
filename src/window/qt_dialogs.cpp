// Message box, input dialog and About dialog.
#include "window/qt_dialogs.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

#include "window/qt_cp932.h"
#include "window/qt_icon.h"

namespace velmora {

namespace {

// Announces the dialog's frame as it is shown: the native window exists and is not yet
// mapped, so the window manager reads the type when it takes the window on.
class FixedFrameFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            AnnounceFixedFrame(*static_cast<QWidget*>(watched));
        return false;
    }
};

QPushButton* OkButton(QDialog* dialog) {
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    return ok;
}

}  // namespace

QFont DialogFont() {
    QFont f(QStringLiteral("IPAPGothic"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(9);
    return f;
}

void KeepFrameFixed(QDialog& dialog) {
    dialog.installEventFilter(new FixedFrameFilter(&dialog));
}

std::unique_ptr<QTranslator> InstallQtTranslations(const QLocale& locale) {
    auto texts = std::make_unique<QTranslator>();
    if (!texts->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        !QCoreApplication::installTranslator(texts.get()))
        return nullptr;
    return texts;
}

bool ShowMessageBox(QWidget* owner, const QString& caption, const QString& text, bool okCancel) {
    // A window not shown yet (a skin error at start-up) has no place to centre on: Qt
    // would put the box at its corner, so it goes to the middle of the screen instead.
    QWidget* over = owner && owner->isVisible() ? owner : nullptr;
    QMessageBox box(QMessageBox::Warning, caption, text,
                    okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, over);
    box.setWindowFlags(kFixedDialogFlags);
    KeepFrameFixed(box);
    box.setFont(DialogFont());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(okCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

QValidator::State Cp932LengthValidator::validate(QString& input, int& pos) const {
    const size_t limit = static_cast<size_t>(limit_);
    size_t bytes = ToCp932(input).size();
    // Text that does not fit was just typed or pasted before the cursor: as a limited edit
    // field does, keep as much of its beginning as fits, taking off whole characters.
    while (bytes > limit && pos > 0) {
        int start = pos - 1;
        if (start > 0 && input.at(start).isLowSurrogate() && input.at(start - 1).isHighSurrogate())
            --start;
        bytes -= ToCp932(input.mid(start, pos - start)).size();
        input.remove(start, pos - start);
        pos = start;
    }
    return bytes <= limit ? Acceptable : Invalid;
}

InputDialog::InputDialog(QWidget* owner, const QString& prompt)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.size(169, 71));

    prompt_ = new QLabel(prompt, this);
    prompt_->setTextFormat(Qt::PlainText);
    prompt_->setWordWrap(true);
    prompt_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    prompt_->setGeometry(du.rect(5, 5, 160, 25));  // a longer prompt is cut at the bottom

    edit_ = new QLineEdit(this);
    edit_->setValidator(new Cp932LengthValidator(kMaxAnswerBytes, edit_));
    edit_->setGeometry(du.rect(5, 35, 160, 15));

    OkButton(this)->setGeometry(du.rect(115, 55, 50, 14));
    edit_->setFocus();
    KeepFrameFixed(*this);
}

void InputDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    ClearNativeCaption(*this);  // before the window is mapped, so no name ever shows
    // The answer is typed at once, also where no window manager hands out the focus.
    activateWindow();
    edit_->setFocus();
}

std::string InputDialog::answer() const {
    return result() == Accepted ? ToCp932(edit_->text()) : std::string();
}

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner, kFixedDialogFlags) {
    setWindowTitle(QString::fromUtf8("バージョン"));
    setFont(DialogFont());
    const DialogUnits du(font());
    setFixedSize(du.size(123, 55));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    const QRect at = du.rect(7, 7, 0, 0);
    icon->setGeometry(at.x(), at.y(), 32, 32);

    auto* text = new QLabel(QStringLiteral("Quillet Version 1.0"), this);
    text->setTextFormat(Qt::PlainText);  // no mnemonic, no markup
    QRect r = du.rect(30, 5, 70, 8);
    r.setWidth(std::max(r.width(), text->sizeHint().width()));
    r.setHeight(std::max(r.height(), text->sizeHint().height()));
    text->setGeometry(r);

    OkButton(this)->setGeometry(du.rect(70, 35, 50, 14));
    KeepFrameFixed(*this);
}

}  // namespace velmora
