#include "spreadsheet/Automation.h"

#include "spreadsheet/AutomationState.h"
#include "spreadsheet/CellInput.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/SheetPainter.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>

namespace spreadsheet::automation {
namespace {

// "A1:I31"; a template because a Range's area is its own private type.
template <class Area>
QString areaName(const Area& area)
{
    return cellName({area.firstRow, area.firstColumn}) + u':' + cellName({area.lastRow, area.lastColumn});
}

} // namespace

// ---------------------------------------------------------------- Range

Range::Range(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook, int sheet,
             Area area, Counting counting)
    : application_(std::move(application)), workbook_(std::move(workbook)), sheet_(sheet), area_(area),
      counting_(counting)
{
}

void Range::setValue(const QVariant& value) const
{
    requireOpen(*application_, *workbook_);
    spreadsheet::Workbook& model = workbook_->model;
    const Value typed = typedValue(value, QLocale::system(), model.calculation.date1904);
    putValue(model.sheets[sheet_], {{area_.firstRow, area_.firstColumn}, {area_.lastRow, area_.lastColumn}}, typed);
    workbook_->resultsStale = true;
}

void Range::Select() const
{
    requireOpen(*application_, *workbook_);
    spreadsheet::Workbook& model = workbook_->model;
    if (model.activeSheet() != sheet_)
        refuse(QStringLiteral("Cells can be selected only on the active sheet, and sheet \"%1\" of \"%2\" is not "
                              "active.")
                   .arg(model.sheets[sheet_].name, fileNameOf(*workbook_)));
    SheetWindow& window = model.sheets[sheet_].window;
    const RangeAddress area{{area_.firstRow, area_.firstColumn}, {area_.lastRow, area_.lastColumn}};
    window.activeCell = area.first;
    window.selection.clear();
    if (area.first != area.last)
        window.selection = {area};
}

Range Range::Rows() const
{
    requireOpen(*application_, *workbook_);
    return Range(application_, workbook_, sheet_, area_, Counting::Rows);
}

Range Range::Columns() const
{
    requireOpen(*application_, *workbook_);
    return Range(application_, workbook_, sheet_, area_, Counting::Columns);
}

Range Range::Rows(int index) const
{
    requireOpen(*application_, *workbook_);
    const int rows = area_.lastRow - area_.firstRow + 1;
    if (index < 1 || index > rows)
        refuse(QStringLiteral("There is no row %1 in the cells %2: they have rows 1 to %3.")
                   .arg(index)
                   .arg(areaName(area_))
                   .arg(rows));
    const int row = area_.firstRow + index - 1;
    return Range(application_, workbook_, sheet_, {row, area_.firstColumn, row, area_.lastColumn});
}

Range Range::Columns(int index) const
{
    requireOpen(*application_, *workbook_);
    const int columns = area_.lastColumn - area_.firstColumn + 1;
    if (index < 1 || index > columns)
        refuse(QStringLiteral("There is no column %1 in the cells %2: they have columns 1 to %3.")
                   .arg(index)
                   .arg(areaName(area_))
                   .arg(columns));
    const int column = area_.firstColumn + index - 1;
    return Range(application_, workbook_, sheet_, {area_.firstRow, column, area_.lastRow, column});
}

int Range::count() const
{
    requireOpen(*application_, *workbook_);
    const int rows = area_.lastRow - area_.firstRow + 1;
    const int columns = area_.lastColumn - area_.firstColumn + 1;
    switch (counting_) {
    case Counting::Rows: return rows;
    case Counting::Columns: return columns;
    case Counting::Cells: break;
    }
    return rows * columns;
}

int Range::Row() const
{
    requireOpen(*application_, *workbook_);
    return area_.firstRow + 1;
}

int Range::Column() const
{
    requireOpen(*application_, *workbook_);
    return area_.firstColumn + 1;
}

void Range::CopyPicture() const
{
    requireOpen(*application_, *workbook_);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        refuse(QStringLiteral("The picture cannot be copied: the program has no clipboard."));
    if (workbook_->resultsStale) {
        recalculate(workbook_->model);
        workbook_->resultsStale = false;
    }
    // The new picture replaces the clipboard's before it is drawn: the old
    // one's memory is free for it, and a refused or failed copy leaves no
    // earlier picture to be taken for this range.
    QGuiApplication::clipboard()->clear();
    const QImage picture =
        paintRange(workbook_->model, sheet_, {{area_.firstRow, area_.firstColumn}, {area_.lastRow, area_.lastColumn}});
    if (picture.isNull())
        refuse(QStringLiteral("The cells %1 of sheet \"%2\" could not be drawn.")
                   .arg(areaName(area_), workbook_->model.sheets[sheet_].name));
    QGuiApplication::clipboard()->setImage(picture);
}

} // namespace spreadsheet::automation
