#include "tests/support/OutsidePrograms.h"

#include "tests/support/TestSupport.h"

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

// ssconvert's CSV of the balance sheet; recalculated first when asked.
std::optional<CsvGrid> gnumericCsv(const QString& xlsPath, bool recalculate)
{
    const QString ssconvert = executable("ssconvert");
    if (ssconvert.isEmpty())
        return std::nullopt;
    const QString csvPath = xlsPath + (recalculate ? QStringLiteral(".recalc.csv") : QStringLiteral(".stored.csv"));
    QFile::remove(csvPath);
    QStringList arguments;
    if (recalculate)
        arguments << QStringLiteral("--recalc");
    arguments << QStringLiteral("-T") << QStringLiteral("Gnumeric_stf:stf_assistant") << QStringLiteral("-O")
              << gnumericCsvOptions(QStringLiteral("Balance Sheet")) << xlsPath << csvPath;
    const ProgramRun result = runProgram(ssconvert, arguments, 120);
    EXPECT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    // Gnumeric says nothing on stderr about a file it reads without trouble.
    EXPECT_EQ(complaints(result.err), QStringList()) << "ssconvert complained about " << xlsPath.toStdString();
    const std::optional<CsvGrid> grid =
        anchoredAt(parseCsv(readFileBytes(csvPath)), QStringLiteral("Balance Sheet"), 1, 1);
    EXPECT_TRUE(grid.has_value()) << "no title in ssconvert's CSV of " << xlsPath.toStdString();
    return grid;
}

} // namespace testing_support
