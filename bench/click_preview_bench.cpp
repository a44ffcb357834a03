// Click to preview through the real windows: on Xvfb under Openbox, a real
// (XTest) click on "Start Creating Template" until the preview window's first
// frame is on the screen. Beside it, measured the same way in the same
// process and interleaved with it, the toolkit's floor: a click on a bare
// button whose handler shows a bare window of the preview's size holding a
// 753x697 picture, once as it is and once also hiding the button's window,
// as the real click hides the entry window.
//
//   ./build/bench/click_preview_bench [clicks]
#include "Median.h"
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
// Xlib's event of that name would hide QEvent::Expose.
#undef Expose

namespace {

// A run that reports a failure must not wait for a person.
class CountingDialogs final : public services::DialogHost {
public:
    void message(QWidget*, const QString&, const QString&, services::MessageIcon) override { ++reports; }
    services::Answer askYesNo(QWidget*, const QString&, const QString&) override { return services::Answer::Yes; }
    QString saveFileName(QWidget*, const QString&, const QString&, QString*) override { return {}; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    int reports = 0;
};

// Xvfb (abstract socket only, so no socket file) with Openbox on it, both
// ending with this process however it ends; a connection of our own plays
// the mouse.
struct RealScreen final : QObject {
    QProcess server, manager;
    Display* mouse = nullptr;
    Display* qtDisplay = nullptr;
    QElapsedTimer clock;
    std::function<QWidget*()> target;
    qint64 drawnAt = -1;
    bool handling = false, painted = false;

    bool start()
    {
        for (QProcess* child : {&server, &manager}) {
            child->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
            child->setStandardErrorFile(QProcess::nullDevice());
        }
        server.startCommand(QStringLiteral("Xvfb -displayfd 1 -nolisten tcp -nolisten unix -screen 0 1280x1024x24"));
        if (!server.waitForReadyRead(10000))
            return false;
        const QByteArray name = ':' + server.readLine().trimmed();
        if (name.size() < 2 || !(mouse = XOpenDisplay(name.constData())))
            return false;
        qputenv("DISPLAY", name);
        qputenv("QT_QPA_PLATFORM", "xcb");
        manager.setStandardOutputFile(QProcess::nullDevice());
        manager.startCommand(QStringLiteral("openbox --sm-disable"));
        // A window manager owns this selection once it manages the screen.
        const Atom managed = XInternAtom(mouse, "WM_S0", False);
        for (int i = 0; i < 500 && XGetSelectionOwner(mouse, managed) == None; ++i)
            ::usleep(20000);
        clock.start();
        return XGetSelectionOwner(mouse, managed) != None;
    }
    ~RealScreen() override
    {
        if (mouse)
            XCloseDisplay(mouse);
        for (QProcess* child : {&manager, &server}) {
            child->terminate();
            child->waitForFinished();
        }
    }

    // The end of a measurement: the window's first frame is in the X server's
    // framebuffer, which is Xvfb's screen with no compositor in between: what
    // a user sees. Qt paints a newly exposed window and flushes its backing
    // store inside the Expose (or UpdateRequest) event of its QWindow, so that
    // event is handled here; when it painted the window, a round trip on Qt's
    // own connection (the server has then drawn every image Qt sent) comes
    // before the clock is read.
    bool eventFilter(QObject* object, QEvent* event) override
    {
        QWidget* window = target ? target() : nullptr;
        if (!window || drawnAt >= 0)
            return false;
        if (event->type() == QEvent::Paint && object == window)
            painted = true;
        if (handling || object != window->windowHandle()
            || (event->type() != QEvent::Expose && event->type() != QEvent::UpdateRequest))
            return false;
        handling = true;
        painted = false;
        object->event(event);
        handling = false;
        if (painted) {
            XSync(qtDisplay, False);
            drawnAt = clock.nsecsElapsed();
        }
        return true;
    }

