// The durable writes (fdatasync, fsync, rename) of a first start, the next
// start, a later start that changes nothing, and one keystroke, by file.
//
//   ./build/bench/start_writes_bench
//
// The last line counts every such call of the run; strace counts the same:
//   strace -f -c -e trace=fdatasync,fsync,rename,renameat,renameat2 ./build/bench/start_writes_bench
#include "entry/Form1.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"
#include "tests/support/DescriptorPath.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <atomic>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

enum Call { Fdatasync, Fsync, Rename, kCalls };
// Where a call went: the settings file's folder, the program folder (reg.txt)
// or anywhere else.
enum Place { Settings, Program, Elsewhere, kPlaces };

std::atomic<bool> counting{false};
std::array<std::array<std::atomic<int>, kCalls>, kPlaces> counts{};
// Every call of the run, as strace -c counts them.
std::array<std::atomic<int>, kCalls> runTotal{};

// Set before counting starts and never changed while it runs.
std::string settingsFolder;
std::string programFolder;

Place placeOf(const std::string& path)
{
    if (path.starts_with(settingsFolder))
        return Settings;
    if (path.starts_with(programFolder))
        return Program;
    return Elsewhere;
}

void count(Call call, const std::string& path)
{
    ++counts[size_t(placeOf(path))][size_t(call)];
}

template <class Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

std::string resolvedAt(int folderFd, const char* path)
{
    if (path[0] == '/' || folderFd == AT_FDCWD)
        return path;
    return pathOfDescriptor(folderFd) + '/' + path;
}

} // namespace

// Stand-ins in front of the C library, for Qt's libraries too (the
// executable exports them).
extern "C" {

int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    ++runTotal[Fdatasync];
    if (counting)
        count(Fdatasync, pathOfDescriptor(fd));
    return real(fd);
}

int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    ++runTotal[Fsync];
    if (counting)
        count(Fsync, pathOfDescriptor(fd));
    return real(fd);
}

int rename(const char* from, const char* to)
{
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    ++runTotal[Rename];
    if (counting)
        count(Rename, resolvedAt(AT_FDCWD, to));
    return real(from, to);
}

int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    ++runTotal[Rename];
    if (counting)
        count(Rename, resolvedAt(toFolder, to));
    return real(fromFolder, from, toFolder, to);
}

int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned int flags)
{
    static const auto real = next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    ++runTotal[Rename];
    if (counting)
        count(Rename, resolvedAt(toFolder, to));
    return real(fromFolder, from, toFolder, to, flags);
}

} // extern "C"

namespace {

struct Phase {
    const char* name;
    std::array<std::array<int, kCalls>, kPlaces> counts{};
};

template <class Action>
Phase counted(const char* name, Action&& action)
{
    for (auto& place : counts) {
        for (auto& call : place)
            call = 0;
    }
    counting = true;
    action();
    counting = false;
    Phase phase{name};
    for (size_t place = 0; place < kPlaces; ++place) {
        for (size_t call = 0; call < kCalls; ++call)
            phase.counts[place][call] = counts[place][call].load();
    }
    return phase;
}

// A start as the user sees it: the window made, shown and closed again.
bool startAndEnd()
{
    entry::Form1 window;
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

void print(const Phase& phase)
{
    static constexpr const char* places[kPlaces] = {"settings file", "reg.txt", "elsewhere"};
    std::array<int, kCalls> total{};
    for (const auto& place : phase.counts) {
        for (size_t call = 0; call < kCalls; ++call)
            total[call] += place[call];
    }
    std::printf("%-28s %d fdatasync, %d fsync, %d rename\n", phase.name, total[Fdatasync], total[Fsync], total[Rename]);
    for (size_t place = 0; place < kPlaces; ++place) {
        const auto& calls = phase.counts[place];
        std::printf("  %-26s %d fdatasync, %d fsync, %d rename\n", places[place], calls[Fdatasync], calls[Fsync],
                    calls[Rename]);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root;
    if (!root.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const QString config = root.path() + QStringLiteral("/config");
    const QString program = root.path() + QStringLiteral("/program");
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    const QString runtime = root.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    QApplication application(argc, argv);
    QDir().mkpath(program);
    services::setProgramFolderForTesting(program);
    const QString settingsFile = config + QStringLiteral("/Quillmere/Corvantis.ini");
    settingsFolder = QFile::encodeName(config + QStringLiteral("/Quillmere")).toStdString();
    programFolder = QFile::encodeName(program).toStdString();

    bool exposed = true;
    services::reopenSettingsStoreForTesting();
    const Phase first = counted("first start (empty store):", [&] { exposed &= startAndEnd(); });
    // The second start dumps the entries the first one stored to reg.txt.
    services::reopenSettingsStoreForTesting();
    const Phase second = counted("second start:", [&] { exposed &= startAndEnd(); });
    services::reopenSettingsStoreForTesting();
    const Phase later = counted("later start (no change):", [&] { exposed &= startAndEnd(); });

    services::reopenSettingsStoreForTesting();
    entry::Form1 window;
    window.show();
    exposed &= QTest::qWaitForWindowExposed(&window);
    QLineEdit* box = window.txtAmountAssets[0];
    box->selectAll();
    const Phase typed = counted("one keystroke (\"7\"):", [&] { QTest::keyClicks(box, QStringLiteral("7")); });

    std::printf("durable writes with the settings file in %s (platform: %s)\n", qPrintable(settingsFile),
                qPrintable(QGuiApplication::platformName()));
    print(first);
    print(second);
    print(later);
    print(typed);
    std::printf("whole run, with the start before the keystroke: %d fdatasync, %d fsync, %d rename\n",
                runTotal[Fdatasync].load(), runTotal[Fsync].load(), runTotal[Rename].load());

    QFile stored(settingsFile);
    const bool keptKeystroke = stored.open(QIODevice::ReadOnly) && stored.readAll().contains("txtAmountAssets0=7\n");
    if (!exposed)
        std::fprintf(stderr, "a window was not exposed\n");
    if (!keptKeystroke)
        std::fprintf(stderr, "the keystroke is not in %s\n", qPrintable(settingsFile));
    return exposed && keptKeystroke ? 0 : 1;
}
