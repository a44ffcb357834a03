#pragma once

#include "services/Dialogs.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <deque>
#include <functional>

class QProcess;

namespace testing_support {

// One box the program showed.
struct ShownMessage {
    QString title;
    QString text;
    services::MessageIcon icon;
};

// Answers every box and file dialog without a person, and keeps what was
// shown. Installed for the whole test process by the test main.
class RecordingDialogs final : public services::DialogHost {
public:
    void message(QWidget* parent, const QString& title, const QString& text, services::MessageIcon icon) override;
    services::Answer askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                         QString* selectedFilter) override;
    // Prints to a PDF file: printedTo when set, else cancels.
    bool choosePrinter(QWidget* parent, QPrinter& printer) override;

    QList<ShownMessage> messages;
    QList<ShownMessage> questions;
    QList<std::pair<QString, QString>> fileDialogs; // caption, filter
    QStringList filtersShownFirst;
    std::deque<services::Answer> answers; // default Yes
    std::deque<QString> fileNames;        // default cancel
    std::deque<QString> chosenFilters;    // default the one shown first
    QString printedTo;
    int printDialogs = 0;
    // Also writes each message to stderr, for checks in ended processes.
    bool echoToStderr = false;
};

RecordingDialogs& recordedDialogs();

// Run by the test main around the application's life: after the private
// folders are set and before Qt starts, and after Qt has ended.
void setProcessHooks(void (*beforeApplication)(), void (*afterApplication)());

// The private folders of this test process (made before QApplication).
QString testRoot();
QString configHome(); // $XDG_CONFIG_HOME
QString programDir(); // the folder beside the program (reg.txt, HAND-M.CUR, x/o.cjs)
QString settingsFilePath();

// Writes the settings file directly, as a previous run would have left it.
void writeSettingsFile(const QList<std::pair<QString, QString>>& values);
// Reads one stored value straight from the file; null when missing.
QString storedValue(const QString& key);

// Replaces the file with exactly these bytes, making its folder first. A
// failure is a fatal test failure (check with ASSERT_NO_FATAL_FAILURE).
void writeFileBytes(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFileBytes(const QString& path);

// Removes everything inside the folder (links themselves, not their
// targets), keeping the folder.
void emptyFolder(const QString& path);

// A file named so in $TEMP, where the generation run keeps its files.
QString tempPath(const QString& name);
// The carried template written as the generation run writes it before
// opening it: $TEMP/template.xlt.
QString writeTemplate();

// Starts `child` and reads its standard output until what it wrote
// satisfies `ready` (or it ends, or a minute passes), then kills it with
// SIGKILL. Returns all it wrote; the test fails unless the kill ended it.
QByteArray outputUntilKilled(QProcess& child, const std::function<bool(const QByteArray&)>& ready);

} // namespace testing_support
