#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// The generation run's files in the temporary folder.
namespace generation {

// $TEMP when set and not empty; else the user's runtime folder
// ($XDG_RUNTIME_DIR, when it is a private folder of this user); else a
// private folder (mode 0700, unpredictable name) made once for this process
// under the system temporary folder and removed at exit when empty.
// Throws Failure.
QString runTempFolder();

// Claims the name by creating an empty file exclusively (never through a
// link). False when the name is taken; throws Failure on other errors.
bool claimNewFile(const QString& path);

// The generated workbook's name is "vetrik" + eight digits from 1 to 9 +
// ".xls". Each digit comes from one number in [0,1): `draw`'s, or by default
// one from a generator seeded afresh from the clock for each digit.
double drawNameFraction(const std::function<double()>& draw, int digitIndex);
// The digit 1 to 9 of a number in [0,1).
int nameDigit(double fraction);

// Marks the generated workbook as this process's for as long as it runs (a
// lock on the file), so that another copy of the program starting meanwhile
// leaves it alone. Holding a new one lets the previous one go.
void holdWorkbook(const QString& path);

// Deletes the generated workbooks ("vetrik" + eight digits + ".xls") that
// this user's earlier runs left in `folder` and that no running copy holds,
// and, under the system temporary folder, the private folders such runs
// left. Never touches another user's file or a link. Returns how many files
// it deleted; failures are ignored, as for any quiet deletion.
int removeLeftoverWorkbooks(const QString& folder);
// The same for every folder a run of this user may have used.
int removeLeftoverWorkbooks();

} // namespace generation
