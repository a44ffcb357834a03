#include "services/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace services {
namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

QByteArray encodedFolderOf(const QString& path)
{
    return QFile::encodeName(QFileInfo(path).absolutePath());
}

bool syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

} // namespace

WriteFailure::WriteFailure(const QString& path, const QString& reason, bool replaced)
    : Failure(replaced ? QStringLiteral("%1 was written, but may not survive a crash: %2.")
                             .arg(QDir::toNativeSeparators(path), reason)
                       : QStringLiteral("Could not write %1: %2. Nothing there was changed.")
                             .arg(QDir::toNativeSeparators(path), reason)),
      path_(path), reason_(reason), replaced_(replaced)
{
}

WholeFileWriter::WholeFileWriter(const QString& path, Durability durability) : path_(path), durability_(durability)
{
    const QFileInfo target(path);
    const QByteArray name = QFile::encodeName(target.absoluteFilePath());
    struct stat old {};
    const bool hadFile = ::lstat(name.constData(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode))
        throw WriteFailure(path_, QStringLiteral("it is a folder"), false);

    // Hidden, beside the target: the rename must not cross file systems.
    QByteArray pending = encodedFolderOf(path) + "/." + QFile::encodeName(target.fileName()) + ".XXXXXX";
    fd_ = ::mkostemp(pending.data(), O_CLOEXEC);
    if (fd_ < 0)
        failWithErrno(" (while creating a file beside it)");
    pendingName_ = pending;
    const mode_t mode = hadFile && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(fd_, mode) != 0) {
        const int error = errno;
        ::close(fd_);
        ::unlink(pendingName_.constData());
        errno = error;
        failWithErrno(" (while setting its permissions)");
    }
}

WholeFileWriter::~WholeFileWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!pendingName_.isEmpty())
        ::unlink(pendingName_.constData());
}

void WholeFileWriter::failWithErrno(const char* during) const
{
    throw WriteFailure(path_, systemReason(errno) + QLatin1String(during), false);
}

void WholeFileWriter::write(const QByteArray& bytes)
{
    if (fd_ < 0)
        throw WriteFailure(path_, QStringLiteral("the file was already finished"), false);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            failWithErrno(" (while writing)");
        done += written;
    }
    size_ += bytes.size();
}

void WholeFileWriter::commit()
{
    if (fd_ < 0)
        throw WriteFailure(path_, QStringLiteral("the file was already finished"), false);
    if (durability_ == Durability::Synced && ::fdatasync(fd_) != 0)
        failWithErrno(" (while flushing it to disk)");
    struct stat written {};
    if (::fstat(fd_, &written) != 0)
        failWithErrno(" (while checking its size)");
    if (written.st_size != size_)
        throw WriteFailure(path_, QStringLiteral("only %1 of %2 bytes were written").arg(written.st_size).arg(size_),
                           false);
    // The close can report a delayed write error too.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0)
        failWithErrno(" (while closing)");
    const QByteArray name = QFile::encodeName(QFileInfo(path_).absoluteFilePath());
    if (std::rename(pendingName_.constData(), name.constData()) != 0)
        failWithErrno(" (while putting it in place)");
    pendingName_.clear();
    if (durability_ == Durability::Synced && !syncFolder(encodedFolderOf(path_)))
        throw WriteFailure(path_, systemReason(errno) + QStringLiteral(" (while syncing its folder)"), true);
}

void writeFileWhole(const QString& path, const QByteArray& bytes, Durability durability)
{
    WholeFileWriter writer(path, durability);
    writer.write(bytes);
    writer.commit();
}

} // namespace services
