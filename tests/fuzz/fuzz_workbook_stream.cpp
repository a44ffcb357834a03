// The workbook stream of an .xls file is outside input: any bytes either read
// as a workbook or end in FileFormatError; what reads must write and read
// back, and recalculating it must not crash.
#include "spreadsheet/Recalculation.h"
#include "spreadsheet/XlsStream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    spreadsheet::Workbook book;
    try {
        book = spreadsheet::readWorkbookStream(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const spreadsheet::FileFormatError&) {
        return 0;
    }
    spreadsheet::recalculate(book);
    QByteArray again;
    try {
        again = spreadsheet::writeWorkbookStream(book);
    } catch (const std::runtime_error&) {
        return 0; // a model the writer refuses (a name too long, say) is told, not stored
    }
    if (spreadsheet::readWorkbookStream(again) != book)
        std::abort();
    return 0;
}
