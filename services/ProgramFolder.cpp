#include "services/ProgramFolder.h"

#include "resources/ProgramVersion.h"
#include "services/Failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace services {
namespace {
QString folderOverride;
}

QString programFolder()
{
    // applicationDirPath() resolves the executable through /proc/self/exe,
    // links included.
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

QString userStateFolder()
{
    // A relative $XDG_STATE_HOME is invalid and ignored.
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + u'/' + QLatin1String(resources::kCompany) + u'/'
                           + QLatin1String(resources::kProduct));
}

QString makeUserStateFolder()
{
    const QString folder = userStateFolder();
    // Each missing folder from the top down, as the base directory rules
    // ask: mode 0700.
    QStringList missing;
    for (QString path = folder; !QFileInfo::exists(path) && path != QDir::rootPath(); path = QFileInfo(path).path())
        missing.prepend(path);
    for (const QString& path : missing) {
        if (::mkdir(QFile::encodeName(path).constData(), S_IRWXU) == 0 || errno == EEXIST)
            continue;
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        throw Failure(QStringLiteral("Could not make the folder %1: %2.").arg(QDir::toNativeSeparators(path), reason));
    }
    return folder;
}

} // namespace services
