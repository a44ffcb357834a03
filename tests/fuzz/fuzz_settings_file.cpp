// Whatever lies in the settings file, the store opens, reads and writes
// without crashing, and never loses the original bytes.
#include "services/Dialogs.h"
#include "services/Failure.h"
#include "services/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

class SilentDialogs final : public services::DialogHost {
public:
    void message(QWidget*, const QString&, const QString&, services::MessageIcon) override {}
    services::Answer askYesNo(QWidget*, const QString&, const QString&) override { return services::Answer::No; }
    QString saveFileName(QWidget*, const QString&, const QString&, QString*) override { return {}; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
};

QTemporaryDir* root = nullptr;

QString settingsPath()
{
    return root->path() + QStringLiteral("/Quillmere/Corvantis.ini");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder Qt makes /tmp/runtime-<user>, which would
    // outlive the run; this one goes when the fuzzer exits.
    static QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    static QApplication application(*argc, *argv);
    // Static, so that the folder goes when the fuzzer exits.
    static QTemporaryDir folder;
    root = &folder;
    qputenv("XDG_CONFIG_HOME", root->path().toUtf8());
    static SilentDialogs silent;
    services::setDialogHost(&silent);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QDir(root->path()).removeRecursively();
    QDir().mkpath(root->path() + QStringLiteral("/Quillmere"));
    const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile file(settingsPath());
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size())
            std::abort();
    }
    services::SettingsStore store;
    for (const auto& [key, value] : store.pairs())
        (void)store.read(key, value);
    try {
        store.write(QStringLiteral("txtAssets0"), QStringLiteral(" Cash"));
    } catch (const services::Failure&) {
    }
    if (store.read(QStringLiteral("txtAssets0"), QString()) != QStringLiteral(" Cash"))
        std::abort();
    // What the store wrote reads back the same, whatever the keys and values.
    if (QFileInfo::exists(settingsPath())) {
        const services::SettingsStore reread;
        if (reread.pairs() != store.pairs() || !reread.keptAsidePath().isEmpty())
            std::abort();
    }
    // A file that was moved aside keeps its bytes.
    if (!store.keptAsidePath().isEmpty()) {
        QFile aside(store.keptAsidePath());
        if (!aside.open(QIODevice::ReadOnly) || aside.readAll() != original)
            std::abort();
    }
    return 0;
}
