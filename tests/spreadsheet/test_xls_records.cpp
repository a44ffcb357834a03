// The record functions against the records LibreOffice wrote for
// data/records.fods (made by data/make-records-xls.sh): each record is read
// by the engine's reader, written back by its writer, and must come out as
// LibreOffice wrote it but for the fields the model does not keep. Records
// LibreOffice does not write are checked against their documented layout.
#include "spreadsheet/BiffRecords.h"
#include "spreadsheet/XlsStream.h"

#include <QFile>
#include <gtest/gtest.h>

#include <functional>

using namespace spreadsheet;
using namespace spreadsheet::biff;

namespace {

QByteArray workbookStream()
{
    QFile file(QStringLiteral(RECORDS_XLS));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot open " RECORDS_XLS);
    return readCompoundDocument(file.readAll()).workbook;
}

QList<Record> recordsOf(const QByteArray& stream)
{
    RecordReader reader(stream);
    QList<Record> records;
    while (!reader.atEnd())
        records.append(reader.next());
    return records;
}

// The first record a writer makes (SST's EXTSST is left out).
Record written(const std::function<void(RecordWriter&)>& write)
{
    RecordWriter out;
    write(out);
    return RecordReader(out.stream()).next();
}

template <auto read, auto write>
Record rewrite(const Record& record)
{
    return written([&](RecordWriter& out) { write(out, read(record)); });
}

// For records that fill some fields of a larger part of the model.
template <typename Part, auto read, auto write>
Record rewriteInto(const Record& record)
{
    Part part;
    read(record, part);
    return written([&](RecordWriter& out) { write(out, part); });
}

Record flag(const Record& r)
{
    return written([&](RecordWriter& out) { writeFlag(out, r.type, readFlag(r, "flag")); });
}
Record word(const Record& r)
{
    return written([&](RecordWriter& out) { writeWord(out, r.type, readWord(r, "word")); });
}
Record number(const Record& r)
{
    return written([&](RecordWriter& out) { writeDouble(out, r.type, readDouble(r, "number")); });
}
Record text(const Record& r)
{
    return written([&](RecordWriter& out) { writeHeaderOrFooter(out, r.type, readHeaderOrFooter(r, "text")); });
}

struct Case {
    std::uint16_t type;
    std::function<Record(const Record&)> rewrite;
    // The bits compared, from the body's start; bytes past it compare whole.
    QByteArray compared = {};
    // LibreOffice's body as the writer would encode what it says.
    std::function<QByteArray(const Record&)> theirs = [](const Record& r) { return r.body; };
};

QByteArray masked(QByteArray body, const QByteArray& mask)
{
    for (qsizetype i = 0; i < std::min(body.size(), mask.size()); ++i)
        body[i] = char(body[i] & mask[i]);
    return body;
}

} // namespace

