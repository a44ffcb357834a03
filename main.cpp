#include "entry/Form1.h"
#include "resources/ProgramVersion.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QLatin1String(resources::kCompany));
    QApplication::setApplicationName(QLatin1String(resources::kProduct));
    QApplication::setApplicationVersion(QLatin1String(resources::kVersion));

    entry::Form1 entryWindow;
    entryWindow.show();
    return application.exec();
}
