#include "entry/Form1.h"
#include "generation/RunFiles.h"
#include "resources/ProgramVersion.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QLatin1String(resources::kCompany));
    QApplication::setApplicationName(QLatin1String(resources::kProduct));
    QApplication::setApplicationVersion(QLatin1String(resources::kVersion));
    QGuiApplication::setDesktopFileName(QLatin1String(resources::kDesktopFileId));

    // Workbooks of earlier runs that ended without cleaning up (a crash, a
    // kill) hold the user's figures: they go before anything else runs.
    generation::removeLeftoverWorkbooks();

    entry::Form1 entryWindow;
    entryWindow.show();
    return application.exec();
}
