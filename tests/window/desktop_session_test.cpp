// The real program in today's desktop sessions: a headless weston with XWayland (velmora
// picks X by itself and is found, placed and shaped there), a Wayland-only weston (it runs,
// and what Wayland cannot do fails with a reason), and on a private Xvfb display scaling
// and the input dialog.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>

#include "engine/text.h"
#include "http_test_server.h"
#include "process.h"
#include "window_support.h"
#include "x11_support.h"

// Xlib last: its macros clash with the Qt headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace velmora::test {
namespace {

constexpr int kWait = 15000;
constexpr std::uint32_t kBackdrop = 0x00C000, kBody = 0xF0F0E0, kBand = 0x204080;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

constexpr QRgb kCut = 0xFF00FF;

// 300 x 200 or so: the cut colour around a body with a dark band on top, a 20 x 20 hole
// at (250, 150), and tabs of body reaching the bottom edge (x 100 to 120) and the right
// edge (y 50 to 60).
QImage Skin(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(kCut);
    for (int y = 10; y < height - 10; ++y)
        for (int x = 10; x < width - 10; ++x) img.setPixel(x, y, y < 30 ? kBand : kBody);
    for (int y = 150; y < 170; ++y)
        for (int x = 250; x < 270; ++x) img.setPixel(x, y, kCut);
    for (int y = height - 10; y < height; ++y)
        for (int x = 100; x < 120; ++x) img.setPixel(x, y, kBody);
    for (int y = 50; y < 60; ++y)
        for (int x = width - 10; x < width; ++x) img.setPixel(x, y, kBody);
    return img;
}

struct SkinPoint {
    int x, y;
    bool inside;
};
// Points of the skin at least 4 pixels from any edge of its shape.
const SkinPoint kSkinPoints[] = {
    {4, 4, false},    {150, 5, false},   {295, 100, false}, {15, 15, true},
    {150, 100, true}, {260, 160, false}, {245, 160, true},  {275, 160, true},
};

// The window at (100, 100) the size of the skin.
void WriteProgram(const ScriptDir& folder, const std::string& script,
                  const QImage& skin = Skin(300, 200)) {
    folder.writeBytes("skin.bmp", MakeBmp(skin, 24));
    folder.writeBytes("variable.txt", "[default]\nbackground=skin.bmp\nwindows_pos=100,100," +
                                          std::to_string(100 + skin.width()) + "," +
                                          std::to_string(100 + skin.height()) +
                                          "\ntitle=e2e\n"
                                          "text_pos=20,40,280,100\nchoice_pos1=20,110,200,130\n"
                                          "choice_pos2=20,130,200,150\nchoice_pos3=20,150,200,"
                                          "170\n");
    folder.write("code.txt", script);
}

// A headless weston in a private runtime folder; with XWayland, the X display it serves.
class Weston {
public:
    explicit Weston(bool xwayland) {
        ::mkdir("/tmp/.X11-unix", 01777);  // where XWayland's sockets go; Xvfb makes it too
        const std::string log = runtime_.file("weston.log");
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string logArg = "--log=" + log;
            // Pixman draws real pixels, and --debug lets weston-screenshooter read them.
            execlp("weston", "weston", "--backend=headless-backend.so", "--use-pixman", "--debug",
                   "--socket=wayland-v", "--idle-time=0", logArg.c_str(),
                   xwayland ? "--xwayland" : nullptr, static_cast<char*>(nullptr));
            _exit(127);
        }
        const std::string marker = "xserver listening on display ";
        WaitUntil(
            [&] {
                if (!xwayland) return access(runtime_.file("wayland-v").c_str(), F_OK) == 0;
                const std::string text = ReadText(log);
                const size_t at = text.find(marker);
                if (at == std::string::npos) return false;
                x_display_ =
                    text.substr(at + marker.size(), text.find('\n', at) - at - marker.size());
                return true;
            },
            kWait);
        ready_ = access(runtime_.file("wayland-v").c_str(), F_OK) == 0 &&
                 (!xwayland || !x_display_.empty());
    }
    ~Weston() { StopChild(pid_); }
    // What the compositor shows, through weston-screenshooter; a null image on failure.
    QImage screenshot() {
        ScriptDir out;
        pid_t shooter = fork();
        if (shooter == 0) {
            setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
            setenv("WAYLAND_DISPLAY", "wayland-v", 1);
            if (chdir(out.path().c_str()) == 0)
                execlp("weston-screenshooter", "weston-screenshooter", nullptr);
            _exit(127);
        }
        int status = 0;
        if (!WaitUntil([&] { return waitpid(shooter, &status, WNOHANG) == shooter; }, kWait))
            StopChild(shooter);
        const std::vector<std::string> files = out.entries();
        return files.empty() ? QImage() : QImage(QString::fromStdString(out.file(files[0])));
    }
    bool ok() const { return ready_; }
    const std::string& xDisplay() const { return x_display_; }
    // The variables of a session on this compositor; DISPLAY only with XWayland.
    std::vector<std::string> session() const {
        return {"XDG_RUNTIME_DIR=" + runtime_.path(), "WAYLAND_DISPLAY=wayland-v",
                "XDG_SESSION_TYPE=wayland",
                x_display_.empty() ? "DISPLAY" : "DISPLAY=" + x_display_};
    }

private:
    ScriptDir runtime_;
    pid_t pid_ = -1;
    std::string x_display_;
    bool ready_ = false;
};

