#include "tests/support/RealDisplay.h"

#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testing_support {
namespace {

pid_t serverPid = 0;
pid_t managerPid = 0;
Display* connection = nullptr;

void stopRealDisplay();

[[noreturn]] void giveUp(const char* what)
{
    std::fprintf(stderr, "real display: %s\n", what);
    stopRealDisplay();
    std::exit(2);
}

// The child ends when the test process does, even by SIGKILL, and then
// removes its lock file itself.
pid_t startChild(const std::vector<std::string>& arguments, int keptFd = -1)
{
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(1);
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd <= 2; ++fd)
        ::dup2(null, fd);
    if (keptFd >= 0)
        ::fcntl(keptFd, F_SETFD, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

std::string readDisplayNumber(int fd)
{
    std::string number;
    pollfd ready{fd, POLLIN, 0};
    while (::poll(&ready, 1, 10000) > 0) {
        char c;
        if (::read(fd, &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    return number;
}

Atom atom(const char* name)
{
    return XInternAtom(connection, name, False);
}

// A property of a window as UTF-8 text; empty when it has none.
QString textProperty(Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(connection, window, property, 0, 4096, False, AnyPropertyType, &type, &format, &count, &left,
                           &data)
            != Success
        || !data)
        return {};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    XFree(data);
    return text;
}

// A window named by a property; None when there is none.
Window windowProperty(Window window, Atom property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    Window found = None;
    if (XGetWindowProperty(connection, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &left, &data)
            == Success
        && data && count == 1 && format == 32)
        found = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return found;
}

// What the window manager writes on the frame: the visible name it sets
// when it shows something else than the window's own name, else that name.
QString titleOf(Window window)
{
    const QString visible = textProperty(window, atom("_NET_WM_VISIBLE_NAME"));
    return visible.isEmpty() ? textProperty(window, atom("_NET_WM_NAME")) : visible;
}

bool managerRuns()
{
    return windowProperty(DefaultRootWindow(connection), atom("_NET_SUPPORTING_WM_CHECK")) != None;
}

void flush()
{
    XSync(connection, False);
}

// Starts both and sets DISPLAY and the platform; exits the process when
// either cannot start.
void startRealDisplay()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        giveUp("no pipe");
    // Abstract socket only: no socket file in /tmp/.X11-unix.
    serverPid = startChild({"Xvfb", "-displayfd", std::to_string(ends[1]), "-nolisten", "tcp", "-nolisten", "unix",
                            "-screen", "0", "1280x1024x24"},
                           ends[1]);
    ::close(ends[1]);
    const std::string number = readDisplayNumber(ends[0]);
    ::close(ends[0]);
    if (number.empty())
        giveUp("Xvfb did not start");
    const std::string name = ":" + number;
    ::setenv("DISPLAY", name.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The GUI thread and actAside() use the connection in turn.
    XInitThreads();
    connection = XOpenDisplay(name.c_str());
    if (!connection)
        giveUp("cannot connect to Xvfb");
    managerPid = startChild({"openbox", "--sm-disable"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!managerRuns()) {
        if (std::chrono::steady_clock::now() > deadline)
            giveUp("Openbox did not take over the screen");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void stopRealDisplay()
{
    if (connection) {
        XCloseDisplay(connection);
        connection = nullptr;
    }
    for (pid_t* pid : {&managerPid, &serverPid}) {
        if (*pid <= 0)
            continue;
        ::kill(*pid, SIGTERM);
        while (::waitpid(*pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        *pid = 0;
    }
}

} // namespace

bool requestRealDisplay()
{
    setProcessHooks(startRealDisplay, stopRealDisplay);
    return true;
}

namespace display {

void movePointerTo(QPoint global)
{
    XTestFakeMotionEvent(connection, -1, global.x(), global.y(), CurrentTime);
    flush();
}

void pressButton()
{
    XTestFakeButtonEvent(connection, 1, True, CurrentTime);
    flush();
}

void releaseButton()
{
    XTestFakeButtonEvent(connection, 1, False, CurrentTime);
    flush();
}

void pressKey(const char* keyName, bool shift)
{
    const KeyCode shiftKey = XKeysymToKeycode(connection, XK_Shift_L);
    const KeyCode key = XKeysymToKeycode(connection, XStringToKeysym(keyName));
    if (shift)
        XTestFakeKeyEvent(connection, shiftKey, True, CurrentTime);
    XTestFakeKeyEvent(connection, key, True, CurrentTime);
    XTestFakeKeyEvent(connection, key, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(connection, shiftKey, False, CurrentTime);
    flush();
}

WId activeWindow()
{
    return windowProperty(DefaultRootWindow(connection), atom("_NET_ACTIVE_WINDOW"));
}

QString shownTitle(WId window)
{
    return titleOf(static_cast<Window>(window));
}

QString shownTitle(QWidget* window)
{
    return shownTitle(window->window()->winId());
}

QImage shownPointer()
{
    XFixesCursorImage* shown = XFixesGetCursorImage(connection);
    if (!shown)
        return {};
    QImage image(shown->width, shown->height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < shown->height; ++y) {
        for (int x = 0; x < shown->width; ++x)
            image.setPixel(x, y, static_cast<QRgb>(shown->pixels[y * shown->width + x]));
    }
    XFree(shown);
    return image;
}

void moveOver(QWidget* widget, QPoint local)
{
    movePointerTo(widget->mapToGlobal(local));
    settle(50);
}

void moveOver(QWidget* widget)
{
    moveOver(widget, widget->rect().center());
}

void click(QWidget* widget)
{
    moveOver(widget);
    pressButton();
    settle(30);
    releaseButton();
    settle();
}

void type(const char* keyName, bool shift)
{
    pressKey(keyName, shift);
    settle();
}

void settle(int ms)
{
    QTest::qWait(ms);
}

bool actAside(const std::function<void()>& person)
{
    std::atomic<bool> done = false;
    bool boxLeftOpen = false;
    std::thread aside([&] {
        person();
        // A box the person failed to close would hold the GUI thread for
        // ever: close it, and fail.
        const auto openBox = [] { return askGui([] { return QApplication::activeModalWidget() != nullptr; }); };
        if (!waitUntil([&] { return !openBox(); }, 5000)) {
            boxLeftOpen = true;
            askGui([] { return QApplication::activeModalWidget()->close(); });
        }
        done = true;
    });
    const bool inTime = QTest::qWaitFor([&] { return done.load(); }, 30000);
    aside.join();
    settle();
    return inTime && !boxLeftOpen;
}

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace display
} // namespace testing_support
