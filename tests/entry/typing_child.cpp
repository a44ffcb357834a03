// Starts the entry window, types into one of its boxes with key events and
// says "typed" on stdout once the keys are handled, then waits to be killed.
//
//   typing_child <program folder> <box name> <text>
//
// The settings go where $XDG_CONFIG_HOME says. A text box has its whole text
// typed over, a date box its year.
#include "entry/Form1.h"
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"

#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A box would wait for a person that never comes: say what it showed and end.
class EndOnAnyBox final : public services::DialogHost {
public:
    void message(QWidget*, const QString&, const QString& text, services::MessageIcon) override { end(text); }
    services::Answer askYesNo(QWidget*, const QString&, const QString& text) override { end(text); }
    QString saveFileName(QWidget*, const QString& caption, const QString&, QString*) override { end(caption); }
    bool choosePrinter(QWidget*, QPrinter&) override { end(QStringLiteral("print dialog")); }

private:
    [[noreturn]] static void end(const QString& text)
    {
        std::fprintf(stderr, "typing_child: a box was shown: %s\n", qPrintable(text));
        std::fflush(stderr);
        std::_Exit(3);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // Ends with the test that started it, which removes the folders it writes to.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 4) {
        std::fprintf(stderr, "usage: typing_child <program folder> <box name> <text>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    EndOnAnyBox boxes;
    services::setDialogHost(&boxes);
    services::setProgramFolderForTesting(QString::fromLocal8Bit(argv[1]));

    entry::Form1 window;
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) {
        std::fprintf(stderr, "typing_child: the window never became active\n");
        return 2;
    }
    auto* target = window.findChild<QWidget*>(QString::fromLocal8Bit(argv[2]));
    if (!target) {
        std::fprintf(stderr, "typing_child: no box named %s\n", argv[2]);
        return 2;
    }
    // By keyboard focus: a click into a date box with a calendar button steps
    // its day back (Qt 6.4), which would be a change of its own.
    target->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    if (auto* date = qobject_cast<QDateEdit*>(target))
        date->setSelectedSection(QDateTimeEdit::YearSection);
    else if (auto* line = qobject_cast<QLineEdit*>(target))
        line->selectAll();
    QTest::keyClicks(target, QString::fromLocal8Bit(argv[3]));

    std::printf("typed\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}