// A child process with the environment changed: "NAME=value" sets, "NAME" removes.
// Its standard output and error go to `output` (or nowhere when empty).
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
          const std::string& output = "") {
        pid_ = fork();
        if (pid_ != 0) return;
        for (const std::string& e : env) {
            const size_t eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.c_str() + eq + 1, 1);
        }
        const int out =
            open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ~Child() { StopChild(pid_); }
    // The exit status once the process ended of itself within the time; -1 otherwise.
    int exitStatus(int timeoutMs) {
        int status = 0;
        if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, timeoutMs))
            return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
};

// velmora on a program folder, its output in stderr.txt there. QT_QPA_PLATFORM is
// removed unless given, so that the program chooses.
class Velmora : public Child {
public:
    Velmora(const ScriptDir& folder, std::vector<std::string> env)
        : Child({VELMORA_BIN_DIR "/velmora"}, WithHome(folder, std::move(env)),
                folder.file("stderr.txt")) {}

private:
    static std::vector<std::string> WithHome(const ScriptDir& folder,
                                             std::vector<std::string> env) {
        env.insert(env.begin(), "QT_QPA_PLATFORM");
        env.push_back("VELMORA_HOME=" + folder.path());
        env.push_back("HOME=" + folder.path());
        return env;
    }
};

// An X connection that looks at windows the way another program does.
class XLook {
public:
    explicit XLook(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {}
    ~XLook() {
        if (dpy_) XCloseDisplay(dpy_);
    }
    bool ok() const { return dpy_; }

    // A viewable window anywhere in the tree (window managers reparent) whose title
    // is exactly `title`; with `ownerClass`, also of that WM_CLASS.
    Window find(const std::string& title, const char* ownerClass = nullptr) {
        Window found = 0;
        WaitUntil(
            [&] {
                // Windows come and go while the tree is walked (menus, frames).
                auto old = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
                found = search(DefaultRootWindow(dpy_), title, ownerClass);
                XSync(dpy_, False);
                XSetErrorHandler(old);
                return found != 0;
            },
            kWait);
        return found;
    }
    ScreenRect geometry(Window w) {
        XWindowAttributes wa{};
        XGetWindowAttributes(dpy_, w, &wa);
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(dpy_, w, DefaultRootWindow(dpy_), 0, 0, &x, &y, &child);
        return ScreenRect{x, y, wa.width, wa.height};
    }
    // The window's bounding shape as the X server holds it.
    bool inShape(Window w, int x, int y) {
        int count = 0, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(dpy_, w, ShapeBounding, &count, &ordering);
        bool in = false;
        for (int i = 0; i < count && !in; ++i)
            in = x >= rects[i].x && y >= rects[i].y && x < rects[i].x + rects[i].width &&
                 y < rects[i].y + rects[i].height;
        if (rects) XFree(rects);
        return in;
    }
    // The names of the atoms in a window's ATOM-list property; empty when it has none.
    std::vector<std::string> atoms(Window w, const char* property) {
        Atom type;
        int format;
        unsigned long count = 0, after;
        unsigned char* data = nullptr;
        std::vector<std::string> names;
        if (XGetWindowProperty(dpy_, w, XInternAtom(dpy_, property, False), 0, 64, False, XA_ATOM,
                               &type, &format, &count, &after, &data) == Success &&
            data && format == 32)
            for (unsigned long i = 0; i < count; ++i) {
                char* name = XGetAtomName(dpy_, reinterpret_cast<Atom*>(data)[i]);
                names.emplace_back(name ? name : "");
                if (name) XFree(name);
            }
        if (data) XFree(data);
        return names;
    }
    bool shaped(Window w) {
        int bounding = 0, clip = 0, bx, by, cx, cy;
        unsigned bw, bh, cw, ch;
        return XShapeQueryExtents(dpy_, w, &bounding, &bx, &by, &bw, &bh, &clip, &cx, &cy, &cw,
                                  &ch) &&
               bounding;
    }

private:
    std::optional<std::string> title(Window w) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::optional<std::string> t;
        if (XGetWindowProperty(dpy_, w, XInternAtom(dpy_, "_NET_WM_NAME", False), 0, 1024, False,
                               XInternAtom(dpy_, "UTF8_STRING", False), &type, &format, &count,
                               &after, &data) == Success &&
            type != None)
            t = std::string(reinterpret_cast<char*>(data), count);
        if (data) XFree(data);
        return t;
    }
    bool ofClass(Window w, const char* cls) {
        XClassHint hint{};
        if (!XGetClassHint(dpy_, w, &hint)) return false;
        const bool same = hint.res_class && std::string(hint.res_class) == cls;
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return same;
    }
    Window search(Window w, const std::string& wanted, const char* ownerClass) {
        XWindowAttributes wa{};
        if (XGetWindowAttributes(dpy_, w, &wa) && wa.map_state == IsViewable &&
            title(w) == wanted && (!ownerClass || ofClass(w, ownerClass)))
            return w;
        Window root, parent, *children = nullptr;
        unsigned n = 0;
        Window found = 0;
        if (XQueryTree(dpy_, w, &root, &parent, &children, &n))
            for (unsigned i = 0; i < n && !found; ++i)
                found = search(children[i], wanted, ownerClass);
        if (children) XFree(children);
        return found;
    }