TEST(XlsRecords, EachRecordWritesBackAsLibreOfficeWroteIt)
{
    const QList<Record> file = recordsOf(workbookStream());
    QList<QString> strings;
    for (const Record& record : file)
        strings = record.type == record::Sst ? readSharedStrings(record) : strings;

    const QList<Case> cases = {
        // Build and history fields: the writer names Excel 97's.
        {record::Bof,
         [](const Record& r) { return written([&](RecordWriter& out) { writeBof(out, readBof(r).substream); }); },
         QByteArray::fromHex("ffffffff000000000000000000000000")},
        {record::WriteAccess, rewrite<readWriteAccess, writeWriteAccess>},
        {record::Window1, rewrite<readWindow1, writeWindow1>},
        {record::DateMode, flag},
        {record::Precision, flag},
        // Bold repeated in bit 0; names in 8-bit characters where they fit.
        {record::Font, rewrite<readFont, writeFont>, QByteArray::fromHex("fffffe"),
         [](const Record& r) { return r.body.left(14) + FieldWriter().shortString(readFont(r).name).data(); }},
        {record::Format, rewrite<readNumberFormat, writeNumberFormat>},
        {record::Xf, rewrite<readCellFormat, writeCellFormat>},
        {record::Style, rewrite<readStyle, writeStyle>},
        {record::Palette, rewrite<readPalette, writePalette>},
        {record::BoundSheet, rewrite<readBoundSheet, writeBoundSheet>},
        {record::ExternSheet, rewrite<readExternSheet, writeExternSheet>},
        {record::Name, rewrite<readName, writeName>},
        // The count of uses comes from the cells.
        {record::Sst,
         [](const Record& r) {
             return written([&](RecordWriter& out) { writeSharedStrings(out, readSharedStrings(r), 0); });
         },
         QByteArray::fromHex("00000000")},
        {record::CalcCount, word},
        {record::Iteration, flag},
        {record::Delta, number},
        {record::SaveRecalc, flag},
        {record::PrintHeaders, flag},
        {record::PrintGridlines, flag},
        {record::HCenter, flag},
        {record::VCenter, flag},
        {record::DefaultRowHeight, rewriteInto<Worksheet, readDefaultRowHeight, writeDefaultRowHeight>},
        {record::WsBool, rewrite<readWsBool, writeWsBool>},
        {record::Header, text},
        {record::Footer, text},
        {record::LeftMargin, number},
        {record::RightMargin, number},
        {record::TopMargin, number},
        {record::BottomMargin, number},
        // Flags other than orientation and "not set".
        {record::Setup, rewriteInto<PageSetup, readSetup, writeSetup>, QByteArray::fromHex("ffffffffffffffffffff0600")},
        {record::DefColWidth, word},
        // The last range ends at 256, which the reader makes 255.
        {record::ColInfo, rewrite<readColumnInfo, writeColumnInfo>, QByteArray::fromHex("ffff0000")},
        // The span comes from the cells; without a row format LibreOffice still stores format 15.
        {record::Row, rewrite<readRow, writeRow>, QByteArray::fromHex("ffff00000000ffffffffffffffff00f0")},
        {record::LabelSst,
         [&](const Record& r) {
             const CellRecord cell = readLabelSst(r, strings);
             return written([&](RecordWriter& out) {
                 writeLabelSst(out, cell.at, std::uint32_t(strings.indexOf(std::get<QString>(cell.value))));
             });
         }},
        {record::Rk,
         [](const Record& r) {
             const CellRecord cell = readRk(r);
             return written(
                 [&](RecordWriter& out) { writeRk(out, cell.at, rkOf(std::get<double>(cell.value)).value()); });
         }},
        {record::Number,
         [](const Record& r) {
             const CellRecord cell = readNumber(r);
             return written([&](RecordWriter& out) { writeNumber(out, cell.at, std::get<double>(cell.value)); });
         }},
        {record::Blank,
         [](const Record& r) { return written([&](RecordWriter& out) { writeBlank(out, readBlank(r).at); }); }},
        // Recalculation options.
        {record::Formula, rewrite<readFormula, writeFormula>,
         QByteArray::fromHex("ffffffffffffffffffffffffffff000000000000")},
        // The shown tab comes from WINDOW1, the zoom from SCL.
        {record::Window2, rewriteInto<SheetWindow, readWindow2, writeWindow2>,
         QByteArray::fromHex("fffbffffffffffffffffffff0000")},
        {record::Scl, rewrite<readScl, writeScl>},
        {record::Selection, rewriteInto<SheetWindow, readSelection, writeSelection>},
    };
    for (const Case& c : cases) {
        int seen = 0;
        for (const Record& record : file) {
            if (record.type != c.type)
                continue;
            ++seen;
            const Record ours = c.rewrite(record);
            const QString where =
                QStringLiteral("record 0x%1 at offset %2").arg(c.type, 4, 16, QLatin1Char('0')).arg(record.offset);
            EXPECT_EQ(ours.type, record.type) << where.toStdString();
            EXPECT_EQ(masked(ours.body, c.compared).toHex(), masked(c.theirs(record), c.compared).toHex())
                << where.toStdString();
            EXPECT_EQ(ours.continues, record.continues) << where.toStdString();
        }
        EXPECT_GT(seen, 0) << "no record 0x" << std::hex << c.type << " in the file";
    }
}

