#pragma once

#include <QString>

namespace services {

// The folder of the program file, without a trailing separator.
QString programFolder();
// A path beside the program: besideProgram("reg.txt").
QString besideProgram(const QString& relativePath);
// Tests put their files beside a program of their own.
void setProgramFolderForTesting(const QString& folder);

} // namespace services