    ::Display* dpy_;
};

class DesktopSessionTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }  // for the skin's QImage
    std::string variable(const std::string& name) {
        const std::string vars = folder.read("variable.txt");
        const std::string key = "\n" + name + "=";
        const size_t at = vars.find(key);
        if (at == std::string::npos) return "(unset)";
        return vars.substr(at + key.size(), vars.find('\n', at + 1) - at - key.size());
    }
    ScriptDir folder;
};

TEST_F(DesktopSessionTest, InAWaylandSessionWithXWaylandTheWindowLivesOnX) {
    Weston weston(true);
    ASSERT_TRUE(weston.ok()) << "weston with XWayland did not start";
    WriteProgram(folder, "[main]\ntext,clear,hello\npause\n");
    Velmora program(folder, weston.session());
    XLook x(weston.xDisplay());
    ASSERT_TRUE(x.ok());
    const Window w = x.find("e2e");
    ASSERT_NE(w, 0u) << "the window is not on X: " << folder.read("stderr.txt");
    // The window manager maps the window where it likes first, then takes the position.
    WaitUntil([&] { return x.geometry(w).x == 100 && x.geometry(w).y == 100; }, kWait);
    const ScreenRect g = x.geometry(w);
    EXPECT_EQ(g.x, 100);
    EXPECT_EQ(g.y, 100);
    EXPECT_EQ(g.width, 300);
    EXPECT_EQ(g.height, 200);
    ASSERT_TRUE(x.shaped(w));
    for (const SkinPoint& p : kSkinPoints) {
        SCOPED_TRACE(::testing::Message() << p.x << "," << p.y);
        EXPECT_EQ(x.inShape(w, p.x, p.y), p.inside);
    }
}

