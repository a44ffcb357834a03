#pragma once

#include "services/Failure.h"

#include <QByteArray>
#include <QString>

namespace services {

// Whether a written file must survive a crash of the machine, or is a scratch
// file the program reads back and deletes at once.
enum class Durability { Synced, Scratch };

// A file that could not be written whole; the file that was at the name is
// unchanged unless `replaced()`.
class WriteFailure : public Failure {
public:
    WriteFailure(const QString& path, const QString& reason, bool replaced);
    const QString& path() const noexcept { return path_; }
    // Why, in words ("No space left on device").
    const QString& reason() const noexcept { return reason_; }
    // True only when the new file is in place but its folder could not be
    // synced, so the replacement might not survive a crash.
    bool replaced() const noexcept { return replaced_; }

private:
    QString path_;
    QString reason_;
    bool replaced_;
};

// Replaces the file at `path` whole or not at all: the bytes go to a new,
// exclusively created file beside it; every write, the sync and the close
// are checked and the size compared, and only then is it renamed over the
// name. A link at the name is replaced, never written through. A replaced
// file keeps its permission bits. Dropped before commit(), nothing changes.
// Every member throws WriteFailure.
class WholeFileWriter {
public:
    WholeFileWriter(const QString& path, Durability durability = Durability::Synced);
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    void write(const QByteArray& bytes);
    void commit();

private:
    [[noreturn]] void failWithErrno(const char* during) const;

    QString path_;
    Durability durability_;
    QByteArray pendingName_; // empty once renamed or never made
    int fd_ = -1;
    qint64 size_ = 0;
};

// The file at `path` replaced by exactly `bytes`, as WholeFileWriter does.
void writeFileWhole(const QString& path, const QByteArray& bytes, Durability durability = Durability::Synced);

} // namespace services
