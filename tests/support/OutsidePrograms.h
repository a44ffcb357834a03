#pragma once

// Running the programs nobody here wrote (Gnumeric, LibreOffice, Python
// readers) on the files we write.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testing_support {

// $TEMP/interop, made when missing: where files for them go, and where they run.
QString interopFolder();
// Writes the bytes there under `fileName`; its full path.
QString writeInteropFile(const QString& fileName, const QByteArray& bytes);

struct ProgramRun {
    QString problem; // empty when the program ran and exited normally
    int exitCode = -1;
    QByteArray out, err;
};
ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutSeconds);

// The program's full path; a test failure when it is not installed.
QString executable(const char* name);

// What a program wrote to stderr, less lines that say nothing about the file.
QStringList complaints(const QByteArray& err, const QStringList& unrelated = {});

} // namespace testing_support
