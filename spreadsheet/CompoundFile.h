#pragma once

// The container of an .xls file: an OLE2 compound document holding the
// "Workbook" stream and the two property-set streams. libgsf does the
// container; this layer keeps the workbook bytes and the properties a
// spreadsheet application shows.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace spreadsheet {

// The document properties a workbook file carries in its two property-set
// streams. Empty texts and invalid times are left out of the file.
struct DocumentProperties {
    // "\005SummaryInformation"
    QString title, subject, author, keywords, comments;
    QString lastSavedBy;
    QString applicationName; // e.g. "Microsoft Excel"
    // Whole seconds, UTC, from 1970 up to 2106 (what the property set stores
    // through libgsf); invalid when absent.
    QDateTime created;
    QDateTime lastSaved;

    // "\005DocumentSummaryInformation"
    QString company, manager, category;
    QStringList worksheetTitles; // titles of parts under the heading pair "Worksheets"
    // User-defined text properties, e.g. {"_TemplateID", "TC..."}. Read back
    // sorted by name (libgsf numbers them in that order); names are unique,
    // non-empty, and none of libgsf's own property names.
    QList<std::pair<QString, QString>> customTexts;

    // The code page of the property sets. Reading gives the one the summary
    // stream declares (65001 for UTF-8). Writing uses it when it can encode
    // every text, and UTF-8 (65001) otherwise; 1200 (UTF-16) is written as
    // UTF-8 too, since libgsf 1.14.50 writes its dictionary wrongly.
    int codepage = 1252;

    friend bool operator==(const DocumentProperties&, const DocumentProperties&) = default;
};

struct CompoundDocument {
    QByteArray workbook; // the "Workbook" stream (BIFF8)
    DocumentProperties properties;
    // Top-level streams other than the three, kept and written back
    // unchanged, in the order the directory sorts them. Storages (folders
    // such as a VBA project) are not kept.
    QList<std::pair<QString, QByteArray>> otherStreams;

    friend bool operator==(const CompoundDocument&, const CompoundDocument&) = default;
};

// The largest file the reader takes.
inline constexpr qsizetype kMaxCompoundFileSize = 64 * 1024 * 1024;

// Reads a compound document. Throws FileFormatError (spreadsheet/Value.h)
// saying what is wrong: not a compound document, cut short, damaged, too
// large, no "Workbook" stream (a "Book" stream, from Excel 5.0/95, is named
// as such and refused), or a Workbook stream that cannot be read whole.
// Property sets are best effort: a damaged one gives what could be read, or
// nothing, and never makes the workbook unreadable (one over 1 MiB, or with
// over 64 vectors of variants, is left unread); the same holds for other
// streams, which are left out when unreadable or unwritable (bad or duplicate
// names).
CompoundDocument readCompoundDocument(const QByteArray& fileBytes);

// Writes a version 3 compound document (512-byte sectors, 64-byte mini
// sectors, mini-stream cut-off 4096) with the streams "Workbook",
// "\005SummaryInformation", "\005DocumentSummaryInformation" and then the
// other streams. The same document always gives the same bytes. Throws
// std::runtime_error for what cannot be written: a bad or duplicate stream
// name, a stream of 4 GiB or more, a custom property name that is empty,
// repeated or one of libgsf's, a text with a NUL character, a time outside
// 1970..2106, or a failure inside libgsf.
QByteArray writeCompoundDocument(const CompoundDocument& document);

} // namespace spreadsheet
