// DownloadDialog: the window front end's modal progress display for the download
// command. It starts the task as it opens and shows the caption, the URL and the status
// the worker publishes, refreshed while the worker runs, on a panel that fills like a
// progress bar when the task knows its total; it closes 100 ms after the worker ends. Cancel,
// Enter, Escape and the close box all start the close sequence, which cancels an unfinished
// transfer. The dialog never talks to the worker thread: it only reads the task's status.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>

#include "engine/frontend.h"

class QLabel;
class QPushButton;

namespace velmora {

class StatusPanel;

class DownloadDialog : public QDialog {
    Q_OBJECT

public:
    // Texts are CP932. The dialog is modal over owner (the main window; null in tests).
    DownloadDialog(QWidget* owner, const std::string& caption, const std::string& detail,
                   ProgressTask& task);
    ~DownloadDialog() override;

    // Cancel button, Enter (Cancel is the default button), Escape and the close box.
    void reject() override;

private:
    void refresh();
    void finish(int result);
    void layOut();

    ProgressTask& task_;
    QLabel* url_;
    StatusPanel* status_;
    QPushButton* cancel_;
    QTimer refreshTimer_;
    QTimer closeTimer_;
    std::string shown_;
    bool closing_ = false;
};

// What the window front end's runModalProgress does: runs the dialog until the task has
// finished or was cancelled, and leaves the task closed.
void RunDownloadDialog(QWidget* owner, const std::string& caption, const std::string& detail,
                       ProgressTask& task);

}  // namespace velmora
