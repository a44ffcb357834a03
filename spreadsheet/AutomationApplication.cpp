#include "spreadsheet/Automation.h"

#include "spreadsheet/AutomationState.h"
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/XlsFile.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

namespace spreadsheet::automation {
namespace {

bool sameFile(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

// "D11", "$D$11", "A1:I31" -> zero-based corners, top left first.
RangeAddress parseReference(const QString& reference)
{
    const QStringList corners = reference.trimmed().split(u':');
    CellAddress a, b;
    try {
        if (corners.size() > 2)
            throw std::invalid_argument("more than two corners");
        a = cellAddress(corners.first());
        b = corners.size() == 2 ? cellAddress(corners.last()) : a;
    } catch (const std::invalid_argument&) {
        refuse(QStringLiteral("\"%1\" is not a reference to cells of a sheet such as D11 or A1:I31 "
                              "(columns A to IV, rows 1 to %2).")
                   .arg(reference)
                   .arg(kMaxRows));
    }
    return {{std::min(a.row, b.row), std::min(a.column, b.column)},
            {std::max(a.row, b.row), std::max(a.column, b.column)}};
}

const std::shared_ptr<WorkbookState>& activeWorkbook(const ApplicationState& application, const QString& wanted)
{
    requireRunning(application);
    if (!application.active)
        refuse(QStringLiteral("No workbook is open, so there is no %1.").arg(wanted));
    return application.active;
}

QByteArray readWorkbookFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        refuse(QStringLiteral("The workbook \"%1\" cannot be opened: there is no such file. "
                              "Check the folder and the file name.")
                   .arg(path));
    if (info.isDir())
        refuse(QStringLiteral("\"%1\" cannot be opened as a workbook: it is a folder.").arg(path));
    if (info.size() > kMaxCompoundFileSize)
        throw FileFormatError(QStringLiteral("\"%1\" cannot be opened as a workbook: at %2 bytes it is larger "
                                             "than the %3 MiB the engine reads.")
                                  .arg(path)
                                  .arg(info.size())
                                  .arg(kMaxCompoundFileSize / (1024 * 1024))
                                  .toStdString());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("The workbook \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        refuse(QStringLiteral("The workbook \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    return bytes;
}

} // namespace

QString fileNameOf(const WorkbookState& workbook)
{
    return QFileInfo(workbook.path).fileName();
}

void requireRunning(const ApplicationState& application)
{
    if (!application.running)
        refuse(QStringLiteral("The spreadsheet application has quit; its workbooks, sheets and cells can no longer "
                              "be used. Start a new one."));
}

void requireOpen(const ApplicationState& application, const WorkbookState& workbook)
{
    requireRunning(application);
    if (!workbook.open)
        refuse(QStringLiteral("The workbook \"%1\" is closed.").arg(fileNameOf(workbook)));
}

// ---------------------------------------------------------------- Application

Application::Application() : state_(std::make_shared<ApplicationState>())
{
    // The clipboard and the fonts that sheets are drawn with belong to the
    // GUI application object.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        refuse(QStringLiteral("The spreadsheet engine cannot start: the program has no GUI application object, "
                              "which the clipboard and the drawing of sheets need."));
}

automation::Workbooks Application::Workbooks() const
{
    requireRunning(*state_);
    return automation::Workbooks(state_);
}

automation::Worksheet Application::Worksheets(int index) const
{
    const std::shared_ptr<WorkbookState>& workbook = activeWorkbook(*state_, QStringLiteral("worksheet %1").arg(index));
    const qsizetype count = workbook->model.sheets.size();
    if (index < 1 || index > count)
        refuse(QStringLiteral("The workbook \"%1\" has no worksheet %2; its worksheets are numbered 1 to %3.")
                   .arg(fileNameOf(*workbook))
                   .arg(index)
                   .arg(count));
    return automation::Worksheet(state_, workbook, index - 1);
}

automation::Range Application::Range(const QString& reference) const
{
    const std::shared_ptr<WorkbookState>& workbook =
        activeWorkbook(*state_, QStringLiteral("active sheet holding %1").arg(reference));
    const RangeAddress area = parseReference(reference);
    return automation::Range(state_, workbook, workbook->model.activeSheet(),
                             {area.first.row, area.first.column, area.last.row, area.last.column});
}

bool Application::DisplayAlerts() const
{
    requireRunning(*state_);
    return state_->displayAlerts;
}

void Application::setDisplayAlerts(bool displayAlerts)
{
    requireRunning(*state_);
    state_->displayAlerts = displayAlerts;
}

bool Application::ScratchSaves() const
{
    requireRunning(*state_);
    return state_->scratchSaves;
}

void Application::setScratchSaves(bool scratchSaves)
{
    requireRunning(*state_);
    state_->scratchSaves = scratchSaves;
}

void Application::Quit()
{
    requireRunning(*state_);
    for (const std::shared_ptr<WorkbookState>& workbook : state_->workbooks) {
        workbook->open = false;
        workbook->model = {};
    }
    state_->workbooks.clear();
    state_->active.reset();
    state_->running = false;
}

QString Application::Version() const
{
    requireRunning(*state_);
    return QStringLiteral("16.0");
}

// ---------------------------------------------------------------- Workbooks

Workbooks::Workbooks(std::shared_ptr<ApplicationState> application) : application_(std::move(application)) {}

automation::Workbook Workbooks::Open(const QString& path, bool readOnly) const
{
    requireRunning(*application_);
    if (path.trimmed().isEmpty())
        refuse(QStringLiteral("No workbook file was named to open."));
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (const std::shared_ptr<WorkbookState>& open : application_->workbooks) {
        if (sameFile(open->path, absolute)) {
            application_->active = open;
            return automation::Workbook(application_, open);
        }
    }
    const QByteArray bytes = readWorkbookFile(absolute);
    auto workbook = std::make_shared<WorkbookState>();
    try {
        workbook->model = readXlsFile(bytes);
        recalculate(workbook->model);
    } catch (const FileFormatError& error) {
        throw FileFormatError(QStringLiteral("\"%1\" cannot be opened as a workbook: %2")
                                  .arg(absolute, QString::fromUtf8(error.what()))
                                  .toStdString());
    } catch (const std::exception& error) {
        refuse(
            QStringLiteral("\"%1\" cannot be opened as a workbook: %2").arg(absolute, QString::fromUtf8(error.what())));
    }
    if (workbook->model.sheets.isEmpty())
        throw FileFormatError(QStringLiteral("\"%1\" cannot be opened as a workbook: it holds no worksheet.")
                                  .arg(absolute)
                                  .toStdString());
    workbook->path = absolute;
    workbook->readOnly = readOnly;
    application_->workbooks.append(workbook);
    application_->active = workbook;
    return automation::Workbook(application_, workbook);
}

int Workbooks::count() const
{
    requireRunning(*application_);
    return int(application_->workbooks.size());
}

automation::Workbook Workbooks::Item(int index) const
{
    requireRunning(*application_);
    const qsizetype count = application_->workbooks.size();
    if (index < 1 || index > count) {
        if (count == 0)
            refuse(QStringLiteral("There is no workbook %1: no workbook is open.").arg(index));
        refuse(
            QStringLiteral("There is no workbook %1: the open workbooks are numbered 1 to %2.").arg(index).arg(count));
    }
    return automation::Workbook(application_, application_->workbooks[index - 1]);
}

automation::Workbook Workbooks::operator()(int index) const
{
    return Item(index);
}

} // namespace spreadsheet::automation
