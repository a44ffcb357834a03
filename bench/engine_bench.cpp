// The engine's fill cycle, median of many, against Gnumeric doing the same
// kind of work on the same file: read it, recalculate, write it.
//
//   ./build/bench/engine_bench [cycles] [ssconvert runs]
//
// A cycle reads the carried template bytes, enters the date and the 24 sample
// amounts, recalculates and writes the .xls. ssconvert --recalc converts the
// filled .xls to .xls; its time includes starting the program.
#include "bench/Median.h"
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/XlsFile.h"
#include "tests/support/SampleBalanceSheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace spreadsheet;

namespace {

constexpr double kDateSerial = 45658; // 1 January 2025

QByteArray fillCycle(const QByteArray& templateBytes)
{
    return writeXlsFile(sample::filledWorkbook(readXlsFile(templateBytes), sample::sampleAmountsDated(kDateSerial)));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int cycles = argc > 1 ? std::max(50, std::atoi(argv[1])) : 201;
    const int conversions = argc > 2 ? std::max(3, std::atoi(argv[2])) : 11;

    const QByteArray templateBytes = resources::templateWorkbook();
    QByteArray filled = fillCycle(templateBytes); // warm-up, and the file ssconvert gets
    std::vector<double> engine;
    QElapsedTimer timer;
    for (int i = 0; i < cycles; ++i) {
        timer.start();
        filled = fillCycle(templateBytes);
        engine.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    // A cycle that computed the wrong totals would time nothing worth timing.
    const Cell* total = readXlsFile(filled).sheets[0].cell(cellAddress("D30"));
    if (!total || total->value != Value(1794000.0)) {
        std::fprintf(stderr, "the filled workbook's D30 is not 1794000\n");
        return 1;
    }
    const double engineMedian = medianOf(engine);
    std::printf("engine fill cycle (read template, 25 cells, recalculate, write): %d cycles, median %.3f ms,"
                " min %.3f ms, max %.3f ms, %lld bytes\n",
                cycles, engineMedian, *std::min_element(engine.begin(), engine.end()),
                *std::max_element(engine.begin(), engine.end()), static_cast<long long>(filled.size()));

    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty()) {
        std::printf("ssconvert is not installed: no comparison (tools/install-dependencies.sh installs it)\n");
        return 0;
    }
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("filled.xls"));
    const QString out = dir.filePath(QStringLiteral("converted.xls"));
    QFile file(in);
    if (!file.open(QIODevice::WriteOnly) || file.write(filled) != filled.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(in));
        return 1;
    }
    file.close();
    // Gnumeric keeps its settings under HOME: give it a throwaway one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    std::vector<double> gnumeric;
    for (int i = 0; i < conversions; ++i) {
        QFile::remove(out);
        QProcess process;
        process.setProcessEnvironment(environment);
        timer.start();
        process.start(ssconvert, {QStringLiteral("--recalc"), in, out});
        const bool finished = process.waitForFinished(60000);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0
            || !QFile::exists(out)) {
            std::fprintf(stderr, "ssconvert failed: %s\n", process.readAllStandardError().constData());
            return 1;
        }
        gnumeric.push_back(ms);
    }
    const double gnumericMedian = medianOf(gnumeric);
    std::printf("ssconvert --recalc filled.xls converted.xls: %d runs, median %.3f ms, min %.3f ms, max %.3f ms\n",
                conversions, gnumericMedian, *std::min_element(gnumeric.begin(), gnumeric.end()),
                *std::max_element(gnumeric.begin(), gnumeric.end()));
    std::printf("ratio engine cycle / ssconvert: %.4f (ssconvert takes %.1f times as long)\n",
                engineMedian / gnumericMedian, gnumericMedian / engineMedian);
    return 0;
}
