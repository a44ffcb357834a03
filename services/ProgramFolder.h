#pragma once

#include <QString>

namespace services {

// The folder of the program file, without a trailing separator. Found from
// the running executable itself, so a link to the program (the launcher on
// the PATH) leads to the folder that holds it.
QString programFolder();
// A path beside the program: besideProgram("reg.txt").
QString besideProgram(const QString& relativePath);
// Tests put their files beside a program of their own.
void setProgramFolderForTesting(const QString& folder);

// The user's folder for what the program keeps of its own runs:
// $XDG_STATE_HOME (when an absolute path), else ~/.local/state, then
// "Quillmere/Corvantis".
QString userStateFolder();
// The same, made when missing (new folders readable by the user only).
// Throws Failure.
QString makeUserStateFolder();

} // namespace services
