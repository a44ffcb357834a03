#include "generation/RunFiles.h"

#include "services/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace generation {

namespace {

const QString kPrivateFolderPrefix = QStringLiteral("corvantis-run-");
// A name claimed this recently may be a run of another copy between its
// claim and its lock.
constexpr qint64 kClaimGraceSeconds = 120;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isPrivateFolderOfThisUser(const QString& folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

// This process's own folder, locked while it lives so that another copy's
// clean-up leaves it alone, and removed at exit when the run left it empty.
class PrivateFolder {
public:
    PrivateFolder()
    {
        QByteArray pattern = QFile::encodeName(QDir::tempPath() + u'/' + kPrivateFolderPrefix) + "XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw services::Failure(QStringLiteral("A private temporary folder cannot be made in \"%1\": %2")
                                        .arg(QDir::tempPath(), systemError(errno)));
        path_ = QFile::decodeName(pattern);
        lock_ = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lock_ >= 0)
            ::flock(lock_, LOCK_SH);
    }
    ~PrivateFolder()
    {
        ::rmdir(QFile::encodeName(path_).constData());
        if (lock_ >= 0)
            ::close(lock_);
    }
    const QString& path() const { return path_; }

private:
    QString path_;
    int lock_ = -1;
};

int openExclusive(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool isWorkbookName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^vetrik[1-9]{8}\\.xls$"));
    return pattern.match(name).hasMatch();
}

// True when no process holds a lock on the open file.
bool nobodyHolds(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    ::flock(fd, LOCK_UN);
    return true;
}

// Deletes the file when it is this user's plain file, old enough not to be a
// claim in progress, and nobody holds it.
bool removeIfLeftOver(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool removed = false;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid()
        && QDateTime::currentSecsSinceEpoch() - info.st_mtime >= kClaimGraceSeconds && nobodyHolds(fd)) {
        // Only when the name still is the file that was checked.
        struct stat now {};
        removed = ::lstat(name.constData(), &now) == 0 && now.st_dev == info.st_dev && now.st_ino == info.st_ino
            && ::unlink(name.constData()) == 0;
    }
    ::close(fd);
    return removed;
}

// An earlier run's private folder: emptied of its workbooks and removed,
// unless its process still runs (it holds the folder's lock).
int removeLeftoverPrivateFolder(const QString& folder)
{
    if (!isPrivateFolderOfThisUser(folder))
        return 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int removed = 0;
    if (nobodyHolds(fd)) {
        removed = removeLeftoverWorkbooks(folder);
        ::rmdir(QFile::encodeName(folder).constData());
    }
    ::close(fd);
    return removed;
}

int heldWorkbook = -1;

} // namespace

QString runTempFolder()
{
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    // No TEMP: only folders no one else can enter, so no one can plant names.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolderOfThisUser(runtime))
        return runtime;
    static PrivateFolder folder;
    return folder.path();
}

bool claimNewFile(const QString& path)
{
    const int fd = openExclusive(path);
    if (fd < 0) {
        if (errno == EEXIST || errno == ELOOP)
            return false;
        throw services::Failure(
            QStringLiteral("Could not create %1: %2").arg(QDir::toNativeSeparators(path), systemError(errno)));
    }
    ::close(fd);
    return true;
}

double drawNameFraction(const std::function<double()>& draw, int digitIndex)
{
    if (draw)
        return draw();
    // A small generator: seeding a Mersenne twister afresh for each of the
    // eight draws cost more than writing the workbook's cells.
    std::minstd_rand generator(quint32(QDateTime::currentMSecsSinceEpoch() ^ (quint64(digitIndex) << 20))
                               ^ QRandomGenerator::system()->generate());
    // Its values run from min() (1) to max(): this is below 1.
    return double(generator() - std::minstd_rand::min()) / double(std::minstd_rand::max());
}

int nameDigit(double fraction)
{
    return std::clamp(int(fraction * 9) + 1, 1, 9);
}

void holdWorkbook(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        ::flock(fd, LOCK_SH | LOCK_NB);
    if (heldWorkbook >= 0)
        ::close(heldWorkbook);
    heldWorkbook = fd;
}

int removeLeftoverWorkbooks(const QString& folder)
{
    if (folder.isEmpty())
        return 0;
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString& name : names) {
        if (isWorkbookName(name) && removeIfLeftOver(folder + u'/' + name))
            ++removed;
    }
    return removed;
}

int removeLeftoverWorkbooks()
{
    int removed = 0;
    QStringList folders;
    for (const char* variable : {"TEMP", "XDG_RUNTIME_DIR"}) {
        const QString folder = qEnvironmentVariable(variable);
        if (QDir::isAbsolutePath(folder) && !folders.contains(folder))
            folders.append(folder);
    }
    for (const QString& folder : folders)
        removed += removeLeftoverWorkbooks(folder);
    const QDir system(QDir::tempPath());
    const QStringList leftovers =
        system.entryList({kPrivateFolderPrefix + u'*', QStringLiteral("corvantis-%1").arg(::getuid())},
                         QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& name : leftovers)
        removed += removeLeftoverPrivateFolder(system.filePath(name));
    return removed;
}

} // namespace generation
