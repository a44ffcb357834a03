#include "tests/support/TestSupport.h"

#include "resources/TemplateWorkbook.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdio>

namespace testing_support {

void RecordingDialogs::message(QWidget*, const QString& title, const QString& text, services::MessageIcon icon)
{
    messages.append({title, text, icon});
    if (echoToStderr) {
        std::fprintf(stderr, "MESSAGE[%s|icon %d]\n%s\nEND MESSAGE\n", qPrintable(title), int(icon), qPrintable(text));
        std::fflush(stderr);
    }
}

services::Answer RecordingDialogs::askYesNo(QWidget*, const QString& title, const QString& text)
{
    questions.append({title, text, services::MessageIcon::Question});
    if (answers.empty())
        return services::Answer::Yes;
    const services::Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

QString RecordingDialogs::saveFileName(QWidget*, const QString& caption, const QString& filter, QString* selectedFilter)
{
    fileDialogs.append({caption, filter});
    filtersShownFirst.append(selectedFilter ? *selectedFilter : QString());
    if (!chosenFilters.empty()) {
        if (selectedFilter)
            *selectedFilter = chosenFilters.front();
        chosenFilters.pop_front();
    }
    if (fileNames.empty())
        return QString();
    QString name = fileNames.front();
    fileNames.pop_front();
    return name;
}

bool RecordingDialogs::choosePrinter(QWidget*, QPrinter& printer)
{
    ++printDialogs;
    if (printedTo.isEmpty())
        return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printedTo);
    return true;
}

RecordingDialogs& recordedDialogs()
{
    static RecordingDialogs dialogs;
    return dialogs;
}

QString testRoot()
{
    return qEnvironmentVariable("CORVANTIS_TEST_ROOT");
}

QString configHome()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString programDir()
{
    return testRoot() + QStringLiteral("/program");
}

QString settingsFilePath()
{
    return configHome() + QStringLiteral("/Quillmere/Corvantis.ini");
}

void writeSettingsFile(const QList<std::pair<QString, QString>>& values)
{
    QSettings settings(settingsFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Corvantis"));
    for (const auto& [key, value] : values)
        settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
}

QString storedValue(const QString& key)
{
    const QSettings settings(settingsFilePath(), QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("Corvantis/") + key);
    return value.isValid() ? value.toString() : QString();
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

QByteArray readFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void emptyFolder(const QString& path)
{
    const QDir folder(path);
    const auto entries = folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        const bool removed = entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                                 : QFile::remove(entry.filePath());
        if (!removed)
            ADD_FAILURE() << "cannot remove " << entry.filePath().toStdString();
    }
}

QString tempPath(const QString& name)
{
    return qEnvironmentVariable("TEMP") + u'/' + name;
}

QString writeTemplate()
{
    const QString path = tempPath(QStringLiteral("template.xlt"));
    writeFileBytes(path, resources::templateWorkbook());
    return path;
}

QByteArray outputUntilKilled(QProcess& child, const std::function<bool(const QByteArray&)>& ready)
{
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    if (!child.waitForStarted(10000)) {
        ADD_FAILURE() << "could not start " << child.program().toStdString();
        return {};
    }
    QByteArray output;
    const QDeadlineTimer deadline(60000);
    while (!ready(output) && child.state() == QProcess::Running && !deadline.hasExpired()) {
        child.waitForReadyRead(100);
        output += child.readAllStandardOutput();
    }
    child.kill();
    EXPECT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit) << "it ended before the kill";
    return output + child.readAllStandardOutput();
}

} // namespace testing_support
