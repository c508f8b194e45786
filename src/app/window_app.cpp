// Start of the window mode: Qt application, front end, engine, subsystems.
#include "app/window_app.h"

#include <QApplication>
#include <QFileInfo>

#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/text.h"
#include "window/display.h"
#include "window/qt_dialogs.h"
#include "window/qt_frontend.h"
#include "window/qt_icon.h"

namespace velmora {

int RunWindowApp(int argc, char** argv, const Options& options) {
    QApplication app(argc, argv);
    // The interpreter's loop is the program's loop; closing the window must not
    // end a Qt loop that is not running.
    app.setQuitOnLastWindowClosed(false);
    app.setFont(DialogFont());
    app.setWindowIcon(AppIcon());

    WindowFrontend frontend(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    Engine engine(frontend);
    InstallTrace(engine, options.trace);
    engine.setProgramPath(Utf8ToCp932(FindProgramPath(argv[0])));
    engine.setArguments(options.scriptArgs);
    Display display(engine);
    frontend.attach(engine, display);
    Subsystems subsystems(engine, display);
    return frontend.run();
}

}  // namespace velmora
