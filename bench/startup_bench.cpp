// Start-up to a shown entry window, median of many starts, against the
// toolkit's own floor: a bare window with the same kinds and number of
// controls, shown the same way in the same process.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench/startup_bench [starts]
#include "entry/Form1.h"
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

std::unique_ptr<QWidget> bareWindow()
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

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    QApplication application(argc, argv);
    const int starts = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
    QDir().mkpath(root.path() + QStringLiteral("/program"));
    services::setProgramFolderForTesting(root.path() + QStringLiteral("/program"));

    std::vector<double> firstStarts, laterStarts, bare;
    for (int i = 0; i < starts; ++i) {
        // A first start: no settings yet, so every amount is formatted and stored.
        services::reopenSettingsStoreForTesting();
        QFile::remove(root.path() + QStringLiteral("/config/Quillmere/Corvantis.ini"));
        firstStarts.push_back(millisecondsToShown([] { return std::make_unique<entry::Form1>(); }));
        // A later start: everything is restored from the store.
        services::reopenSettingsStoreForTesting();
        laterStarts.push_back(millisecondsToShown([] { return std::make_unique<entry::Form1>(); }));
        bare.push_back(millisecondsToShown(bareWindow));
    }
    const double first = medianOf(firstStarts);
    const double later = medianOf(laterStarts);
    const double floor = medianOf(bare);
    std::printf("starts: %d (platform: %s)\n", starts, qPrintable(QGuiApplication::platformName()));
    std::printf("entry window, first start (empty store): median %.2f ms\n", first);
    std::printf("entry window, later start (restored):    median %.2f ms\n", later);
    std::printf("bare window with the same controls:      median %.2f ms\n", floor);
    std::printf("ratio first/bare %.2f, later/bare %.2f\n", first / floor, later / floor);
    return 0;
}
