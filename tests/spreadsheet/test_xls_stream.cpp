#include "spreadsheet/BiffStream.h"
#include "spreadsheet/XlsStream.h"

#include <QtEndian>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace spreadsheet;

namespace {

Workbook smallWorkbook()
{
    Workbook book;
    book.writeAccessUser = QStringLiteral("Quillmere");
    for (int i = 0; i < 6; ++i) {
        Font font;
        font.heightTwips = 200 + 20 * i;
        font.bold = i % 2;
        font.italic = i == 5;
        font.colourIndex = i == 5 ? 18 : kAutomaticFontColour;
        font.name = i == 5 ? QStringLiteral("Arial Black") : QStringLiteral("Arial");
        book.fonts.append(font);
    }
    book.numberFormats = {{164, QStringLiteral("#,##0_);[Red](#,##0)")},
                          {165, QStringLiteral("[$-409]d\\-mmm\\-yy;@")}};
    for (int i = 0; i < 16; ++i) {
        CellFormat format;
        format.isStyle = i < 15;
        format.fontIndex = i == 15 ? 5 : 0;
        book.formats.append(format);
    }
    CellFormat boxed;
    boxed.fontIndex = 5;
    boxed.numberFormat = 164;
    boxed.left = boxed.right = boxed.top = boxed.bottom = BorderLine{LineStyle::Thin, 18};
    boxed.fillPattern = 1;
    boxed.fillForeground = 26;
    boxed.locked = false;
    boxed.horizontal = HorizontalAlignment::CentreAcrossSelection;
    boxed.attributesSet = 0x3F;
    book.formats.append(boxed);
    book.styles = {CellStyle{0, true, 0, 0xFF, {}}, CellStyle{1, false, 0, 0xFF, QStringLiteral("Fixed")}};
    QList<QColor> palette = defaultPalette();
    palette[26 - 8] = QColor(0xFF, 0xFF, 0xC0);
    book.palette = palette;

    Worksheet first;
    first.name = QStringLiteral("First sheet");
    first.window.active = true;
    first.window.selected = true;
    first.window.showGridlines = false;
    first.window.zoomPercent = 75;
    first.window.activeCell = {10, 3};
    first.cellAt({0, 0}).value = 42.0; // fits an RK
    first.cellAt({0, 1}).value = 0.1;  // needs a NUMBER
    first.cellAt({0, 2}).value = QStringLiteral("Grüße, 日本");
    first.cellAt({0, 3}).value = true;
    first.cellAt({0, 4}).value = ErrorValue::Div0;
    first.cellAt({1, 0}).formatIndex = 16; // a formatted blank
    Cell& formula = first.cellAt({2, 0});
    formula.formula = QByteArray::fromHex("1e0100"); // a stored token list, kept as it is
    formula.value = QStringLiteral("text result");
    first.cellAt({2, 1}) = Cell{QString(), QByteArray::fromHex("1e0200"), 15};
    first.cellAt({2, 2}) = Cell{false, QByteArray::fromHex("1d00"), 15};
    first.cellAt({2, 3}) = Cell{ErrorValue::Value, QByteArray::fromHex("1c0f"), 15};
    first.cellAt({2, 4}) = Cell{-1234.5, QByteArray::fromHex("1f00000000000000c0"), 15};
    first.cellAt({30, 8}).value = -7.0;
    first.rows[0] = RowInfo{120, true, false, std::nullopt};
    first.rows[40] = RowInfo{825, false, true, 16};
    first.columns = {ColumnInfo{0, 0, 438, 15, false}, ColumnInfo{2, 3, 7789, 16, false}};
    first.page.fitToPage = true;
    first.page.scale = 91;
    first.page.leftMargin = first.page.rightMargin = 0.65;
    first.page.centreHorizontally = true;
    first.page.header = QStringLiteral("&A");
    first.page.printerSettings = QByteArray(40, '\x11');
    first.keptBeforeCells.append(KeptRecord{0x0862, QByteArray::fromHex("620800000000"), {}});
    first.keptAfterWindow.append(KeptRecord{0x01B6, QByteArray(30, 'x'), {QByteArray(10, 'y')}});
    first.ignoredErrors = {
        IgnoredErrors{{{{2, 0}, {2, 4}}, {{30, 8}, {30, 8}}}, ErrorCheck::EmptyCellReference},
        IgnoredErrors{{{{0, 1}, {0, 1}}}, ErrorCheck::NumberStoredAsText | ErrorCheck::InconsistentFormula},
    };
    book.sheets.append(first);

    Worksheet second;
    second.name = QStringLiteral("Variables");
    second.state = SheetState::VeryHidden;
    second.cellAt({0, 0}).value = QStringLiteral("_Example");
    second.cellAt({0, 1}).value = false;
    second.page.footer = QStringLiteral("Page &P");
    book.sheets.append(second);

    book.sheetReferences = {SheetReference{0, 0}, SheetReference{0xFFFE, 0xFFFE}};
    book.names = {
        DefinedName{QStringLiteral("DATA_01"), 0, false, false, QByteArray::fromHex("3b00000a000f0003000300")}};
    book.keptGlobals.append(KeptRecord{0x01C1, QByteArray::fromHex("c101000022be0100"), {}});
    book.isTemplate = true;
    return book;
}

QList<biff::Record> recordsOf(const QByteArray& stream)
{
    biff::RecordReader reader(stream);
    QList<biff::Record> records;
    while (!reader.atEnd())
        records.append(reader.next());
    return records;
}

} // namespace

