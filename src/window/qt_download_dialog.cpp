// The download progress dialog, laid out in dialog units of the dialog font like the
// program's other dialogs.
#include "window/qt_download_dialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <optional>

#include "window/qt_cp932.h"
#include "window/qt_dialogs.h"

namespace velmora {

namespace {

// How often the status is copied from the task while the dialog is open.
constexpr int kRefreshMs = 30;
// The final status stays this long before the dialog closes by itself.
constexpr int kCloseDelayMs = 100;

}  // namespace

// The status text on a sunken panel whose left part is filled by the share done; the text
// is drawn in the highlight's own colour where it crosses the filled part.
class StatusPanel : public QLabel {
public:
    using QLabel::QLabel;

    // Nothing: the share is unknown and the panel shows the text alone.
    void setPercent(std::optional<int> percent) {
        if (percent == percent_) return;
        percent_ = percent;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!percent_) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        drawFrame(&painter);
        QRect inside = contentsRect();
        QRect filled = inside;
        filled.setWidth(inside.width() * *percent_ / 100);
        painter.fillRect(filled, palette().highlight());
        painter.save();
        painter.setClipRect(inside.adjusted(filled.width(), 0, 0, 0));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(inside, static_cast<int>(alignment()), text());
        painter.restore();
        painter.setClipRect(filled);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(inside, static_cast<int>(alignment()), text());
    }

private:
    std::optional<int> percent_;
};

DownloadDialog::DownloadDialog(QWidget* owner, const std::string& caption,
                               const std::string& detail, ProgressTask& task)
    : QDialog(owner, kFixedDialogFlags), task_(task) {
    setWindowTitle(FromCp932(caption));
    setWindowModality(Qt::ApplicationModal);
    setFont(DialogFont());

    url_ = new QLabel(FromCp932(detail), this);
    url_->setObjectName("url");
    url_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_ = new StatusPanel(this);
    status_->setObjectName("status");
    status_->setAlignment(Qt::AlignCenter);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("cancel");
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, &DownloadDialog::reject);
    layOut();
    KeepFrameFixed(*this);

    connect(&refreshTimer_, &QTimer::timeout, this, &DownloadDialog::refresh);
    closeTimer_.setSingleShot(true);
    connect(&closeTimer_, &QTimer::timeout, this, [this] { finish(QDialog::Accepted); });
    refreshTimer_.start(kRefreshMs);
    task_.start();
    refresh();
}

DownloadDialog::~DownloadDialog() {
    task_.close();
}

void DownloadDialog::layOut() {
    DialogUnits du(font());
    setFixedSize(du.size(163, 65));
    url_->setGeometry(du.rect(5, 5, 155, 15));
    status_->setGeometry(du.rect(5, 20, 155, 15));
    cancel_->setGeometry(du.rect(55, 45, 50, 15));
}

void DownloadDialog::refresh() {
    std::string status = task_.statusText();
    if (status != shown_) {
        shown_ = status;
        status_->setText(FromCp932(status));
    }
    status_->setPercent(task_.amount().percent());
    if (task_.finished() && !closing_ && !closeTimer_.isActive()) closeTimer_.start(kCloseDelayMs);
}

void DownloadDialog::reject() {
    finish(QDialog::Rejected);
}

// The close sequence; whatever starts it, it runs once.
void DownloadDialog::finish(int result) {
    if (closing_) return;
    closing_ = true;
    closeTimer_.stop();
    // Cancelling waits for the worker while events go on, so the status keeps showing.
    task_.close();
    refreshTimer_.stop();
    refresh();
    done(result);
}

void RunDownloadDialog(QWidget* owner, const std::string& caption, const std::string& detail,
                       ProgressTask& task) {
    DownloadDialog dialog(owner, caption, detail, task);
    dialog.exec();
    task.close();
}

}  // namespace velmora
