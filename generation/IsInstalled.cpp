#include "generation/IsInstalled.h"

#include "services/Dialogs.h"

#include <cstdio>
#include <cstdlib>

namespace generation {

QString excelMissingMessage()
{
    const QString paragraphBreak = QStringLiteral("\r\n\r\n");
    return QStringLiteral("Error 842001. A normal instance of Excel could not be created.") + paragraphBreak
        + QStringLiteral("1. Please make sure Excel is installed on this computer.") + paragraphBreak
        + QStringLiteral("2. Please open Excel normally and make sure a blank spreadsheet opens "
                         "immediately without any interrupting window (such as an Excel file "
                         "recovery window).")
        + paragraphBreak
        + QStringLiteral("3. Please make sure that when you double-click on a XLS or XLSX file that "
                         "Excel opens normally without any interrupting messages.")
        + paragraphBreak
        + QStringLiteral("4. All versions of Excel are supported by this software except for the "
                         "rare Excel Starter and Student editions.");
}

void CheckExcelInstalled(const ApplicationFactory& createApplication)
{
    std::unique_ptr<spreadsheet::automation::Application> application;
    try {
        application =
            createApplication ? createApplication() : std::make_unique<spreadsheet::automation::Application>();
    } catch (...) {
        application.reset(); // any failure means the same as no application
    }
    if (application)
        return;
    services::dialogs().message(nullptr, QString(), excelMissingMessage(), services::MessageIcon::None);
    // Ends at once: no window's closing runs, and every entry is stored already.
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

} // namespace generation
