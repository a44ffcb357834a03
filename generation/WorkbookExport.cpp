#include "generation/WorkbookExport.h"

#include "services/Failure.h"
#include "spreadsheet/SheetPrinting.h"
#include "spreadsheet/XlsFile.h"
#include "spreadsheet/XlsxFile.h"

#include <exception>

namespace generation {
namespace {

spreadsheet::Workbook readWorkbook(const QByteArray& xlsBytes)
{
    try {
        return spreadsheet::readXlsFile(xlsBytes);
    } catch (const std::exception& error) {
        throw services::Failure(
            QStringLiteral("The generated workbook cannot be read: %1").arg(QString::fromUtf8(error.what())));
    }
}

// The engine's refusals become the failure the error report shows.
template <typename Make>
auto made(const char* what, Make make)
{
    try {
        return make();
    } catch (const services::Failure&) {
        throw;
    } catch (const std::exception& error) {
        throw services::Failure(
            QStringLiteral("The %1 cannot be made: %2").arg(QLatin1String(what), QString::fromUtf8(error.what())));
    }
}

} // namespace

QByteArray workbookAsPdf(const QByteArray& xlsBytes)
{
    return made("PDF", [&] {
        const spreadsheet::Workbook workbook = readWorkbook(xlsBytes);
        return spreadsheet::writeSheetPdf(workbook, workbook.activeSheet());
    });
}

QByteArray workbookAsXlsx(const QByteArray& xlsBytes)
{
    return made(".xlsx workbook", [&] { return spreadsheet::writeXlsxFile(readWorkbook(xlsBytes)); });
}

void printWorkbook(const QByteArray& xlsBytes, QPagedPaintDevice& device)
{
    made("printout", [&] {
        const spreadsheet::Workbook workbook = readWorkbook(xlsBytes);
        spreadsheet::printSheet(workbook, workbook.activeSheet(), device);
        return 0;
    });
}

} // namespace generation
