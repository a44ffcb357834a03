#include "generation/ExcelApplication.h"

#include "generation/Excel1.h"

#include <QClipboard>
#include <QGuiApplication>

namespace generation {

void CreateExcelApplication()
{
    // Built first, so a failure leaves ExcelApp as it was.
    ExcelApp = spreadsheet::automation::Application();
}

void ReleaseExcelApplication()
{
    ExcelApp.reset();
}

QImage readClipboardPicture()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QImage();
    return QGuiApplication::clipboard()->image();
}

QImage GetClipboardPicture(int format, const ClipboardRead& read)
{
    Q_UNUSED(format);
    constexpr int kAttempts = 1000;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        try {
            QImage picture = read();
            if (!picture.isNull())
                return picture;
        } catch (...) {
            // A failed read is tried again; it is never reported.
        }
    }
    return QImage();
}

} // namespace generation
