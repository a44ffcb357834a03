#pragma once

#include <QByteArray>

class QPagedPaintDevice;

// The generated workbook in the forms a user without a spreadsheet program
// can pass on: PDF, paper and .xlsx. Each takes the .xls file's bytes and
// works on its active sheet; each throws services::Failure saying why it
// could not.
namespace generation {

QByteArray workbookAsPdf(const QByteArray& xlsBytes);
QByteArray workbookAsXlsx(const QByteArray& xlsBytes);
void printWorkbook(const QByteArray& xlsBytes, QPagedPaintDevice& device);

} // namespace generation
