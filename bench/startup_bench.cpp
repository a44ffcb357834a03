// Start-up to a shown entry window, median of many starts, against the
// toolkit's own floor: a bare window with the same kinds and number of
// controls, shown the same way in the same process. Each kind of window is
// timed in turn, so a busy moment of the machine falls on all of them.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench/startup_bench [starts]
#include "Median.h"
#include "entry/Form1.h"
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void printTimes(const char* what, const std::vector<double>& ms)
{
    std::printf("%s: median %.2f ms, min %.2f ms, max %.2f ms\n", what, medianOf(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
}

template <class MakeWindow>
double millisecondsToShown(MakeWindow&& makeWindow)
{
    QElapsedTimer timer;
    timer.start();
    auto window = makeWindow();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        std::fprintf(stderr, "window was not exposed\n");
    return double(timer.nsecsElapsed()) / 1e6;
}

// The inputs and buttons alone, as earlier versions of this bench measured.
std::unique_ptr<QWidget> inputsOnlyWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(656, 520);
    for (int i = 0; i < 3; ++i)
        (new QPushButton(QStringLiteral("Button"), window.get()))->setGeometry(8, 8 + 30 * i, 300, 27);
    new QDateEdit(window.get());
    for (int i = 0; i < 48; ++i)
        (new QLineEdit(QStringLiteral("$0"), window.get()))
            ->setGeometry(8 + 200 * (i % 3), 120 + 21 * (i / 3), 190, 22);
    return window;
}

// Every kind and number of control the entry window has, filled and framed
// the way it fills and frames them, with none of the program behind them.
std::unique_ptr<QWidget> bareWindow()
{
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(656, 520);
    for (int i = 0; i < 3; ++i)
        (new QPushButton(QStringLiteral("Button"), window.get()))->setGeometry(8, 8 + 30 * i, 300, 27);
    auto* frame = new QGroupBox(QStringLiteral("Balance Sheet"), window.get());
    frame->setGeometry(8, 72, 640, 440);
    (new QLabel(QStringLiteral("Date:"), frame))->move(16, 32);
    auto* date = new QDateEdit(QDate(2010, 1, 21), frame);
    date->setCalendarPopup(true);
    date->setGeometry(65, 28, 248, 22);
    for (int i = 0; i < 9; ++i) {
        auto* heading = new QLabel(QStringLiteral("Heading"), frame);
        heading->setAlignment(Qt::AlignCenter);
        heading->setFrameShape(QFrame::Box);
        heading->setAutoFillBackground(true);
        heading->setGeometry(16 + 310 * (i % 2), 64 + 22 * (i / 2), 300, 22);
    }
    for (int i = 0; i < 48; ++i)
        (new QLineEdit(i % 2 ? QStringLiteral("$0") : QStringLiteral("Cash"), frame))
            ->setGeometry(16 + 150 * (i % 4), 180 + 21 * (i / 4), 145, 22);
    (new QWidget(frame))->setGeometry(315, 360, 310, 64); // the picture box
    for (int i = 0; i < 7; ++i)
        (new QLabel(QStringLiteral("Total"), frame))->setGeometry(16 + 150 * (i % 4), 440 - 22 * (i / 4), 145, 22);
    return window;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    QApplication application(argc, argv);
    const int starts = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
    QDir().mkpath(root.path() + QStringLiteral("/program"));
    services::setProgramFolderForTesting(root.path() + QStringLiteral("/program"));

    std::vector<double> firstStarts, laterStarts, bare, inputsOnly;
    for (int i = 0; i < starts; ++i) {
        // A first start: no settings yet, so every amount is formatted and stored.
        services::reopenSettingsStoreForTesting();
        QFile::remove(root.path() + QStringLiteral("/config/Quillmere/Corvantis.ini"));
        firstStarts.push_back(millisecondsToShown([] { return std::make_unique<entry::Form1>(); }));
        // A later start: everything is restored from the store.
        services::reopenSettingsStoreForTesting();
        laterStarts.push_back(millisecondsToShown([] { return std::make_unique<entry::Form1>(); }));
        bare.push_back(millisecondsToShown(bareWindow));
        inputsOnly.push_back(millisecondsToShown(inputsOnlyWindow));
    }
    const double first = medianOf(firstStarts);
    const double later = medianOf(laterStarts);
    const double floor = medianOf(bare);
    const double inputs = medianOf(inputsOnly);
    std::printf("starts: %d (platform: %s)\n", starts, qPrintable(QGuiApplication::platformName()));
    printTimes("entry window, first start (empty store)", firstStarts);
    printTimes("entry window, later start (restored)   ", laterStarts);
    printTimes("bare window with the same controls     ", bare);
    printTimes("bare window, inputs and buttons only   ", inputsOnly);
    std::printf("ratio first/bare %.2f, later/bare %.2f (against inputs only: %.2f, %.2f)\n", first / floor,
                later / floor, first / inputs, later / inputs);
    return 0;
}
