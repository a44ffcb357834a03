#include "spreadsheet/Automation.h"

#include "spreadsheet/AutomationState.h"
#include "spreadsheet/CellInput.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/SheetPainter.h"
#include "spreadsheet/XlsFile.h"
#include "services/WholeFile.h"

#include <QClipboard>
#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>

namespace spreadsheet::automation {
namespace {

QString fileNameOf(const WorkbookState& workbook)
{
    return QFileInfo(workbook.path).fileName();
}

// Whom a save names as its author: the login name, or nobody.
QString loginName()
{
    for (const char* variable : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
    return QString();
}

// The file is replaced whole or not at all, and a link at the name is
// replaced rather than written through.
void replaceFile(const QString& path, const QByteArray& bytes)
{
    try {
        services::writeFileWhole(path, bytes);
    } catch (const services::WriteFailure& error) {
        fail(QStringLiteral("The workbook cannot be saved as \"%1\": %2.").arg(path, error.reason()));
    }
}

// "A1:I31"; a template because a Range's area is its own private type.
template <class Area>
QString areaName(const Area& area)
{
    return cellName({area.firstRow, area.firstColumn}) + u':' + cellName({area.lastRow, area.lastColumn});
}

} // namespace

// ---------------------------------------------------------------- Workbook

Workbook::Workbook(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook)
    : application_(std::move(application)), workbook_(std::move(workbook))
{
}

void Workbook::SaveAs(const QString& path, int fileFormat)
{
    requireOpen(*application_, *workbook_);
    if (fileFormat != xlExcel8 && fileFormat != xlWorkbookNormal)
        fail(QStringLiteral("The workbook cannot be saved in file format %1: the engine writes Excel 97-2003 "
                            "workbooks (.xls), format 56 or -4143.")
                 .arg(fileFormat));
    if (path.trimmed().isEmpty())
        fail(QStringLiteral("The workbook cannot be saved: no file name was given."));
    const QString target = QFileInfo(path).absoluteFilePath();
    if (workbook_->readOnly && QFileInfo(target).canonicalFilePath() == QFileInfo(workbook_->path).canonicalFilePath()
        && QFileInfo::exists(target))
        fail(QStringLiteral("\"%1\" was opened read-only and cannot be saved over itself; save it under another "
                            "name.")
                 .arg(fileNameOf(*workbook_)));

    // What a save changes is kept only when the file is written.
    spreadsheet::Workbook saved = workbook_->model;
    recalculate(saved);
    saved.isTemplate = false;
    saved.writeAccessUser = loginName();
    saved.properties.lastSavedBy = loginName();
    saved.properties.lastSaved = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
    saved.properties.applicationName = QStringLiteral("Microsoft Excel");
    QByteArray bytes;
    try {
        bytes = writeXlsFile(saved);
    } catch (const std::exception& error) {
        fail(QStringLiteral("The workbook cannot be saved as \"%1\": %2").arg(target, QString::fromUtf8(error.what())));
    }
    replaceFile(target, bytes);
    workbook_->model = std::move(saved);
    workbook_->resultsStale = false;
    workbook_->path = target;
    workbook_->readOnly = false;
}

void Workbook::Close()
{
    requireOpen(*application_, *workbook_);
    workbook_->open = false;
    workbook_->model = {};
    application_->workbooks.removeOne(workbook_);
    if (application_->active == workbook_)
        application_->active = application_->workbooks.isEmpty() ? nullptr : application_->workbooks.last();
}

automation::Worksheet Workbook::ActiveSheet() const
{
    requireOpen(*application_, *workbook_);
    return automation::Worksheet(application_, workbook_, workbook_->model.activeSheet());
}

// ---------------------------------------------------------------- Worksheet

Worksheet::Worksheet(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook,
                     int sheet)
    : application_(std::move(application)), workbook_(std::move(workbook)), sheet_(sheet)
{
}

automation::Range Worksheet::Cells(int row, int column) const
{
    requireOpen(*application_, *workbook_);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        fail(QStringLiteral("There is no cell at row %1, column %2: a sheet has rows 1 to %3 and columns 1 to %4.")
                 .arg(row)
                 .arg(column)
                 .arg(kMaxRows)
                 .arg(kMaxColumns));
    return automation::Range(application_, workbook_, sheet_, {row - 1, column - 1, row - 1, column - 1});
}

automation::Range Worksheet::UsedRange() const
{
    requireOpen(*application_, *workbook_);
    const RangeAddress used = workbook_->model.sheets[sheet_].usedRange();
    return automation::Range(application_, workbook_, sheet_,
                             {used.first.row, used.first.column, used.last.row, used.last.column});
}

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
        fail(QStringLiteral("Cells can be selected only on the active sheet, and sheet \"%1\" of \"%2\" is not "
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
        fail(QStringLiteral("There is no row %1 in the cells %2: they have rows 1 to %3.")
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
        fail(QStringLiteral("There is no column %1 in the cells %2: they have columns 1 to %3.")
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
        fail(QStringLiteral("The picture cannot be copied: the program has no clipboard."));
    if (workbook_->resultsStale) {
        recalculate(workbook_->model);
        workbook_->resultsStale = false;
    }
    // The new picture replaces the clipboard's before it is drawn: the old
    // one's memory is free for it, and a refused or failed copy leaves no
    // earlier picture to be taken for this range.
    QGuiApplication::clipboard()->clear();
    const QImage picture = paintRange(workbook_->model, sheet_,
                                      {{area_.firstRow, area_.firstColumn}, {area_.lastRow, area_.lastColumn}});
    if (picture.isNull())
        fail(QStringLiteral("The cells %1 of sheet \"%2\" could not be drawn.")
                 .arg(areaName(area_),
                      workbook_->model.sheets[sheet_].name));
    QGuiApplication::clipboard()->setImage(picture);
}

} // namespace spreadsheet::automation
