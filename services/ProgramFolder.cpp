#include "services/ProgramFolder.h"

#include <QCoreApplication>

namespace services {
namespace {
QString folderOverride;
}

QString programFolder()
{
    QString folder = folderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

QString besideProgram(const QString& relativePath)
{
    return programFolder() + u'/' + relativePath;
}

void setProgramFolderForTesting(const QString& folder)
{
    folderOverride = folder;
}

} // namespace services
