// Whatever the bytes, the compound-document reader gives a document or a
// FileFormatError; a document it gives writes back and reads again the same
// (its workbook stream padded to the mini-stream cutoff).
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/Value.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    spreadsheet::CompoundDocument document;
    try {
        document = spreadsheet::readCompoundDocument(bytes);
    } catch (const spreadsheet::FileFormatError&) {
        return 0;
    }
    // Anything thrown from here on is a finding.
    const spreadsheet::CompoundDocument again =
        spreadsheet::readCompoundDocument(spreadsheet::writeCompoundDocument(document));
    // A workbook stream under 4096 bytes is written padded with zeros.
    QByteArray workbook = document.workbook;
    if (workbook.size() < 4096)
        workbook.append(QByteArray(4096 - workbook.size(), '\0'));
    if (again.workbook != workbook || again.otherStreams != document.otherStreams)
        std::abort();
    // The code page may change: the writer picks one that holds the texts.
    spreadsheet::DocumentProperties expected = document.properties;
    expected.codepage = again.properties.codepage;
    if (!(again.properties == expected))
        std::abort();
    return 0;
}
