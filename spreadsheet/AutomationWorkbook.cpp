#include "spreadsheet/Automation.h"

#include "services/WholeFile.h"
#include "spreadsheet/AutomationState.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/XlsFile.h"

#include <QDateTime>
#include <QFileInfo>

namespace spreadsheet::automation {
namespace {

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
void replaceFile(const QString& path, const QByteArray& bytes, services::Durability durability)
{
    try {
        services::writeFileWhole(path, bytes, durability);
    } catch (const services::WriteFailure& error) {
        refuse(QStringLiteral("The workbook cannot be saved as \"%1\": %2.").arg(path, error.reason()));
    }
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
        refuse(QStringLiteral("The workbook cannot be saved in file format %1: the engine writes Excel 97-2003 "
                              "workbooks (.xls), format 56 or -4143.")
                   .arg(fileFormat));
    if (path.trimmed().isEmpty())
        refuse(QStringLiteral("The workbook cannot be saved: no file name was given."));
    const QString target = QFileInfo(path).absoluteFilePath();
    if (workbook_->readOnly && QFileInfo(target).canonicalFilePath() == QFileInfo(workbook_->path).canonicalFilePath()
        && QFileInfo::exists(target))
        refuse(QStringLiteral("\"%1\" was opened read-only and cannot be saved over itself; save it under another "
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
        refuse(
            QStringLiteral("The workbook cannot be saved as \"%1\": %2").arg(target, QString::fromUtf8(error.what())));
    }
    replaceFile(target, bytes,
                application_->scratchSaves ? services::Durability::Scratch : services::Durability::Synced);
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

Worksheet::Worksheet(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook, int sheet)
    : application_(std::move(application)), workbook_(std::move(workbook)), sheet_(sheet)
{
}

automation::Range Worksheet::Cells(int row, int column) const
{
    requireOpen(*application_, *workbook_);
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        refuse(QStringLiteral("There is no cell at row %1, column %2: a sheet has rows 1 to %3 and columns 1 to %4.")
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

} // namespace spreadsheet::automation