TEST(XlsStream, WorkbookSurvivesWriteAndRead)
{
    const Workbook book = smallWorkbook();
    const Workbook back = readWorkbookStream(writeWorkbookStream(book));
    EXPECT_EQ(back.fonts, book.fonts);
    EXPECT_EQ(back.numberFormats, book.numberFormats);
    EXPECT_EQ(back.formats, book.formats);
    EXPECT_EQ(back.styles, book.styles);
    EXPECT_EQ(back.palette, book.palette);
    ASSERT_EQ(back.sheets.size(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(back.sheets[i].cells, book.sheets[i].cells) << i;
        EXPECT_EQ(back.sheets[i].rows, book.sheets[i].rows) << i;
        EXPECT_EQ(back.sheets[i].columns, book.sheets[i].columns) << i;
        EXPECT_EQ(back.sheets[i].window, book.sheets[i].window) << i;
        EXPECT_EQ(back.sheets[i].page, book.sheets[i].page) << i;
        EXPECT_EQ(back.sheets[i].keptBeforeCells, book.sheets[i].keptBeforeCells) << i;
        EXPECT_EQ(back.sheets[i].keptAfterWindow, book.sheets[i].keptAfterWindow) << i;
        EXPECT_EQ(back.sheets[i].ignoredErrors, book.sheets[i].ignoredErrors) << i;
        EXPECT_EQ(back.sheets[i].state, book.sheets[i].state) << i;
        EXPECT_EQ(back.sheets[i].name, book.sheets[i].name) << i;
    }
    EXPECT_EQ(back.names, book.names);
    EXPECT_EQ(back.sheetReferences, book.sheetReferences);
    EXPECT_EQ(back.keptGlobals, book.keptGlobals);
    EXPECT_TRUE(back.isTemplate);
    EXPECT_EQ(back.writeAccessUser, QStringLiteral("Quillmere"));
    EXPECT_EQ(back, book);
}

TEST(XlsStream, SameModelGivesSameBytes)
{
    EXPECT_EQ(writeWorkbookStream(smallWorkbook()), writeWorkbookStream(smallWorkbook()));
}

TEST(XlsStream, IntegersGoInRkRecordsAndFractionsInNumberRecords)
{
    const QList<biff::Record> records = recordsOf(writeWorkbookStream(smallWorkbook()));
    int rk = 0, number = 0;
    for (const biff::Record& record : records) {
        rk += record.type == biff::record::Rk;
        number += record.type == biff::record::Number;
    }
    EXPECT_EQ(rk, 2);     // 42 and -7
    EXPECT_EQ(number, 1); // 0.1
}

TEST(XlsStream, FontFourIsNeverReferenced)
{
    // The format skips font index 4: model font 4 is file font 5.
    Workbook book = smallWorkbook();
    book.formats[16].fontIndex = 4;
    const QByteArray stream = writeWorkbookStream(book);
    int xfSeen = 0;
    for (const biff::Record& record : recordsOf(stream)) {
        if (record.type == biff::record::Xf && xfSeen++ == 16) {
            EXPECT_EQ(qFromLittleEndian<quint16>(record.body.constData()), 5);
        }
    }
    EXPECT_EQ(readWorkbookStream(stream).formats[16].fontIndex, 4);
}

namespace {

// "abc…z" repeated to the length: one byte a character, longer than a record.
QString longLatinText(qsizetype length)
{
    QString text(length, u'a');
    for (qsizetype i = 0; i < length; ++i)
        text[i] = QChar(char16_t(u'a' + i % 26));
    return text;
}

} // namespace

TEST(XlsStream, LongSharedStringsGoOnInContinueRecords)
{
    Workbook book = smallWorkbook();
    Worksheet& sheet = book.sheets[0];
    const QString latin = longLatinText(9000);
    QString wide(6000, QChar(0x65E5));
    wide[0] = u'x';
    sheet.cellAt({50, 0}).value = latin;
    sheet.cellAt({51, 0}).value = wide;
    for (int i = 0; i < 400; ++i)
        sheet.cellAt({60 + i, 1}).value = QStringLiteral("short %1").arg(i);
    const QByteArray stream = writeWorkbookStream(book);

    int sstParts = 0;
    for (const biff::Record& record : recordsOf(stream)) {
        if (record.type == biff::record::Sst) {
            sstParts = 1 + int(record.continues.size());
            for (const QByteArray& part : QList<QByteArray>{record.body} + record.continues)
                EXPECT_LE(part.size(), biff::RecordWriter::kMaxBody);
        }
    }
    EXPECT_GE(sstParts, 3);
    const Workbook back = readWorkbookStream(stream);
    EXPECT_EQ(std::get<QString>(back.sheets[0].cell({50, 0})->value), latin);
    EXPECT_EQ(std::get<QString>(back.sheets[0].cell({51, 0})->value), wide);
    EXPECT_EQ(std::get<QString>(back.sheets[0].cell({459, 1})->value), QStringLiteral("short 399"));
}

TEST(XlsStream, LongFormulaTextResultsGoOnInContinueRecords)
{
    Workbook book = smallWorkbook();
    Worksheet& sheet = book.sheets[0];
    const QString latin = longLatinText(9000);
    const QString wide(5000, QChar(0x65E5));
    sheet.cellAt({40, 0}) = Cell{latin, QByteArray::fromHex("1e0200"), 15};
    sheet.cellAt({41, 0}) = Cell{wide, QByteArray::fromHex("1e0200"), 15};
    const QByteArray stream = writeWorkbookStream(book);

    int longStrings = 0;
    for (const biff::Record& record : recordsOf(stream)) {
        if (record.type != biff::record::String || record.continues.isEmpty())
            continue;
        ++longStrings;
        for (const QByteArray& part : record.continues) {
            ASSERT_FALSE(part.isEmpty());
            EXPECT_EQ(quint8(part[0]), record.body[2] == 1 ? 1 : 0) << "each part repeats the width byte";
        }
    }
    EXPECT_EQ(longStrings, 2);
    const Workbook back = readWorkbookStream(stream);
    EXPECT_EQ(std::get<QString>(back.sheets[0].cell({40, 0})->value), latin);
    EXPECT_EQ(std::get<QString>(back.sheets[0].cell({41, 0})->value), wide);
}

TEST(XlsStream, AFormulaTooLongForOneRecordIsRefused)
{
    Workbook book = smallWorkbook();
    book.sheets[0].cellAt({40, 0}) = Cell{0.0, QByteArray(biff::RecordWriter::kMaxBody - 22, '\x16'), 15};
    EXPECT_NO_THROW(writeWorkbookStream(book));
    book.sheets[0].cellAt({40, 0}).formula.append('\x16');
    try {
        writeWorkbookStream(book);
        ADD_FAILURE() << "no refusal";
    } catch (const FileFormatError& error) {
        ADD_FAILURE() << "a model that cannot be stored is no damaged file: " << error.what();
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "The formula of cell A41 is too long to store.");
    }
}

