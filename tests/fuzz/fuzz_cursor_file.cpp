// The pointer image beside the program is read from whatever file is there.
#include "services/Failure.h"
#include "services/MousePointer.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a runtime folder Qt makes /tmp/runtime-<user>, which would
    // outlive the run; this one goes when the fuzzer exits.
    static QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    static QGuiApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const QCursor cursor = services::cursorFromBytes(
            QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QStringLiteral("fuzz"));
        const QPoint hot = cursor.hotSpot();
        const QSize picture = cursor.pixmap().size();
        if (hot.x() < 0 || hot.y() < 0 || hot.x() >= std::max(1, picture.width())
            || hot.y() >= std::max(1, picture.height()))
            std::abort();
    } catch (const services::Failure&) {
    }
    return 0;
}
