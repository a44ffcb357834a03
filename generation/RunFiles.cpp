#include "generation/RunFiles.h"

#include "services/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace generation {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int openExclusive(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

} // namespace

QString runTempFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    // No TEMP: a folder only this user can enter, so no one else can plant
    // names in it.
    const QString folder = QDir::tempPath() + QStringLiteral("/corvantis-") + QString::number(::getuid());
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        throw services::Failure(QStringLiteral("The temporary folder \"%1\" cannot be made: %2")
                                    .arg(folder, systemError(errno)));
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
        || (info.st_mode & 077) != 0)
        throw services::Failure(
            QStringLiteral("The temporary folder \"%1\" is not a private folder of this user.").arg(folder));
    return folder;
}

void writeNewFile(const QByteArray& bytes, const QString& path)
{
    const int fd = openExclusive(path);
    if (fd < 0)
        throw services::Failure(QStringLiteral("Could not create %1: %2")
                                    .arg(QDir::toNativeSeparators(path), systemError(errno)));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const int error = errno;
            ::close(fd);
            throw services::Failure(
                QStringLiteral("Could not write %1: %2").arg(QDir::toNativeSeparators(path), systemError(error)));
        }
        done += written;
    }
    if (::close(fd) != 0)
        throw services::Failure(
            QStringLiteral("Could not close %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno)));
}

bool claimNewFile(const QString& path)
{
    const int fd = openExclusive(path);
    if (fd < 0) {
        if (errno == EEXIST || errno == ELOOP)
            return false;
        throw services::Failure(QStringLiteral("Could not create %1: %2")
                                    .arg(QDir::toNativeSeparators(path), systemError(errno)));
    }
    ::close(fd);
    return true;
}

QString randomWorkbookName(const std::function<double()>& draw)
{
    QString name = QStringLiteral("vetrik");
    for (int i = 0; i < 8; ++i) {
        double r;
        if (draw) {
            r = draw();
        } else {
            QRandomGenerator generator(quint32(QDateTime::currentMSecsSinceEpoch() ^ (quint64(i) << 20))
                                       ^ QRandomGenerator::system()->generate());
            r = generator.generateDouble();
        }
        int digit = int(r * 9) + 1;
        digit = std::clamp(digit, 1, 9);
        name += QString::number(digit);
    }
    return name + QStringLiteral(".xls");
}

} // namespace generation