TEST(XlsStream, AColumnRangeEndingOnePastTheLastColumnIsRead)
{
    // Excel and LibreOffice write 256 as the end of a range that runs to the
    // sheet's edge.
    Workbook book = smallWorkbook();
    book.sheets[0].columns = {ColumnInfo{0, 0, 438, 15, false}, ColumnInfo{2, 255, 7789, 16, false}};
    QByteArray stream = writeWorkbookStream(book);
    const QByteArray written = QByteArray::fromHex("7d000c000200ff00");
    ASSERT_EQ(stream.count(written), 1);
    stream.replace(written, QByteArray::fromHex("7d000c0002000001"));
    const Workbook back = readWorkbookStream(stream);
    EXPECT_EQ(back.sheets[0].columns, book.sheets[0].columns);

    const QByteArray beyond = QByteArray::fromHex("7d000c0002000101"); // 257: damage
    stream.replace(QByteArray::fromHex("7d000c0002000001"), beyond);
    EXPECT_THROW(readWorkbookStream(stream), FileFormatError);
}

TEST(XlsStream, ARowFormatThatDoesNotExistIsDamage)
{
    QByteArray stream = writeWorkbookStream(smallWorkbook()); // row 41 has format 16
    const qsizetype row = stream.indexOf(QByteArray::fromHex("080210002800"));
    ASSERT_GE(row, 0);
    ASSERT_NO_THROW(readWorkbookStream(stream));
    // The format index sits in the top bytes of the options, body bytes 14-15.
    stream[row + 4 + 14] = char(0xF4); // 500
    stream[row + 4 + 15] = char(0x01);
    try {
        readWorkbookStream(stream);
        ADD_FAILURE() << "no refusal";
    } catch (const FileFormatError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr("row 41 of sheet \"First sheet\" uses format 500"));
    }
}

