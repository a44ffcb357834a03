#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The generation run's files in the temporary folder.
namespace generation {

// $TEMP when set and not empty; else a private per-user folder (mode 0700)
// under the system temporary folder, made when missing. Throws Failure.
QString runTempFolder();

// Creates the file and writes the bytes; refuses a name that already exists,
// a symbolic link included, so a planted link is never written through.
// Throws Failure.
void writeNewFile(const QByteArray& bytes, const QString& path);

// Claims the name by creating an empty file exclusively (never through a
// link). False when the name is taken; throws Failure on other errors.
bool claimNewFile(const QString& path);

// "vetrik" + eight digits from 1 to 9 + ".xls". `draw` gives a number in
// [0,1); by default re-seeded from the clock before each digit.
QString randomWorkbookName(const std::function<double()>& draw = {});

} // namespace generation
