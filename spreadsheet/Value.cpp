#include "spreadsheet/Value.h"

namespace spreadsheet {

QString errorText(ErrorValue error)
{
    switch (error) {
    case ErrorValue::Null: return QStringLiteral("#NULL!");
    case ErrorValue::Div0: return QStringLiteral("#DIV/0!");
    case ErrorValue::Value: return QStringLiteral("#VALUE!");
    case ErrorValue::Ref: return QStringLiteral("#REF!");
    case ErrorValue::Name: return QStringLiteral("#NAME?");
    case ErrorValue::Num: return QStringLiteral("#NUM!");
    case ErrorValue::NA: return QStringLiteral("#N/A");
    }
    return QStringLiteral("#VALUE!");
}

CellAddress cellAddress(const QString& a1)
{
    auto refuse = [&]() -> CellAddress {
        throw std::invalid_argument(QStringLiteral("\"%1\" is not a cell such as D11 (columns A to IV, rows 1 to %2)")
                                        .arg(a1)
                                        .arg(kMaxRows)
                                        .toStdString());
    };
    qsizetype i = 0;
    if (i < a1.size() && a1[i] == u'$')
        ++i;
    int column = 0;
    const qsizetype lettersAt = i;
    for (; i < a1.size() && i - lettersAt < 4; ++i) {
        const char16_t c = a1[i].unicode() & ~0x20; // ASCII upper case
        if (c < u'A' || c > u'Z' || a1[i].unicode() > 0x7F)
            break;
        column = column * 26 + (c - u'A' + 1);
    }
    if (i == lettersAt || column > kMaxColumns)
        return refuse();
    if (i < a1.size() && a1[i] == u'$')
        ++i;
    const qsizetype digitsAt = i;
    int row = 0;
    for (; i < a1.size() && i - digitsAt < 8 && a1[i] >= u'0' && a1[i] <= u'9'; ++i)
        row = row * 10 + (a1[i].unicode() - u'0');
    if (i == digitsAt || i != a1.size() || row < 1 || row > kMaxRows)
        return refuse();
    return {row - 1, column - 1};
}

QString cellName(CellAddress cell)
{
    QString letters;
    for (int n = cell.column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters + QString::number(cell.row + 1);
}

} // namespace spreadsheet