TEST_F(DesktopSessionTest, InAWaylandOnlySessionWhatCannotWorkFailsWithAReason) {
    Weston weston(false);
    ASSERT_TRUE(weston.ok()) << "weston did not start";
    WriteProgram(folder,
                 "[main]\nsendkey,Editor,abc\nset,sent,%var1%\nset,why,%var2%\n"
                 "sendclose,Editor\nset,closed,%var1%\ntimer,wait,8\nexit\n");
    Velmora program(folder, weston.session());
    ASSERT_TRUE(WaitUntil([&] { return variable("closed") != "(unset)"; }, kWait))
        << folder.read("stderr.txt");
    // No shape on Wayland: the cut colour must come out transparent, wherever the
    // compositor put the window.
    int body = 0, cut = 0;
    WaitUntil(
        [&] {
            const QImage shot = weston.screenshot().convertToFormat(QImage::Format_RGB32);
            body = cut = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) {
                    const QRgb c = shot.pixel(x, y) & 0xFFFFFF;
                    body += c == kBody;
                    cut += c == 0xFF00FF;
                }
            return body > 200 * 100;
        },
        kWait);
    EXPECT_GT(body, 200 * 100) << "the window is not shown";
    EXPECT_EQ(cut, 0) << "the skin's cut colour shows";
    ASSERT_EQ(program.exitStatus(kWait), 0) << folder.read("stderr.txt");
    const std::string why = Utf8ToCp932(
        "Wayland だけのセッションでは他のウィンドウを扱えません（X ディスプレイがありません）");
    EXPECT_EQ(variable("sent"), "NG");
    EXPECT_EQ(variable("why"), why);
    EXPECT_EQ(variable("closed"), "NG");
    EXPECT_NE(folder.read("stderr.txt").find("windows_pos cannot place the window"),
              std::string::npos)
        << folder.read("stderr.txt");
}

