#include "spreadsheet/CellInput.h"

#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/NumberFormat.h"
#include "spreadsheet/TypedNumber.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <stdexcept>

namespace spreadsheet {
namespace {

// The most characters a cell's text can hold in the file format.
constexpr qsizetype kMaxCellText = 32767;

double serialOfDate(QDate date, bool date1904)
{
    const QDate first = date1904 ? QDate(1904, 1, 1) : QDate(1900, 1, 1);
    if (!date.isValid())
        refuse(QStringLiteral("An invalid date cannot be put into a cell."));
    if (date < first || date > QDate(9999, 12, 31))
        refuse(QStringLiteral("The date %1 cannot be put into a cell: the workbook's dates run from %2 to 9999-12-31.")
                   .arg(date.toString(Qt::ISODate), first.toString(Qt::ISODate)));
    return dateSerial(date.year(), date.month(), date.day(), date1904);
}

double fractionOfDay(QTime time)
{
    if (!time.isValid())
        refuse(QStringLiteral("An invalid time cannot be put into a cell."));
    return time.msecsSinceStartOfDay() / 86400000.0;
}

Value typedText(const QString& text, const QLocale& locale)
{
    if (text.isEmpty())
        return Empty{};
    if (const std::optional<double> number = readTypedNumber(text, locale, {.percent = true}))
        return *number;
    if (text.size() > kMaxCellText)
        refuse(
            QStringLiteral("A cell holds at most %1 characters; the text has %2.").arg(kMaxCellText).arg(text.size()));
    return text;
}

// The format a cell that does not exist yet is typed into: its row's, else
// its column's, else the default cell format.
int formatOfNewCell(const Worksheet& sheet, CellAddress at)
{
    if (const auto row = sheet.rows.find(at.row); row != sheet.rows.end() && row->second.formatIndex)
        return *row->second.formatIndex;
    for (const ColumnInfo& column : sheet.columns) {
        if (at.column >= column.first && at.column <= column.last)
            return column.formatIndex;
    }
    return Cell().formatIndex;
}

} // namespace

Value typedValue(const QVariant& value, const QLocale& locale, bool date1904)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr: return Empty{};
    case QMetaType::QString: return typedText(value.toString(), locale);
    case QMetaType::QChar: return typedText(QString(value.toChar()), locale);
    case QMetaType::Bool: return value.toBool();
    case QMetaType::QDate: return serialOfDate(value.toDate(), date1904);
    case QMetaType::QDateTime: {
        const QDateTime moment = value.toDateTime();
        if (!moment.isValid())
            refuse(QStringLiteral("An invalid date and time cannot be put into a cell."));
        return serialOfDate(moment.date(), date1904) + fractionOfDay(moment.time());
    }
    case QMetaType::QTime: return fractionOfDay(value.toTime());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            refuse(
                QStringLiteral("The number %1 cannot be put into a cell: cells hold finite numbers only.").arg(number));
        return number;
    }
    default:
        refuse(QStringLiteral("A value of type %1 cannot be put into a cell.")
                   .arg(QString::fromLatin1(value.metaType().name())));
    }
}

void putValue(Worksheet& sheet, RangeAddress area, const Value& value)
{
    const bool blank = std::holds_alternative<Empty>(value);
    for (int row = area.first.row; row <= area.last.row; ++row) {
        for (int column = area.first.column; column <= area.last.column; ++column) {
            const CellAddress at{row, column};
            const auto found = sheet.cells.find({row, column});
            if (found == sheet.cells.end()) {
                // A blank typed into nothing leaves nothing.
                if (!blank)
                    sheet.cellAt(at) = Cell{value, {}, formatOfNewCell(sheet, at)};
                continue;
            }
            found->second.value = value;
            found->second.formula.clear();
        }
    }
}

} // namespace spreadsheet
