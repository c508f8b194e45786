// Start of the window mode: Qt application, front end, engine, subsystems.
#include "app/window_app.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

#include "app/stop_signals.h"
#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/text.h"
#include "window/display.h"
#include "window/qt_dialogs.h"
#include "window/qt_frontend.h"
#include "window/qt_icon.h"

namespace velmora {

namespace {

// How soon the window answers SIGINT or SIGTERM.
constexpr int kStopSignalPollMs = 50;

}  // namespace

int RunWindowApp(int argc, char** argv, const Options& options) {
    QApplication app(argc, argv);
    // The interpreter's loop is the program's loop; closing the window must not
    // end a Qt loop that is not running.
    app.setQuitOnLastWindowClosed(false);
    app.setFont(DialogFont());
    app.setWindowIcon(AppIcon());

    WindowFrontend frontend(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    Engine engine(frontend);
    engine.setProgramPath(Utf8ToCp932(FindProgramPath(argv[0])));
    engine.setArguments(options.scriptArgs);
    Display display(engine);
    frontend.attach(engine, display);
    Subsystems subsystems(engine, display);
    // SIGINT and SIGTERM close the window as the exit area does, without asking; the timer
    // also runs inside dialogs and sleeps, so a signal is never held up by them.
    InstallStopSignalHandlers();
    QTimer stopSignalPoll;
    QObject::connect(&stopSignalPoll, &QTimer::timeout, [&] {
        if (!StopRequested()) return;
        if (!engine.exiting()) {
            engine.running = false;
            engine.Shutdown(false);
            frontend.requestClose();
        }
        // A dialog the script had open (input, a message) would keep the ended program
        // waiting for an answer; closing counts as Cancel.
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    stopSignalPoll.start(kStopSignalPollMs);
    return frontend.run();
}

}  // namespace velmora