TEST_F(DesktopSessionTest, WithoutAnyDisplayTheProgramSaysSoAndEnds) {
    WriteProgram(folder, "[main]\nexit\n");
    Velmora program(folder, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(program.exitStatus(kWait), 1);
    EXPECT_NE(folder.read("stderr.txt").find("no display to show the window on"), std::string::npos)
        << folder.read("stderr.txt");
}

class ScalingTest : public DesktopSessionTest, public ::testing::WithParamInterface<double> {};

// Channels apart by at most `tolerance`: a smooth scale-down may round a plain colour.
bool SameColour(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

// Groups of `f` screen rows (or columns) across the area that are not all alike. Text drawn
// at one window pixel and enlarged has none; text drawn at the screen's density has many.
int UnalikeGroups(const ScreenShot& shot, const ScreenRect& area, int f, bool rows) {
    int groups = 0;
    const int length = rows ? area.height : area.width, across = rows ? area.width : area.height;
    for (int g = 0; g + f <= length; g += f) {
        bool unalike = false;
        for (int i = 1; i < f && !unalike; ++i)
            for (int a = 0; a < across && !unalike; ++a)
                unalike =
                    rows ? shot.at(area.x + a, area.y + g) != shot.at(area.x + a, area.y + g + i)
                         : shot.at(area.x + g, area.y + a) != shot.at(area.x + g + i, area.y + a);
        groups += unalike;
    }
    return groups;
}

// An odd-sized skin, so that at 1.5 its edges fall between screen pixels, with parts that
// reach the window's right and bottom edges: the screen must show exactly it, the shape
// cut to it without a row or column short, the text drawn at the screen's density.
TEST_P(ScalingTest, ShapeAndPictureAreTheSkinsAndTextIsDrawnAtDensity) {
    const double f = GetParam();
    PrivateXServer server(1280, 1024);
    ASSERT_TRUE(server.ok());
    XClient screen(server.display());
    screen.showBackdrop(kBackdrop);
    const QImage skin = Skin(301, 201);
    WriteProgram(folder,
                 "[main]\ntext,,MWMW HillHill\nchoice,3,1,one,two,three\n"
                 "set,picked,%choice_sel%\nexit\n",
                 skin);
    Velmora program(folder,
                    {"DISPLAY=" + server.display(), "QT_SCALE_FACTOR=" + std::to_string(f)});
    XLook x(server.display());
    const Window w = x.find("e2e");
    ASSERT_NE(w, 0u) << folder.read("stderr.txt");
    const ScreenRect g = x.geometry(w);
    EXPECT_EQ(g.x, qRound(100 * f));
    EXPECT_EQ(g.width, qRound(301 * f));
    EXPECT_EQ(g.height, qRound(201 * f));
    // The backdrop shows through until the window paints, and it is dark too.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return screen.pixel(g.x + qRound(150 * f), g.y + qRound(180 * f)) == kBody &&
                   screen.darkPixels(g.x + qRound(21 * f), g.y + qRound(131 * f),
                                     g.x + qRound(200 * f), g.y + qRound(150 * f)) > 5;
        },
        kWait))
        << "choice 2 was not drawn";

    // A screen pixel shows the skin pixel under its centre; where the centre lies on a
    // skin edge either side will do. Away from the text, choices and colour edges the
    // picture is the skin's colour or, outside the shape, the backdrop.
    const std::vector<bool> shape = screen.shape(w, g.width, g.height);
    const ScreenShot shot = screen.grab(g);
    ASSERT_EQ(shot.width, g.width);
    const QRect written[] = {{20, 40, 260, 60}, {18, 108, 184, 64}};  // text, framed choices
    auto skinAt = [&](int sx, int sy) {
        return sx < 0 || sy < 0 || sx >= skin.width() || sy >= skin.height()
                   ? kCut
                   : skin.pixel(sx, sy) & 0xFFFFFF;
    };
    auto inside = [&](int sx, int sy) { return skinAt(sx, sy) != kCut; };
    int wrongShape = 0, wrongColour = 0;
    for (int y = 0; y < g.height; ++y)
        for (int xx = 0; xx < g.width; ++xx) {
            const double u = (xx + 0.5) / f, v = (y + 0.5) / f;
            const int sx = int(u), sy = int(v);
            const bool in = inside(sx, sy), got = shape[size_t(y) * g.width + xx];
            bool fits = got == in;
            if (!fits && u == sx) fits = got == inside(sx - 1, sy);
            if (!fits && v == sy) fits = got == inside(sx, sy - 1);
            if (!fits && u == sx && v == sy) fits = got == inside(sx - 1, sy - 1);
            if (!fits && ++wrongShape <= 5) ADD_FAILURE() << "shape at " << xx << "," << y;
            bool plain = true;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    plain &= skinAt(sx + dx, sy + dy) == skinAt(sx, sy);
            bool onWriting = false;
            for (const QRect& r : written) onWriting |= r.adjusted(-1, -1, 1, 1).contains(sx, sy);
            if (!plain || onWriting) continue;
            const std::uint32_t want = in ? skinAt(sx, sy) : kBackdrop;
            if (!SameColour(shot.at(xx, y), want, 2) && ++wrongColour <= 5)
                ADD_FAILURE() << "screen at " << xx << "," << y << " is " << std::hex
                              << shot.at(xx, y) << " want " << want;
        }
    EXPECT_EQ(wrongShape, 0);
    EXPECT_EQ(wrongColour, 0);
    // The tabs reach the window's last column and row.
    int lastColumn = 0, lastRow = 0;
    for (int i = 0; i < g.height; ++i) lastColumn += shape[size_t(i) * g.width + g.width - 1];
    for (int i = 0; i < g.width; ++i) lastRow += shape[size_t(g.height - 1) * g.width + i];
    EXPECT_GT(lastColumn, 0) << "the shape is a column short of the window";
    EXPECT_GT(lastRow, 0) << "the shape is a row short of the window";

    const ScreenRect text{qRound(20 * f), qRound(40 * f), qRound(200 * f), qRound(24 * f)};
    int dark = 0;
    for (int y = text.y; y < text.y + text.height; ++y)
        for (int xx = text.x; xx < text.x + text.width; ++xx)
            dark += !SameColour(shot.at(xx, y), kBody, 100);
    EXPECT_GT(dark, 40) << "no text";
    if (f == int(f) && f >= 2) {
        EXPECT_GT(UnalikeGroups(shot, text, int(f), true), 2) << "text enlarged, not drawn";
        EXPECT_GT(UnalikeGroups(shot, text, int(f), false), 2) << "text enlarged, not drawn";
    }

    screen.click(g.x + qRound(60 * f), g.y + qRound(140 * f));
    ASSERT_EQ(program.exitStatus(kWait), 0);
    EXPECT_EQ(variable("picked"), "2");
}

