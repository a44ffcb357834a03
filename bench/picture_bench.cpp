// The engine's picture of the filled balance sheet, median of many, against
// LibreOffice and Gnumeric drawing the same .xls to PDF.
//
//   ./build/bench/picture_bench [runs] [conversions] [--keep DIR]
//
// A run takes the program's snapshot of the filled template's sheet: the used
// range copied as a picture to the clipboard, read back and saved as a BMP. The
// programs convert the filled .xls to PDF; their times include starting the
// program (LibreOffice after one untimed run that makes its private profile).
// --keep DIR leaves filled.xls, the engine's PNG and the PDFs in DIR.
#include "bench/Median.h"
#include "generation/Excel1.h"
#include "spreadsheet/Automation.h"
#include "spreadsheet/XlsFile.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

using namespace spreadsheet;

namespace {

struct Timing {
    double median = 0, min = 0, max = 0;
};

Timing timingOf(const std::vector<double>& ms)
{
    return {medianOf(ms), *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end())};
}

// Runs the program `runs` times (after `untimed` runs); none when it is
// missing or fails.
std::optional<Timing> timeProgram(const QString& program, const QStringList& arguments, const QString& output,
                                  const QProcessEnvironment& environment, int runs, int untimed)
{
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < untimed + runs; ++i) {
        QFile::remove(output);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        timer.start();
        process.start(program, arguments);
        const bool finished = process.waitForFinished(180000);
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
            || !QFile::exists(output)) {
            if (!finished)
                process.kill();
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAll().constData());
            return std::nullopt;
        }
        if (i >= untimed)
            ms.push_back(elapsed);
    }
    return timingOf(ms);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QString keep;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else
            numbers.push_back(std::atoi(argv[i]));
    }
    const int runs = numbers.size() > 0 ? std::max(30, numbers[0]) : 51;
    const int conversions = numbers.size() > 1 ? std::max(3, numbers[1]) : 5;

    QTemporaryDir temporary;
    const QString dir = keep.isEmpty() ? temporary.path() : QDir(keep).absolutePath();
    QDir().mkpath(dir);
    const Workbook book = sample::filledTemplate();
    const QString xls = dir + QStringLiteral("/filled.xls");
    {
        const QByteArray bytes = writeXlsFile(book);
        QFile file(xls);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(xls));
            return 1;
        }
    }

    const QString bmp = dir + QStringLiteral("/engine.bmp");
    automation::Application spreadsheetApplication;
    const automation::Workbook opened = spreadsheetApplication.Workbooks().Open(xls);
    std::vector<double> engine;
    QElapsedTimer timer;
    for (int i = 0; i < runs + 1; ++i) { // the first warms the font caches
        QFile::remove(bmp);
        timer.start();
        generation::saveCellsActivesheet(opened, bmp);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!QFile::exists(bmp)) {
            std::fprintf(stderr, "no picture was saved to %s\n", qPrintable(bmp));
            return 1;
        }
        if (i > 0)
            engine.push_back(ms);
    }
    const QImage picture(bmp);
    if (picture.width() != 753) {
        std::fprintf(stderr, "the picture is %d pixels wide, not 753\n", picture.width());
        return 1;
    }
    if (!keep.isEmpty())
        picture.save(dir + QStringLiteral("/engine.png"), "PNG");
    const Timing engineTiming = timingOf(engine);
    std::printf("engine snapshot of A1:I31 (%dx%d): CopyPicture, clipboard, save BMP: %d runs, median %.3f ms, min "
                "%.3f ms, max %.3f ms\n",
                picture.width(), picture.height(), runs, engineTiming.median, engineTiming.min, engineTiming.max);

    // Both programs keep their settings under HOME: give them throwaway ones.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), temporary.path());

    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::printf("soffice is not installed: no LibreOffice comparison\n");
    } else {
        const QString profile = QUrl::fromLocalFile(temporary.path() + QStringLiteral("/lo-profile")).toString();
        const auto lo =
            timeProgram(soffice,
                        {QStringLiteral("-env:UserInstallation=") + profile, QStringLiteral("--headless"),
                         QStringLiteral("--convert-to"), QStringLiteral("pdf"), QStringLiteral("--outdir"), dir, xls},
                        dir + QStringLiteral("/filled.pdf"), environment, conversions, 1);
        if (lo) {
            std::printf(
                "soffice --headless --convert-to pdf filled.xls: %d runs, median %.1f ms, min %.1f ms, max %.1f ms\n",
                conversions, lo->median, lo->min, lo->max);
            std::printf("ratio engine / LibreOffice: %.5f (LibreOffice takes %.0f times as long)\n",
                        engineTiming.median / lo->median, lo->median / engineTiming.median);
        }
    }

    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty()) {
        std::printf("ssconvert is not installed: no Gnumeric comparison\n");
    } else {
        const QString pdf = dir + QStringLiteral("/gnumeric.pdf");
        const auto gnumeric = timeProgram(ssconvert, {xls, pdf}, pdf, environment, conversions, 0);
        if (gnumeric) {
            std::printf("ssconvert filled.xls gnumeric.pdf: %d runs, median %.1f ms, min %.1f ms, max %.1f ms\n",
                        conversions, gnumeric->median, gnumeric->min, gnumeric->max);
            std::printf("ratio engine / Gnumeric: %.5f (Gnumeric takes %.0f times as long)\n",
                        engineTiming.median / gnumeric->median, gnumeric->median / engineTiming.median);
        }
    }
    return 0;
}
