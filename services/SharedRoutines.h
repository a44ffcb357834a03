#pragma once

#include <QByteArray>
#include <QString>

#include "services/WholeFile.h"

class QWidget;

namespace services {

// True when the file or folder can be looked at; never fails.
bool FileExists(const QString& path);
// Lets pending events run once, then deletes the file, ignoring any failure.
void DeleteFileQuietly(const QString& path);
// Replaces the file with exactly the bytes, whole or not at all (a longer
// old file keeps no tail). Throws WriteFailure.
void WriteBytesToFile(const QByteArray& bytes, const QString& path, Durability durability = Durability::Synced);

// Drops the last word at least once, then while longer than 40 characters;
// a name without a blank is kept whole.
QString TitleFromProductName(const QString& productName);
// Sets the application title (from "Corvantis") used by untitled boxes.
void SetAppTitle();
QString AppTitle();

// With the skin file "x/o.cjs" beside the program, paints the window, its
// frames, labels (but those named `keptLabelName`), option buttons, check
// boxes and picture boxes in the button-face colour.
void ApplySkin(QWidget* window, const QString& keptLabelName);
// Paints the window, its frames, labels, option buttons and check boxes in
// the button-face colour; picture boxes keep theirs.
void ApplyBackColor(QWidget* window);

// Rewrites "reg.txt" beside the program with one line per stored setting,
// key ": " value CR LF; where it cannot be made there, in the user's state
// folder (userStateFolder()). Reports its own failures; the result is always
// empty.
QString RegistryCapture();

// The character the user's number format puts before the fraction.
QString LocalDecimalSeparator();
// Replaces every "." and then every "," by the local decimal separator.
QString ToLocalDecimal(const QString& numberText);

} // namespace services