TEST(XlsStream, RowsAreJudgedPlainAgainstTheSheetsFinalDefaultHeight)
{
    // A default height that comes after the rows (here as a record kept
    // after the window) decides which rows say nothing of their own.
    Workbook book = smallWorkbook();
    Worksheet& sheet = book.sheets[0];
    sheet.defaultRowHeightTwips = 300;
    sheet.rows[5] = RowInfo{255, false, false, std::nullopt};
    sheet.keptAfterWindow.append(KeptRecord{biff::record::DefaultRowHeight, QByteArray::fromHex("0000ff00"), {}});
    const Workbook first = readWorkbookStream(writeWorkbookStream(book));
    EXPECT_EQ(first.sheets[0].defaultRowHeightTwips, 255);
    EXPECT_FALSE(first.sheets[0].rows.contains(5));
    EXPECT_EQ(readWorkbookStream(writeWorkbookStream(first)), first);
}

// Feature records end a sheet; those of other kinds than the error check's
// (here a protection header) are kept where they stood.
TEST(XlsStream, ErrorCheckFeaturesEndTheSheetAndOtherFeaturesAreKept)
{
    Workbook book = smallWorkbook();
    const QByteArray protection = QByteArray::fromHex("6708 0000 0000000000000000 0200 01 ffffffff 0044");
    book.sheets[0].keptAfterWindow.append(KeptRecord{biff::record::FeatHdr, protection, {}});
    const QByteArray stream = writeWorkbookStream(book);
    QList<std::uint16_t> types;
    for (const biff::Record& record : recordsOf(stream))
        types.append(record.type);
    const qsizetype end = types.indexOf(biff::record::Eof, types.indexOf(biff::record::Selection));
    ASSERT_GE(end, 5);
    EXPECT_EQ(types.mid(end - 5, 6),
              (QList<std::uint16_t>{0x01B6, biff::record::FeatHdr, biff::record::FeatHdr, biff::record::Feat,
                                    biff::record::Feat, biff::record::Eof}));
    EXPECT_EQ(readWorkbookStream(stream), book);
}

TEST(XlsStream, AZoomOutsideTenToFourHundredPercentIsReadAsTheNearest)
{
    Workbook book = smallWorkbook();
    book.sheets[0].window.zoomPercent = 75;
    QByteArray stream = writeWorkbookStream(book);
    const QByteArray scl = QByteArray::fromHex("a00004000300"
                                               "0400"); // 3/4
    ASSERT_EQ(stream.count(scl), 1);
    stream.replace(scl,
                   QByteArray::fromHex("a0000400ffff"
                                       "0300")); // 65535/3
    const Workbook huge = readWorkbookStream(stream);
    EXPECT_EQ(huge.sheets[0].window.zoomPercent, 400);
    EXPECT_EQ(readWorkbookStream(writeWorkbookStream(huge)), huge);
    stream.replace(QByteArray::fromHex("a0000400ffff0300"), QByteArray::fromHex("a000040001006400")); // 1/100
    EXPECT_EQ(readWorkbookStream(stream).sheets[0].window.zoomPercent, 10);
}

