#include "tests/support/OutsidePrograms.h"

#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
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

namespace {

// Raw values: the ninth token ("save cell contents as shown") is false; the
// twelfth picks the first sheet. Comma, double quote, UTF-8, US English.
const QString kLibreOfficeCsvFilter =
    QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,1033,false,true,false,false,false,1");

// LibreOffice's start script looks for a Java runtime it does not need for
// Calc; without one installed it says so on every start.
const QStringList kLibreOfficeStartNoise = {
    QStringLiteral("Warning: failed to launch javaldx - java may not function correctly")};

// LibreOffice shows an .xlsx's stored results unless told to recalculate
// (OOXMLRecalcMode 0: always). There is no such setting for .xls files: its
// BIFF import marks every formula dirty, so they are always recalculated.
void recalculateOoxmlIn(const QString& profile)
{
    const QString settings = profile + QStringLiteral("/user/registrymodifications.xcu");
    if (QFile::exists(settings))
        return;
    QDir().mkpath(profile + QStringLiteral("/user"));
    QFile file(settings);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema">
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
</oor:items>
)") > 0);
}

} // namespace

std::optional<CsvGrid> libreOfficeCsv(const QString& path)
{
    const QString soffice = executable("soffice");
    if (soffice.isEmpty())
        return std::nullopt;
    // A private profile, so no user's settings or running instance take part.
    const QString profile = interopFolder() + QStringLiteral("/libreoffice-profile");
    recalculateOoxmlIn(profile);
    const QString outDir = path + QStringLiteral(".libreoffice");
    QDir(outDir).removeRecursively();
    QDir().mkpath(outDir);
    const ProgramRun result =
        runProgram(soffice,
                   {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                    QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                    QStringLiteral("--convert-to"), kLibreOfficeCsvFilter, QStringLiteral("--outdir"), outDir, path},
                   100);
    EXPECT_TRUE(result.problem.isEmpty()) << result.problem.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(complaints(result.err, kLibreOfficeStartNoise), QStringList())
        << "LibreOffice complained about " << path.toStdString();
    const QStringList written = QDir(outDir).entryList({QStringLiteral("*.csv")}, QDir::Files);
    if (written.size() != 1) {
        ADD_FAILURE() << "LibreOffice wrote " << written.size() << " CSV files for " << path.toStdString()
                      << "; stdout: " << result.out.toStdString();
        return std::nullopt;
    }
    return parseCsv(readFileBytes(outDir + u'/' + written.front()));
}

} // namespace testing_support
