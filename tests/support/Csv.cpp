#include "tests/support/Csv.h"

#include "spreadsheet/Value.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace testing_support {

CsvGrid parseCsv(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    CsvGrid grid;
    int row = 0, column = 0;
    QString field;
    bool quoted = false, wasQuoted = false;
    auto endField = [&] {
        if (!field.isEmpty() || wasQuoted)
            grid[{row, column}] = field;
        field.clear();
        wasQuoted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (quoted) {
            if (ch == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += text[++i];
            else if (ch == u'"')
                quoted = false;
            else
                field += ch;
        } else if (ch == u'"') {
            quoted = wasQuoted = true;
        } else if (ch == u',') {
            endField();
            ++column;
        } else if (ch == u'\n') {
            endField();
            ++row;
            column = 0;
        } else if (ch != u'\r') {
            field += ch;
        }
    }
    endField();
    return grid;
}

QString csvField(const CsvGrid& grid, int row, int column)
{
    const auto found = grid.find({row, column});
    return found == grid.end() ? QString() : found->second;
}

QString csvField(const CsvGrid& grid, const char* a1)
{
    const spreadsheet::CellAddress at = spreadsheet::cellAddress(QString::fromLatin1(a1));
    return csvField(grid, at.row, at.column);
}

std::optional<CsvGrid> anchoredAt(const CsvGrid& csv, const QString& text, int row, int column)
{
    for (const auto& [where, field] : csv) {
        if (field == text) {
            const int down = row - where.first, right = column - where.second;
            CsvGrid moved;
            for (const auto& [at, value] : csv)
                moved[{at.first + down, at.second + right}] = value;
            return moved;
        }
    }
    return std::nullopt;
}

QString gnumericCsvOptions(const QString& sheet)
{
    return QStringLiteral("separator=, format=raw eol=unix sheet=\"%1\"").arg(sheet);
}

std::optional<CsvGrid> gnumericRecalculatedBalanceSheet(const QString& xlsPath, QString* problem)
{
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty()) {
        *problem = QStringLiteral("ssconvert is not installed (tools/install-dependencies.sh installs it)");
        return std::nullopt;
    }
    const QString csvPath = xlsPath + QStringLiteral(".csv");
    QProcess process;
    process.start(ssconvert,
                  {QStringLiteral("--recalc"), QStringLiteral("-T"), QStringLiteral("Gnumeric_stf:stf_assistant"),
                   QStringLiteral("-O"), gnumericCsvOptions(QStringLiteral("Balance Sheet")), xlsPath, csvPath});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *problem = QStringLiteral("ssconvert failed: ") + QString::fromUtf8(process.readAllStandardError());
        return std::nullopt;
    }
    QFile csv(csvPath);
    if (!csv.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("ssconvert wrote no CSV: ") + csv.errorString();
        return std::nullopt;
    }
    std::optional<CsvGrid> grid = anchoredAt(parseCsv(csv.readAll()), QStringLiteral("Balance Sheet"), 1, 1);
    if (!grid)
        *problem = QStringLiteral("no title in ssconvert's CSV");
    return grid;
}

} // namespace testing_support
