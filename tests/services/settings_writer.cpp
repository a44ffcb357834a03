// Stores one setting after another without end and acknowledges each on
// stdout once write() has returned, so a test can kill it at any moment and
// check that nothing acknowledged was lost.
#include "services/SettingsStore.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>

int main(int argc, char** argv)
{
    // Ends with the test that started it: left running, it would make its
    // folders again in the test's root after that was removed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The store shows its one message through a message box; never a real screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    services::SettingsStore& store = services::settingsStore();
    for (long long i = 0;; ++i) {
        const QString number = QString::number(i);
        store.write(QStringLiteral("k") + number, QStringLiteral("value ") + number);
        std::printf("%lld\n", i);
        std::fflush(stdout);
    }
}