INSTANTIATE_TEST_SUITE_P(Factors, ScalingTest, ::testing::Values(2.0, 1.5, 3.0),
                         [](const auto& info) {
                             return "x" + std::to_string(int(info.param)) +
                                    (info.param == int(info.param) ? "" : "_5");
                         });

// Every fixed-size box the program shows, under openbox: the window manager lists what its
// frame offers in _NET_WM_ALLOWED_ACTIONS, and neither minimise nor maximise may be there.
struct FixedDialogCase {
    const char* name;
    const char* script;  // run with a test HTTP server as the proxy
    const char* title;   // UTF-8; "" for the input box, which has none
    bool fromContextMenu;
};

class FixedDialogTest : public DesktopSessionTest,
                        public ::testing::WithParamInterface<FixedDialogCase> {};

TEST_P(FixedDialogTest, OpenboxOffersNeitherMinimiseNorMaximise) {
    const FixedDialogCase& c = GetParam();
    XServer server(WindowManager::Openbox);
    ASSERT_TRUE(server.ok()) << "Xvfb or openbox did not start";
    // The download never ends: its dialog stays while the test looks.
    HttpTestServer http({Send("HTTP/1.0 200 OK\r\n\r\n"), Stream(1000), Silence()});
    WriteProgram(folder, c.script);
    folder.writeBytes("variable.txt", folder.read("variable.txt") + "proxy=127.0.0.1\nproxyport=" +
                                          std::to_string(http.port()) + "\n");
    Velmora program(folder, {"DISPLAY=" + server.display()});
    XLook x(server.display());
    // The main window is called "velmora" too until its title is set.
    const Window w = x.find("e2e");
    ASSERT_NE(w, 0u) << folder.read("stderr.txt");
    if (c.fromContextMenu) {
        XClient pointer(server.display());
        const ScreenRect g = x.geometry(w);
        const int mx = g.x + 150, my = g.y + 100;
        // The menu opens at the pointer, its one item just below and right of it.
        auto onItem = [&] { return pointer.pixel(mx + 20, my + 10); };
        ASSERT_TRUE(WaitUntil([&] { return onItem() == kBody; }, kWait)) << "no skin painted";
        pointer.click(mx, my, 3);
        ASSERT_TRUE(WaitUntil([&] { return onItem() != kBody; }, kWait)) << "no context menu";
        pointer.click(mx + 20, my + 10);
    }
    const Window dialog = x.find(c.title, "velmora");
    ASSERT_NE(dialog, 0u) << "no " << c.name << ": " << folder.read("stderr.txt");
    ASSERT_NE(dialog, w);
    std::vector<std::string> actions;
    ASSERT_TRUE(WaitUntil(
        [&] {
            actions = x.atoms(dialog, "_NET_WM_ALLOWED_ACTIONS");
            return !actions.empty();
        },
        kWait))
        << "openbox did not take the window on";
    auto offered = [&](const char* action) {
        return std::find(actions.begin(), actions.end(), action) != actions.end();
    };
    EXPECT_TRUE(offered("_NET_WM_ACTION_MOVE"));
    EXPECT_FALSE(offered("_NET_WM_ACTION_MINIMIZE"));
    EXPECT_FALSE(offered("_NET_WM_ACTION_MAXIMIZE_HORZ"));
    EXPECT_FALSE(offered("_NET_WM_ACTION_MAXIMIZE_VERT"));
    EXPECT_FALSE(offered("_NET_WM_ACTION_RESIZE"));
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, FixedDialogTest,
    ::testing::Values(
        FixedDialogCase{"message_box", "[main]\nmessagebox,hello\nexit\n", "velmora", false},
        FixedDialogCase{"input_box", "[main]\ninput,name?\nexit\n", "", false},
        FixedDialogCase{"about_box", "[main]\npause\n", "バージョン", true},
        FixedDialogCase{"download_box", "[main]\ndownload,http://example.com/f.zip,f.zip\nexit\n",
                        "ダウンロード", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A real ibus daemon with a small engine of the test's own, which turns the key j into
// 日本語 as a conversion would, and Qt's ibus front end in the program.
TEST_F(DesktopSessionTest, InputDialogHasNoCaptionAndTakesTextFromAnInputMethod) {
    PrivateXServer server;
    ASSERT_TRUE(server.ok());
    ScriptDir ibusHome;
    const std::string address = "unix:path=" + ibusHome.file("bus");
    // The daemon leaves its address file in the configuration folder, where Qt looks.
    const std::string config = ibusHome.file(".config");
    const std::vector<std::string> session = {
        "DISPLAY=" + server.display(), "HOME=" + ibusHome.path(), "XDG_CONFIG_HOME=" + config,
        "IBUS_ADDRESS=" + address};
    Child daemon(
        {"ibus-daemon", "--panel=disable", "--emoji-extension=disable", "--address=" + address},
        session, ibusHome.file("daemon.log"));
    ASSERT_TRUE(WaitUntil([&] { return ibusHome.exists("bus"); }, kWait))
        << "ibus-daemon did not start: " << ibusHome.read("daemon.log");
    Child engine({"/usr/bin/python3", VELMORA_SOURCE_DIR "/tests/window/ibus_test_engine.py"},
                 session, ibusHome.file("engine.log"));
    ASSERT_TRUE(WaitUntil(
        [&] { return ibusHome.read("engine.log").find("ready") != std::string::npos; }, kWait))
        << "the ibus engine did not start: " << ibusHome.read("engine.log");

    WriteProgram(folder, "[main]\ninput,name?\nset,answer,%var1%\nexit\n");
    // Qt finds the daemon through the file it leaves in the configuration folder.
    Velmora program(
        folder, {"DISPLAY=" + server.display(), "QT_IM_MODULE=ibus", "XDG_CONFIG_HOME=" + config});
    XLook x(server.display());
    const Window dialog = x.find("", "velmora");
    ASSERT_NE(dialog, 0u) << "no input dialog without a caption";
    XClient keys(server.display());
    keys.focus(dialog);
    for (const char* k : {"t", "a", "j", "Return"}) keys.key(k);
    ASSERT_EQ(program.exitStatus(kWait), 0) << folder.read("stderr.txt");
    EXPECT_EQ(variable("answer"), Utf8ToCp932("ta日本語"));
}

}  // namespace
}  // namespace velmora::test
