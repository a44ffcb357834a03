#include "tests/support/Csv.h"

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

} // namespace testing_support