// What records.fods says, so that a field read and written wrong alike shows.
TEST(XlsRecords, TheFieldsReadAreThoseOfTheSourceDocument)
{
    const Workbook book = readWorkbookStream(workbookStream());
    ASSERT_EQ(book.sheets.size(), 2);
    const Worksheet& sheet = book.sheets[0];
    EXPECT_EQ(book.sheets[1].state, SheetState::Hidden);
    EXPECT_EQ(book.fonts[0].name, QStringLiteral("Arial"));
    EXPECT_EQ(book.fonts[0].heightTwips, 200);
    EXPECT_FALSE(book.fonts[0].bold);

    const CellFormat& boxed = book.formats[sheet.cell({0, 1})->formatIndex]; // style ce1
    const Font& font = book.fonts[boxed.fontIndex];
    EXPECT_EQ(font.name, QStringLiteral("Courier New"));
    EXPECT_EQ(font.heightTwips, 240);
    EXPECT_TRUE(font.bold && font.italic);
    EXPECT_EQ(boxed.horizontal, HorizontalAlignment::Centre);
    EXPECT_TRUE(boxed.wrap);
    EXPECT_EQ(boxed.left, (BorderLine{LineStyle::Thin, 8}));
    EXPECT_EQ(boxed.fillPattern, 1);
    EXPECT_EQ(book.colour(boxed.fillForeground), QColor(0xc0, 0xff, 0xee));
    const int euro = book.formats[sheet.cell({1, 1})->formatIndex].numberFormat;
    EXPECT_TRUE(book.numberFormats.contains(NumberFormat{euro, QStringLiteral("0.000\" EUR\"")}));
    EXPECT_EQ(book.styles.last().name, QStringLiteral("Total"));
    EXPECT_FALSE(book.styles.last().builtIn);

    EXPECT_EQ(sheet.cell({0, 1})->value, Value(QStringLiteral("Grüße €")));
    EXPECT_EQ(sheet.cell({1, 1})->value, Value(1200.0));
    EXPECT_DOUBLE_EQ(std::get<double>(sheet.cell({2, 1})->value), 0.333333333333333);
    EXPECT_EQ(sheet.cell({3, 3})->value, Value(ErrorValue::Div0));
    const double mulRk[] = {-7, 8, 9};
    for (int column = 0; column < 3; ++column)
        EXPECT_EQ(sheet.cell({4, column})->value, Value(mulRk[column]));

    EXPECT_EQ(sheet.columns[1], (ColumnInfo{1, 1, 5229, 15, false})); // 4 cm
    EXPECT_EQ(sheet.columns[3], (ColumnInfo{4, 4, 2950, 15, true}));
    EXPECT_EQ(sheet.columns.last().last, 255);
    EXPECT_EQ(sheet.rows.at(1), (RowInfo{567, true, false, std::nullopt})); // 1 cm
    EXPECT_TRUE(sheet.rows.at(2).hidden);

    EXPECT_EQ(sheet.window.zoomPercent, 75);
    EXPECT_EQ(sheet.window.activeCell, (CellAddress{4, 2}));
    EXPECT_TRUE(sheet.window.active && sheet.window.selected);
    EXPECT_FALSE(book.sheets[1].window.active);

    const PageSetup& page = sheet.page;
    EXPECT_EQ(page.paperSize, 9); // A4
    EXPECT_FALSE(page.portrait);
    EXPECT_EQ(page.scale, 80);
    EXPECT_EQ(page.firstPageNumber, 3);
    EXPECT_NEAR(page.leftMargin, 1.5 / 2.54, 1e-3);
    EXPECT_TRUE(page.centreHorizontally && !page.centreVertically && page.printGridlines && page.printHeaders);
    EXPECT_EQ(page.header, QStringLiteral("&CBalance"));
    EXPECT_EQ(page.footer, QStringLiteral("&CPage &P"));
    ASSERT_EQ(book.names.size(), 1);
    EXPECT_EQ(book.names[0].name, QStringLiteral("Amounts"));
}

