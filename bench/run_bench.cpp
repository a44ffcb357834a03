// The whole generation run ("Start Creating Template"), median of many, with
// the offscreen platform, beside the nearest thing two spreadsheet programs
// do from the command line with the workbook a run filled: recalculate it into
// an .xls, then draw it into a PDF.
// Peak RSS of this process is printed at the end.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench/run_bench [runs] [conversions]
#include "Median.h"
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "services/Dialogs.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/resource.h>
#include <vector>

namespace {

// A run that reports a failure must not wait for a person.
class CountingDialogs final : public services::DialogHost {
public:
    void message(QWidget*, const QString&, const QString& text, services::MessageIcon) override
    {
        ++reports;
        std::fprintf(stderr, "report: %s\n", qPrintable(text));
    }
    services::Answer askYesNo(QWidget*, const QString&, const QString&) override { return services::Answer::Yes; }
    QString saveFileName(QWidget*, const QString&, const QString&, QString*) override { return {}; }
    bool choosePrinter(QWidget*, QPrinter&) override { return false; }
    int reports = 0;
};

void printTiming(const char* what, const std::vector<double>& ms)
{
    std::printf("%s: %zu runs, median %.2f ms, min %.2f ms, max %.2f ms\n", what, ms.size(), medianOf(ms),
                *std::min_element(ms.begin(), ms.end()), *std::max_element(ms.begin(), ms.end()));
}

std::optional<std::vector<double>> timeProgram(const QString& program, const QStringList& arguments,
                                               const QString& output, const QProcessEnvironment& environment, int runs)
{
    std::vector<double> ms;
    // One untimed run first: a first start fills caches and profiles.
    for (int i = 0; i < runs + 1; ++i) {
        QFile::remove(output);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QElapsedTimer timer;
        timer.start();
        process.start(program, arguments);
        const bool finished = process.waitForFinished(180000);
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        if (!finished || process.exitCode() != 0 || !QFile::exists(output)) {
            if (!finished)
                process.kill();
            std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAll().constData());
            return std::nullopt;
        }
        if (i > 0)
            ms.push_back(elapsed);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
    const QString temp = root.path() + QStringLiteral("/temp");
    QDir().mkpath(temp);
    qputenv("TEMP", temp.toUtf8());
    QApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(50, std::atoi(argv[1])) : 50;
    const int conversions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    QDir().mkpath(root.path() + QStringLiteral("/program"));
    services::setProgramFolderForTesting(root.path() + QStringLiteral("/program"));
    CountingDialogs dialogs;
    services::setDialogHost(&dialogs);

    entry::Form1 window;
    window.PushButton2->click(); // the sample amounts
    // The peers get the workbook of the last run: the same filled sheet.
    const QString filled = root.path() + QStringLiteral("/filled.xls");
    std::vector<double> ms;
    for (int i = 0; i < runs + 1; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.PushButton22_Click();
        const double elapsed = double(timer.nsecsElapsed()) / 1e6;
        // Back to the entry window, as "< Back" would, without timing it.
        if (preview::Form2* form2 = window.form2()) {
            QFile::remove(filled);
            QFile::rename(form2->mExcelFile, filled);
            form2->hide();
        }
        window.show();
        if (i > 0)
            ms.push_back(elapsed);
    }
    std::printf("platform: %s, reports during the runs: %d\n", qPrintable(QGuiApplication::platformName()),
                dialogs.reports);
    printTiming("generation run (template, 25 cells, save .xls, reopen, snapshot, preview)", ms);
    const double ours = medianOf(ms);

    if (!QFile::exists(filled)) {
        std::fprintf(stderr, "the last run left no workbook\n");
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), root.path());

    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty()) {
        std::printf("ssconvert is not installed: no Gnumeric comparison\n");
    } else {
        const QString out = root.path() + QStringLiteral("/gnumeric.xls");
        const QString pdf = root.path() + QStringLiteral("/gnumeric.pdf");
        const auto g = timeProgram(ssconvert, {QStringLiteral("--recalc"), filled, out}, out, environment, conversions);
        const auto gPdf = g ? timeProgram(ssconvert, {out, pdf}, pdf, environment, conversions) : std::nullopt;
        if (g && gPdf) {
            printTiming("ssconvert --recalc filled.xls gnumeric.xls", *g);
            printTiming("ssconvert gnumeric.xls gnumeric.pdf", *gPdf);
            // The nearest equivalent of a run: both conversions, median by median.
            std::printf("ratio run / Gnumeric (both steps): %.4f\n", ours / (medianOf(*g) + medianOf(*gPdf)));
        }
    }
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::printf("soffice is not installed: no LibreOffice comparison\n");
    } else {
        const QString outdir = root.path() + QStringLiteral("/lo");
        const QString profile = QUrl::fromLocalFile(root.path() + QStringLiteral("/lo-profile")).toString();
        if (const auto lo = timeProgram(soffice,
                                        {QStringLiteral("-env:UserInstallation=") + profile,
                                         QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                         QStringLiteral("xls"), QStringLiteral("--outdir"), outdir, filled},
                                        outdir + QStringLiteral("/filled.xls"), environment, conversions)) {
            printTiming("soffice --headless --convert-to xls filled.xls", *lo);
            const QString converted = outdir + QStringLiteral("/filled.xls");
            const QString pdfDir = root.path() + QStringLiteral("/lo-pdf");
            const auto loPdf = timeProgram(soffice,
                                           {QStringLiteral("-env:UserInstallation=") + profile,
                                            QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                                            QStringLiteral("pdf"), QStringLiteral("--outdir"), pdfDir, converted},
                                           pdfDir + QStringLiteral("/filled.pdf"), environment, conversions);
            if (loPdf) {
                printTiming("soffice --headless --convert-to pdf filled.xls", *loPdf);
                std::printf("ratio run / LibreOffice (both steps): %.4f\n", ours / (medianOf(*lo) + medianOf(*loPdf)));
            }
        }
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS of this process: %ld KiB\n", usage.ru_maxrss);
    return dialogs.reports == 0 ? 0 : 2;
}
