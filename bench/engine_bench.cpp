// The engine's fill cycle, median of many, against Gnumeric doing the same
// kind of work on the same file: read it, recalculate, write it.
//
//   ./build/bench/engine_bench [cycles] [ssconvert runs]
//
// A cycle reads the carried template bytes, enters the date and the 24 sample
// amounts, recalculates and writes the .xls. ssconvert --recalc converts the
// filled .xls to .xls; its time includes starting the program.
#include "resources/TemplateWorkbook.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/XlsFile.h"

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

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

CellAddress at(const char* a1)
{
    const QString text = QLatin1String(a1);
    int column = 0;
    qsizetype i = 0;
    while (i < text.size() && text[i].isLetter())
        column = column * 26 + (text[i++].unicode() - u'A' + 1);
    return {text.mid(i).toInt() - 1, column - 1};
}

const std::pair<const char*, double> kSample[] = {
    {"D11", 100000}, {"D12", 300000}, {"D13", 40000},  {"D14", 150000}, {"D15", 50000}, {"D16", 88000},
    {"D19", 200000}, {"D20", 120000}, {"D21", 550000}, {"D22", 43000},  {"D23", 110000}, {"D24", 8000},
    {"D25", 30000},  {"D26", 5000},   {"H11", 58000},  {"H12", 10000},  {"H13", 5000},  {"H14", 10000},
    {"H15", 72000},  {"H16", 44000},  {"H19", 0},      {"H20", 0},      {"H25", 248000}, {"H26", 110000},
};
constexpr double kDateSerial = 45658; // 1 January 2025

void enter(Worksheet& sheet, const char* a1, double value)
{
    Cell& cell = sheet.cellAt(at(a1));
    cell = Cell{value, {}, cell.formatIndex};
}

QByteArray fillCycle(const QByteArray& templateBytes)
{
    Workbook book = readXlsFile(templateBytes);
    Worksheet& sheet = book.sheets[0];
    enter(sheet, "C3", kDateSerial);
    for (const auto& [cell, amount] : kSample)
        enter(sheet, cell, amount);
    recalculate(book);
    book.isTemplate = false;
    return writeXlsFile(book);
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
        engine.push_back(timer.nsecsElapsed() / 1e6);
    }
    // A cycle that computed the wrong totals would time nothing worth timing.
    const Cell* total = readXlsFile(filled).sheets[0].cell(at("D30"));
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
        const double ms = timer.nsecsElapsed() / 1e6;
        if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 ||
            !QFile::exists(out)) {
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
