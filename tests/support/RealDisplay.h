#pragma once

// The second tier of widget tests: a real X server (Xvfb) with a real window
// manager (Openbox), driven by real input events (XTest). Offscreen has no
// activation, no pointer and no title bars; this has all three.

#include <QCoreApplication>
#include <QImage>
#include <QMetaObject>
#include <QPoint>
#include <QString>
#include <QtGui/qwindowdefs.h>

#include <functional>

class QWidget;

namespace testing_support {

// Called from a test file's namespace scope: its test process then starts
// the server and the window manager before Qt, and uses the xcb platform.
// Both end with the test process, however it ends.
bool requestRealDisplay();

namespace display {

// Input as the X server sees it from a mouse and a keyboard. These and the
// readings below may run on the GUI thread or inside actAside(), never both.
void movePointerTo(QPoint global);
void pressButton();
void releaseButton();
// A key by its X name ("Tab", "Return", "7"), with Shift when asked.
void pressKey(const char* keyName, bool shift = false);

// The window the window manager has made the active one.
WId activeWindow();
// The title it shows on a window's frame.
QString shownTitle(WId window);
QString shownTitle(QWidget* window);
// The pointer image the server shows now.
QImage shownPointer();

// On the GUI thread: the same input, then Qt takes it in.
void moveOver(QWidget* widget, QPoint local);
void moveOver(QWidget* widget); // to its centre
void click(QWidget* widget);    // left button at its centre
void type(const char* keyName, bool shift = false);
// Lets Qt take in what the server sent, for about `ms` milliseconds.
void settle(int ms = 100);

// Runs `person` on a thread of its own, as someone at the keyboard acts
// while the program sits in a modal box; the GUI thread goes on meanwhile.
// False when it took longer than 30 s or left a box open.
bool actAside(const std::function<void()>& person);
// Inside actAside(): runs `query` on the GUI thread and returns its result.
template <typename Query>
auto askGui(Query query)
{
    decltype(query()) result{};
    QMetaObject::invokeMethod(
        qApp, [&] { result = query(); }, Qt::BlockingQueuedConnection);
    return result;
}
// Inside actAside(): waits for `condition`; false if it never held.
bool waitUntil(const std::function<bool()>& condition, int ms = 10000);

} // namespace display
} // namespace testing_support
