// Start of the window mode: Qt application, front end, engine, subsystems.
#include "app/window_app.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/stop_signals.h"
#include "app/subsystems.h"
#include "engine/engine.h"
#include "engine/text.h"
#include "net/browser/browser_server.h"
#include "net/browser/serve_address.h"
#include "net/browser/window_mirror.h"
#include "window/display.h"
#include "window/qt_dialogs.h"
#include "window/qt_frontend.h"
#include "window/qt_icon.h"

namespace velmora {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool WaylandPluginInstalled() {
    QStringList dirs = QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH")).split(QLatin1Char(':'));
    dirs << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    for (const QString& dir : dirs)
        if (!dir.isEmpty() && QDir(dir).exists(QStringLiteral("platforms/libqwayland-generic.so")))
            return true;
    return false;
}

// How soon the window answers SIGINT or SIGTERM.
constexpr int kStopSignalPollMs = 50;

// What to say when Qt cannot start, and Qt's own handler for its other messages.
std::string cannotStart;
QtMessageHandler qtUsualHandler = nullptr;

// Qt aborts (and dumps core) when its platform cannot start although our own check found a
// display: the X server went away or refused Qt's connection. Say so, as when no display
// answers, and end with status 1.
void ExitWhenQtCannotStart(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type != QtFatalMsg) {
        if (qtUsualHandler) qtUsualHandler(type, context, text);
        return;
    }
    std::fprintf(stderr, "velmora: %s\n", cannotStart.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

// Tells where browsers find the window: every address with the token, and the first as a
// QR code when a person is looking at the terminal.
void AnnounceServer(const BrowserServer& server, const QHostAddress& address) {
    const QStringList hosts = ReachableHosts(address);
    std::printf("velmora: the window is served at\n");
    for (const QString& host : hosts) std::printf("  %s\n", qPrintable(server.pageUrl(host)));
    if (!hosts.isEmpty() && isatty(STDOUT_FILENO))
        std::fputs(TerminalQrCode(server.pageUrl(hosts.front()).toStdString()).c_str(), stdout);
    std::fflush(stdout);
}

// Served alone, the window lives on Qt's offscreen platform, which says at each shape and
// raise that it cannot do them: nobody is there to see either.
void QuietOffscreenHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (qtUsualHandler) qtUsualHandler(type, context, text);
}

}  // namespace

int RunWindowApp(int argc, char** argv, const Options& options) {
    std::optional<ServeAddress> serveAt;
    if (options.browsers != Options::Browsers::Off) {
        std::string error;
        serveAt = ParseServeAddress(options.serveAt, error);
        if (!serveAt) {
            std::fprintf(stderr, "velmora: %s\n", error.c_str());
            return 2;
        }
    }
    // Served alone, the window is drawn off screen: no display is needed or used.
    const std::string userPlatform = Env("QT_QPA_PLATFORM");
    const bool scaleChosen = !Env("QT_SCALE_FACTOR").empty();
    if (options.browsers == Options::Browsers::Serve) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Drawn at twice the window's pixels, text stays sharp on a phone's dense screen.
        if (!scaleChosen) setenv("QT_SCALE_FACTOR", "2", 1);
    }
    DisplayEnvironment env;
    env.qtPlatform = Env("QT_QPA_PLATFORM");
    env.xDisplay = Env("DISPLAY");
    env.xReachable = env.qtPlatform.empty() && XServerAnswers(env.xDisplay);
    env.waylandDisplay = Env("WAYLAND_DISPLAY");
    env.waylandPlugin = env.qtPlatform.empty() && WaylandPluginInstalled();
    const PlatformChoice choice = ChoosePlatform(env);
    if (!choice.error.empty()) {
        std::fprintf(stderr, "velmora: %s\n", choice.error.c_str());
        return 1;
    }
    // Set only while Qt starts, so that programs started by the script choose their own.
    if (!choice.platform.empty()) setenv("QT_QPA_PLATFORM", choice.platform.c_str(), 1);
    cannotStart = choice.platform == "wayland"
                      ? "cannot connect to the Wayland display " + env.waylandDisplay
                      : "cannot connect to the X display " + env.xDisplay;
    // A platform the user chose keeps Qt's own account of its failure.
    if (!choice.platform.empty()) qtUsualHandler = qInstallMessageHandler(ExitWhenQtCannotStart);
    QApplication app(argc, argv);
    if (!choice.platform.empty()) qInstallMessageHandler(qtUsualHandler);
    if (options.browsers == Options::Browsers::Serve)
        qtUsualHandler = qInstallMessageHandler(QuietOffscreenHandler);
    if (!choice.platform.empty()) unsetenv("QT_QPA_PLATFORM");
    // Programs the script starts choose their own platform, as without --serve.
    if (options.browsers == Options::Browsers::Serve) {
        if (userPlatform.empty())
            unsetenv("QT_QPA_PLATFORM");
        else
            setenv("QT_QPA_PLATFORM", userPlatform.c_str(), 1);
        if (!scaleChosen) unsetenv("QT_SCALE_FACTOR");
    }
    // The interpreter's loop is the program's loop; closing the window must not
    // end a Qt loop that is not running.
    app.setQuitOnLastWindowClosed(false);
    app.setFont(DialogFont());
    app.setWindowIcon(AppIcon());
    // Qt's own texts (OK, Cancel) in the user's language, beside the script's Japanese.
    const std::unique_ptr<QTranslator> qtTexts = InstallQtTranslations(QLocale::system());

    WindowFrontend frontend(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
    Engine engine(frontend);
    InstallTrace(engine, options.trace);
    engine.setProgramPath(Utf8ToCp932(FindProgramPath(argv[0])));
    engine.setArguments(options.scriptArgs);
    Display display(engine);
    frontend.attach(engine, display);
    Subsystems subsystems(engine, display);
    BrowserServer browserServer;
    std::unique_ptr<WindowMirror> mirror;
    if (serveAt) {
        QString error;
        if (!browserServer.start(serveAt->address, serveAt->port, error)) {
            std::fprintf(stderr, "velmora: cannot serve the window at %s: %s\n",
                         options.serveAt.c_str(), qPrintable(error));
            return 1;
        }
        mirror = std::make_unique<WindowMirror>(frontend, display, browserServer);
        AnnounceServer(browserServer, serveAt->address);
    }
    // SIGINT, SIGTERM and SIGHUP close the window as the exit area does, without asking;
    // the timer also runs inside dialogs and sleeps, so a signal is never held up by them.
    InstallStopSignalHandlers();
    QTimer stopSignalPoll;
    QObject::connect(&stopSignalPoll, &QTimer::timeout, [&] {
        // Taking the signal clears it: a second one while the exit section runs cuts it short.
        if (!StopRequested().exchange(false)) return;
        const bool first = !engine.exiting();
        engine.running = false;
        engine.Shutdown();
        if (first) frontend.requestClose();
        // A dialog the script had open (input, a message) would keep the ended program
        // waiting for an answer; closing counts as Cancel.
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    stopSignalPoll.start(kStopSignalPollMs);
    return frontend.run();
}

}  // namespace velmora
