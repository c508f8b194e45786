// `2ksetup1`: let the user pick the set-up program. In the window the standard Qt
// open-file dialog asks, owned by the main window; on the console the question goes to
// the terminal, and without one the choice counts as cancelled.
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/text.h"
#include "sixnet.h"

namespace sixnet {

namespace {

const char kDefaultName[] = "setup.exe";
const char kDefaultSuffix[] = "exe";

QWidget* MainWindow() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip)
            return w;
    return nullptr;
}

// A typed name need not exist; one without a suffix gets ".exe" as in the dialog.
QString CompleteName(QString typed) {
    if (typed.isEmpty()) typed = kDefaultName;
    QFileInfo file(typed);
    if (file.suffix().isEmpty()) file.setFile(typed + "." + kDefaultSuffix);
    return file.absoluteFilePath();
}

bool AskWithDialog(QString& chosen) {
    // Heap and guarded: closing the program from inside the dialog may delete its owner.
    QPointer<QFileDialog> dialog = new QFileDialog(MainWindow());
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(kDefaultSuffix);
    dialog->setNameFilters({"Exe Files(*.exe)", "All Files (*)"});
    dialog->selectFile(kDefaultName);
    bool ok = dialog->exec() == QDialog::Accepted;
    if (!dialog) return false;
    QStringList files = dialog->selectedFiles();
    delete dialog.data();
    if (!ok || files.isEmpty()) return false;
    chosen = files.first();
    return true;
}

// One line from standard input, read a byte at a time so that nothing after it is
// taken from the console's own reading. False at end of input.
bool ReadTerminalLine(std::string& line) {
    line.clear();
    char c;
    for (;;) {
        ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !line.empty();
        if (c == '\n') break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool AskOnTerminal(QString& chosen) {
    if (!isatty(STDIN_FILENO)) {
        // Answers piped into the console belong to the script's own questions. The note
        // is for whoever traces the script; standard error is the script's own otherwise.
        if (std::getenv(velmora::kTraceEnvironment))
            std::fputs("sixnet: no terminal to choose the set-up program; cancelled\n", stderr);
        return false;
    }
    std::printf("Open file [%s]: ", kDefaultName);
    std::fflush(stdout);
    std::string typed;
    if (!ReadTerminalLine(typed)) return false;
    chosen = CompleteName(QString::fromStdString(typed));
    return true;
}

}  // namespace

void ChooseSetupProgram(Host& host) {
    QString chosen;
    bool windowed = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (!(windowed ? AskWithDialog(chosen) : AskOnTerminal(chosen))) {
        host.var1() = "NG";
        return;
    }
    host.var2() = velmora::Utf8ToCp932(chosen.toStdString());
    host.var1() = "OK";
}

}  // namespace sixnet
