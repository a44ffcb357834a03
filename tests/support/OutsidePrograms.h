#pragma once

// Running the programs nobody here wrote (Gnumeric, LibreOffice, Python
// readers) on the files we write.

#include "tests/support/Csv.h"

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

// ssconvert's CSV of the sheet "Balance Sheet", recalculated first when
// asked, placed with its title at B2; test failures for any complaint.
std::optional<CsvGrid> gnumericCsv(const QString& xlsPath, bool recalculate);

// LibreOffice's CSV of the first sheet, raw values, from a private profile
// in which .xlsx files are recalculated on load as .xls files always are;
// test failures for any complaint.
std::optional<CsvGrid> libreOfficeCsv(const QString& path);

} // namespace testing_support