namespace {

const QList<IgnoredErrors> kIgnored = {
    {{RangeAddress{{16, 3}, {16, 3}}, RangeAddress{{25, 7}, {26, 7}}}, ErrorCheck::EmptyCellReference},
    {{RangeAddress{{0, 0}, {65535, 255}}}, ErrorCheck::CalculationError | ErrorCheck::NumberStoredAsText},
};

QList<Record> ignoredErrorRecords()
{
    RecordWriter out;
    writeIgnoredErrors(out, kIgnored);
    return recordsOf(out.stream());
}

// Hex digits; spaces between fields for the reader.
Record withBody(std::uint16_t type, const char* hex)
{
    return Record{type, QByteArray::fromHex(hex), {}, 0};
}

} // namespace

TEST(XlsRecords, IgnoredErrorsWriteAsOneHeaderAndAFeatureEachAndReadBack)
{
    const QList<Record> records = ignoredErrorRecords();
    ASSERT_EQ(records.size(), 3);
    // Future record header (type, flags, 8 unused), kind 3, always 1, no header data.
    EXPECT_EQ(records[0].type, record::FeatHdr);
    EXPECT_EQ(records[0].body, QByteArray::fromHex("6708 0000 0000000000000000 0300 01 00000000"));
    // Header, kind 3, unused (1, 4), two ranges, 4 bytes of data, unused (2),
    // the ranges (rows, then columns), the kinds of error ignored.
    EXPECT_EQ(records[1].type, record::Feat);
    EXPECT_EQ(records[1].body,
              QByteArray::fromHex("6808 0000 0000000000000000 0300 00 00000000 0200 04000000 0000 "
                                  "1000 1000 0300 0300 1900 1a00 0700 0700 02000000"));
    EXPECT_EQ(records[2].body.mid(27), QByteArray::fromHex("0000 ffff 0000 ff00 05000000"));

    QList<IgnoredErrors> back;
    for (const Record& record : records)
        EXPECT_TRUE(readIgnoredErrors(record, back));
    EXPECT_EQ(back, kIgnored);

    RecordWriter none;
    writeIgnoredErrors(none, {});
    EXPECT_TRUE(none.stream().isEmpty());
}

// Protection (2), smart tags (4) and kinds not known are not the error
// check's: the reader leaves them to the sheet, which keeps them.
TEST(XlsRecords, OtherFeaturesAreNotTheErrorChecks)
{
    const Record others[] = {
        withBody(record::FeatHdr, "6708 0000 0000000000000000 0200 01 ffffffff 0044"),
        withBody(record::Feat,
                 "6808 0000 0000000000000000 0200 00 00000000 0100 00000000 0000 "
                 "0000 0000 0000 0000 00000000 0000"),
        withBody(record::FeatHdr, "6708 0000 0000000000000000 0400 01 00000000"),
        withBody(record::Feat, "6808 0000 0000000000000000 6300 00 00000000 0000 00000000 0000"),
    };
    QList<IgnoredErrors> into;
    for (const Record& record : others)
        EXPECT_FALSE(readIgnoredErrors(record, into)) << record.body.toHex().toStdString();
    EXPECT_TRUE(into.isEmpty());
}

TEST(XlsRecords, DamagedFeatureRecordsAreFileFormatErrors)
{
    QList<Record> damaged;
    for (const Record& whole : ignoredErrorRecords()) {
        for (qsizetype length = 0; length < whole.body.size(); ++length)
            damaged.append(Record{whole.type, whole.body.left(length), {}, 0});
    }
    // Ranges that are none of the sheet: past the last column, rows or columns the wrong way round.
    for (const char* range : {"0000 0000 0000 0001", "0500 0400 0000 0000", "0000 0000 0300 0200"})
        damaged.append(withBody(
            record::Feat,
            (QByteArray("6808 0000 0000000000000000 0300 00 00000000 0100 04000000 0000 ") + range + " 02000000")
                .constData()));
    for (const Record& record : damaged) {
        QList<IgnoredErrors> into;
        EXPECT_THROW(readIgnoredErrors(record, into), FileFormatError) << record.body.toHex().toStdString();
        EXPECT_TRUE(into.isEmpty());
    }
}
