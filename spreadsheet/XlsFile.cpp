#include "spreadsheet/XlsFile.h"

#include "spreadsheet/XlsStream.h"

namespace spreadsheet {

Workbook readXlsFile(const QByteArray& fileBytes)
{
    CompoundDocument document = readCompoundDocument(fileBytes);
    Workbook workbook = readWorkbookStream(document.workbook);
    workbook.properties = std::move(document.properties);
    workbook.otherStreams = std::move(document.otherStreams);
    return workbook;
}

QByteArray writeXlsFile(const Workbook& workbook)
{
    CompoundDocument document;
    document.workbook = writeWorkbookStream(workbook);
    document.properties = workbook.properties;
    document.otherStreams = workbook.otherStreams;
    return writeCompoundDocument(document);
}

} // namespace spreadsheet