    // One click on `button` in `front`, in ms until `shown` is drawn; -1 when
    // it was not within 30 s. `back` then undoes it, untimed.
    double clickUntilDrawn(QWidget* front, QPushButton* button, const std::function<QWidget*()>& shown,
                           const std::function<void()>& back)
    {
        front->show();
        front->activateWindow();
        if (!QTest::qWaitForWindowExposed(front, 10000) || !QTest::qWaitForWindowActive(front, 10000))
            return -1;
        const QPoint at = button->mapToGlobal(button->rect().center());
        XTestFakeMotionEvent(mouse, -1, at.x(), at.y(), CurrentTime);
        XSync(mouse, False);
        QTest::qWait(100); // the hover is drawn before the clock starts
        target = shown;
        drawnAt = -1;
        const qint64 pressed = clock.nsecsElapsed();
        // No hold between press and release: the button acts on the release,
        // and a finger's hold would only add its own length.
        XTestFakeButtonEvent(mouse, 1, True, CurrentTime);
        XTestFakeButtonEvent(mouse, 1, False, CurrentTime);
        XSync(mouse, False);
        QTimer limit;
        limit.setSingleShot(true);
        limit.start(30000);
        while (drawnAt < 0 && limit.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double ms = drawnAt < 0 ? -1 : double(drawnAt - pressed) / 1e6;
        target = nullptr;
        back();
        QTest::qWait(100); // the next click starts from an idle program
        return ms;
    }
};

void printTiming(const char* what, const std::vector<double>& ms)
{
    std::printf("%s: %zu clicks, median %.2f ms, min %.2f ms, max %.2f ms\n", what, ms.size(), medianOf(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    // Openbox and Qt keep their files in the private folder too.
    for (const char* name : {"HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
        qputenv(name, root.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    const QString temp = root.path() + QStringLiteral("/temp");
    QDir().mkpath(temp);
    qputenv("TEMP", temp.toUtf8());
    QDir().mkpath(root.path() + QStringLiteral("/program"));
    RealScreen screen;
    if (!screen.start()) {
        std::fprintf(stderr, "Xvfb or Openbox did not start\n");
        return 2;
    }
    QApplication application(argc, argv);
    const int clicks = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    services::setProgramFolderForTesting(root.path() + QStringLiteral("/program"));
    CountingDialogs dialogs;
    services::setDialogHost(&dialogs);
    screen.qtDisplay = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
    application.installEventFilter(&screen);

    entry::Form1 window;
    window.PushButton2->click(); // the sample amounts
    const auto backFromPreview = [&] {
        if (preview::Form2* preview = window.form2()) {
            QFile::remove(preview->mExcelFile);
            preview->hide();
        }
        window.hide();
    };
    // The floors: a bare button that shows a bare window of the preview's
    // size holding a 753x697 picture; in the second, the button's window also
    // hides itself after the show, the window traffic of the real click.
    QPixmap picture(753, 697);
    picture.fill(Qt::white);
    struct Bare {
        QWidget front, shown;
        QPushButton button{QStringLiteral("Show"), &front};
        QLabel label{&shown};
    };
    Bare showing, swapping;
    for (Bare* bare : {&showing, &swapping}) {
        bare->label.setPixmap(picture);
        bare->label.resize(picture.size());
        QObject::connect(&bare->button, &QPushButton::clicked, &bare->shown, &QWidget::show);
    }
    QObject::connect(&swapping.button, &QPushButton::clicked, &swapping.front, &QWidget::hide);
    const auto clickBare = [&](Bare& bare) {
        return screen.clickUntilDrawn(
            &bare.front, &bare.button, [&]() -> QWidget* { return &bare.shown; },
            [&] {
                bare.shown.hide();
                bare.front.hide();
            });
    };

    // Interleaved, so a change of load meanwhile touches all alike; the
    // first round is untimed.
    std::vector<double> ours, bare, swapped;
    for (int i = 0; i < clicks + 1; ++i) {
        const double a = screen.clickUntilDrawn(
            &window, window.PushButton22, [&]() -> QWidget* { return window.form2(); }, backFromPreview);
        if (i == 0 && window.form2()) {
            showing.shown.setFixedSize(window.form2()->size());
            swapping.shown.setFixedSize(window.form2()->size());
        }
        const double b = clickBare(showing);
        const double c = clickBare(swapping);
        if (a < 0 || b < 0 || c < 0) {
            std::fprintf(stderr, "click %d: a window was not drawn in time\n", i);
            return 1;
        }
        if (i > 0) {
            ours.push_back(a);
            bare.push_back(b);
            swapped.push_back(c);
        }
    }
    std::printf("Xvfb %s under Openbox, preview %dx%d, reports during the runs: %d\n", qgetenv("DISPLAY").constData(),
                showing.shown.width(), showing.shown.height(), dialogs.reports);
    printTiming("click to preview drawn (Start Creating Template, the whole run)", ours);
    printTiming("click to a bare window drawn (QPushButton shows QWidget + QLabel 753x697)", bare);
    printTiming("the same, and the button's window hides itself after the show", swapped);
    std::printf("ratio ours / floor (medians): %.2f; against the floor that also hides: %.2f\n",
                medianOf(ours) / medianOf(bare), medianOf(ours) / medianOf(swapped));
    return dialogs.reports == 0 ? 0 : 2;
}