TEST(XlsStream, ExtSstPointsAtTheStartOfStrings)
{
    Workbook book = smallWorkbook();
    for (int i = 0; i < 100; ++i)
        book.sheets[0].cellAt({100 + i, 0}).value = QStringLiteral("string number %1").arg(i);
    const QByteArray stream = writeWorkbookStream(book);
    const QList<biff::Record> records = recordsOf(stream);
    QList<QString> strings;
    for (const biff::Record& record : records) {
        if (record.type != biff::record::ExtSst)
            continue;
        biff::FieldReader in(record, "EXTSST");
        const int perBucket = in.u16();
        EXPECT_EQ(perBucket, 8);
        int bucket = 0;
        while (!in.atEnd()) {
            const quint32 streamOffset = in.u32();
            const quint16 inRecord = in.u16();
            in.skip(2);
            // The string header at that offset: its length, then its characters.
            const auto* at = reinterpret_cast<const uchar*>(stream.constData() + streamOffset);
            const int length = qFromLittleEndian<quint16>(at);
            QString text;
            for (int c = 0; c < length; ++c)
                text += at[2] & 1 ? QChar(qFromLittleEndian<quint16>(at + 3 + 2 * c)) : QChar(at[3 + c]);
            strings.append(text);
            EXPECT_GE(inRecord, 4);
            ++bucket;
        }
        EXPECT_GT(bucket, 10);
    }
    // Unique strings in order of first use: the sheet's own text, then the 100.
    ASSERT_GE(strings.size(), 2);
    EXPECT_EQ(strings[0], QStringLiteral("Grüße, 日本"));
    EXPECT_EQ(strings[1], QStringLiteral("string number 7"));
}

TEST(XlsStream, TooLongCellTextIsRefusedWithItsAddress)
{
    Workbook book = smallWorkbook();
    book.sheets[0].cellAt({4, 27}).value = QString(kMaxCellText + 1, u'z');
    try {
        writeWorkbookStream(book);
        FAIL() << "a text over the cell limit was written";
    } catch (const FileFormatError& error) {
        FAIL() << "a model that cannot be stored is no damaged file: " << error.what();
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("AB5"), std::string::npos) << error.what();
    }
}

TEST(XlsStream, EveryCutOfTheStreamIsAnErrorNotACrash)
{
    const QByteArray stream = writeWorkbookStream(smallWorkbook());
    for (qsizetype length = 0; length < stream.size(); length += 7)
        EXPECT_THROW(readWorkbookStream(stream.left(length)), FileFormatError) << length;
}

TEST(XlsStream, BadIndexesAreNamedInTheError)
{
    Workbook book = smallWorkbook();
    book.sheets[0].cellAt({0, 0}).formatIndex = 15;
    QByteArray stream = writeWorkbookStream(book);
    // Point the LABELSST at a string that does not exist.
    for (const biff::Record& record : recordsOf(stream)) {
        if (record.type == biff::record::LabelSst) {
            qToLittleEndian<quint32>(999, stream.data() + record.offset + 4 + 6);
            break;
        }
    }
    try {
        readWorkbookStream(stream);
        FAIL() << "a missing string was read";
    } catch (const FileFormatError& error) {
        EXPECT_NE(std::string(error.what()).find("LABELSST"), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("999"), std::string::npos) << error.what();
    }
}

TEST(XlsStream, SheetOffsetPastTheEndIsAnError)
{
    QByteArray stream = writeWorkbookStream(smallWorkbook());
    for (const biff::Record& record : recordsOf(stream)) {
        if (record.type == biff::record::BoundSheet) {
            qToLittleEndian<quint32>(0x7FFFFFF0, stream.data() + record.offset + 4);
            break;
        }
    }
    EXPECT_THROW(readWorkbookStream(stream), FileFormatError);
}

TEST(XlsStream, RecordLengthPastTheEndIsAnError)
{
    QByteArray stream = writeWorkbookStream(smallWorkbook());
    qToLittleEndian<quint16>(0xFFFF, stream.data() + 2); // the BOF says it is huge
    EXPECT_THROW(readWorkbookStream(stream), FileFormatError);
}
