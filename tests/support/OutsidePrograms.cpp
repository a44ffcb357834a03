#include "tests/support/OutsidePrograms.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace testing_support {

QString interopFolder()
{
    const QString dir = qEnvironmentVariable("TEMP") + QStringLiteral("/interop");
    QDir().mkpath(dir);
    return dir;
}

QString writeInteropFile(const QString& fileName, const QByteArray& bytes)
{
    const QString path = interopFolder() + u'/' + fileName;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

ProgramRun runProgram(const QString& program, const QStringList& arguments, int timeoutSeconds)
{
    ProgramRun result;
    QProcess process;
    process.setWorkingDirectory(interopFolder());
    process.start(program, arguments);
    if (!process.waitForStarted(30000)) {
        result.problem = program + QStringLiteral(" did not start: ") + process.errorString();
        return result;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutSeconds * 1000)) {
        process.kill();
        process.waitForFinished(5000);
        result.problem = program + QStringLiteral(" did not finish within %1 s").arg(timeoutSeconds);
    } else if (process.exitStatus() != QProcess::NormalExit) {
        result.problem = program + QStringLiteral(" crashed");
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QString executable(const char* name)
{
    const QString path = QStandardPaths::findExecutable(QLatin1String(name));
    if (path.isEmpty())
        ADD_FAILURE() << name << " is not installed (tools/install-dependencies.sh installs it)";
    return path;
}

QStringList complaints(const QByteArray& err, const QStringList& unrelated)
{
    QStringList lines;
    for (const QString& line : QString::fromUtf8(err).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !unrelated.contains(trimmed))
            lines << trimmed;
    }
    return lines;
}

} // namespace testing_support
