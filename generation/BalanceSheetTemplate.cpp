#include "generation/BalanceSheetTemplate.h"

#include "spreadsheet/BiffStream.h"
#include "spreadsheet/Formula.h"
#include "spreadsheet/Recalculation.h"

namespace generation {
namespace {

using namespace spreadsheet;

// Palette indexes of the colours the sheet uses.
constexpr std::uint8_t kWhite = 9;
constexpr std::uint8_t kNavy = 18;
constexpr std::uint8_t kPurple = 20;
constexpr std::uint8_t kLightYellow = 26;

// Built-in number formats, and the workbook's own date format.
constexpr int kPlain = 38;   // #,##0_);[Red](#,##0)
constexpr int kCurrency = 6; // "$"#,##0_);[Red]\("$"#,##0\)
constexpr int kDate = 164;

// Fonts, by their place in the workbook's font list.
enum FontIndex { Body = 0, Title = 4, Note = 5, DateFont = 6, Banner = 7, Section = 8, BoldBody = 9 };

int twips(double points)
{
    return int(points * 20 + 0.5);
}

Font font(const char* name, double points, bool bold, std::uint16_t colour = kAutomaticFontColour)
{
    Font f;
    f.name = QLatin1String(name);
    f.heightTwips = twips(points);
    f.bold = bold;
    f.colourIndex = colour;
    f.family = 2; // swiss
    return f;
}

QList<Font> fonts()
{
    return {
        font("Arial", 10, false),
        font("Arial", 10, false),
        font("Arial", 10, false),
        font("Arial", 10, false),
        font("Arial Black", 26, true, kNavy),
        font("Arial Black", 10, false, kNavy),
        font("Arial", 12, true, kPurple),
        font("Arial", 10, true, kWhite),
        font("Arial", 11, true),
        font("Arial", 10, true),
    };
}

QList<NumberFormat> numberFormats()
{
    // The eight built-in formats whose text depends on the user's currency
    // are written out, as spreadsheets do and strict readers expect.
    return {
        {5, QStringLiteral("\"$\"#,##0_);\\(\"$\"#,##0\\)")},
        {6, QStringLiteral("\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)")},
        {7, QStringLiteral("\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)")},
        {8, QStringLiteral("\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)")},
        {42, QStringLiteral("_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)")},
        {41, QStringLiteral("_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)")},
        {44, QStringLiteral("_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)")},
        {43, QStringLiteral("_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)")},
        {kDate, QStringLiteral("[$-409]d\\-mmm\\-yy;@")},
    };
}

BorderLine thinNavy()
{
    return BorderLine{LineStyle::Thin, kNavy};
}

// The formats, named by what they dress.
enum FormatIndex {
    NormalStyle = 0,
    DefaultCell = 15,
    CommaStyle,
    CommaWholeStyle,
    CurrencyStyle,
    CurrencyWholeStyle,
    PercentStyle,
    DateStyle,
    FixedStyle,
    TextStyle,
    TitleCell,
    TitleSpan,
    DateCell,
    NoteCell,
    BannerCell,
    SectionCell,
    BoldCell,
    CurrencyInput,
    PlainInput,
    CurrencyTotal,
    PlainTotal,
    CurrencyNoBorder,
    CurrencyTopBorder,
    FormatCount
};

QList<CellFormat> formats()
{
    QList<CellFormat> list(FormatCount);
    CellFormat style;
    style.isStyle = true;
    style.numberFormat = kPlain;
    for (int i = 0; i < 15; ++i)
        list[i] = style;
    // The outline styles (1 to 14) leave everything to Normal.
    for (int i = 1; i < 15; ++i)
        list[i].attributesSet = 0x3D; // all but the number format: not used
    for (auto [index, number] : {std::pair{CommaStyle, 43},
                                 {CommaWholeStyle, 41},
                                 {CurrencyStyle, 44},
                                 {CurrencyWholeStyle, 42},
                                 {PercentStyle, 9},
                                 {DateStyle, 14},
                                 {FixedStyle, 2},
                                 {TextStyle, 49}}) {
        list[index] = style;
        list[index].numberFormat = number;
        list[index].attributesSet = 0x3E; // the number format only
    }

    CellFormat cell;
    cell.numberFormat = kPlain;
    list[DefaultCell] = cell;

    auto derived = [&](int fontIndex, int number) {
        CellFormat f = cell;
        f.fontIndex = fontIndex;
        f.numberFormat = number;
        f.attributesSet = 0x3F;
        return f;
    };
    list[TitleCell] = derived(Title, kPlain);
    list[TitleCell].horizontal = HorizontalAlignment::CentreAcrossSelection;
    list[TitleCell].bottom = thinNavy();
    list[TitleSpan] = derived(Body, kPlain);
    list[TitleSpan].horizontal = HorizontalAlignment::CentreAcrossSelection;
    list[TitleSpan].bottom = thinNavy();
    list[DateCell] = derived(DateFont, kDate);
    list[DateCell].horizontal = HorizontalAlignment::Left;
    list[DateCell].locked = false;
    list[NoteCell] = derived(Note, kPlain);
    list[NoteCell].horizontal = HorizontalAlignment::Left;
    list[BannerCell] = derived(Banner, kPlain);
    list[BannerCell].fillPattern = 1;
    list[BannerCell].fillForeground = kNavy;
    list[SectionCell] = derived(Section, kPlain);
    list[BoldCell] = derived(BoldBody, kPlain);

    auto boxed = [&](int number, bool locked) {
        CellFormat f = derived(Body, number);
        f.left = f.right = f.top = f.bottom = thinNavy();
        f.locked = locked;
        return f;
    };
    list[CurrencyInput] = boxed(kCurrency, false);
    list[PlainInput] = boxed(kPlain, false);
    list[CurrencyTotal] = boxed(kCurrency, true);
    list[CurrencyTotal].fillPattern = 1;
    list[CurrencyTotal].fillForeground = kLightYellow;
    list[PlainTotal] = list[CurrencyTotal];
    list[PlainTotal].numberFormat = kPlain;
    list[CurrencyNoBorder] = derived(Body, kCurrency);
    list[CurrencyTopBorder] = derived(Body, kCurrency);
    list[CurrencyTopBorder].top = thinNavy();
    return list;
}

QList<CellStyle> styles()
{
    return {
        CellStyle{NormalStyle, true, 0, 0xFF, {}},
        CellStyle{CommaStyle, true, 3, 0xFF, {}},
        CellStyle{CommaWholeStyle, true, 6, 0xFF, {}},
        CellStyle{CurrencyStyle, true, 4, 0xFF, {}},
        CellStyle{CurrencyWholeStyle, true, 7, 0xFF, {}},
        CellStyle{PercentStyle, true, 5, 0xFF, {}},
        CellStyle{DateStyle, false, 0, 0xFF, QStringLiteral("Date")},
        CellStyle{FixedStyle, false, 0, 0xFF, QStringLiteral("Fixed")},
        CellStyle{TextStyle, false, 0, 0xFF, QStringLiteral("Text")},
    };
}

void text(Worksheet& sheet, const char* cell, const char* value, int format = DefaultCell)
{
    sheet.cellAt(cellAddress(cell)) = Cell{QString::fromUtf8(value), {}, format};
}

void blank(Worksheet& sheet, const char* cell, int format)
{
    sheet.cellAt(cellAddress(cell)) = Cell{Empty{}, {}, format};
}

void formula(Worksheet& sheet, const char* cell, const QString& source, int format)
{
    const CellAddress where = cellAddress(cell);
    sheet.cellAt(where) = Cell{QString(), formula::compile(source, where), format};
}

QString blockTotal(const char* range)
{
    return QStringLiteral("=IF(SUM(%1),SUM(%1),\"\")").arg(QLatin1String(range));
}

void fillBalanceSheet(Worksheet& sheet)
{
    blank(sheet, "A1", DefaultCell);
    text(sheet, "B2", "Balance Sheet", TitleCell);
    for (const char* cell : {"C2", "D2", "E2", "F2", "G2", "H2"})
        blank(sheet, cell, TitleSpan);
    text(sheet, "C3", "[Date]", DateCell);
    text(sheet, "C4", "(all numbers in $000)", NoteCell);
    text(sheet, "B9", "ASSETS", BannerCell);
    blank(sheet, "C9", BannerCell);
    text(sheet, "F9", "LIABILITIES", BannerCell);
    blank(sheet, "G9", BannerCell);
    text(sheet, "B10", "Current Assets", SectionCell);
    text(sheet, "F10", "Current Liabilities", SectionCell);
    text(sheet, "B18", "Fixed Assets", SectionCell);
    text(sheet, "F18", "Long-term Liabilities", SectionCell);
    text(sheet, "F24", "Shareholders' Equity", SectionCell);

    const std::pair<const char*, const char*> captions[] = {
        {"B11", "Cash"},
        {"F11", "Accounts payable"},
        {"B12", "Accounts receivable"},
        {"F12", "Short-term notes"},
        {"C13", "(less doubtful accounts)"},
        {"F13", "Current portion of long-term notes"},
        {"B14", "Inventory"},
        {"F14", "Interest payable"},
        {"B15", "Temporary investment"},
        {"F15", "Taxes payable"},
        {"B16", "Prepaid expenses"},
        {"F16", "Accrued payroll"},
        {"B19", "Long-term investments"},
        {"F19", "Mortgage"},
        {"B20", "Land"},
        {"F20", "Other long-term liabilities"},
        {"B21", "Buildings"},
        {"C22", "(less accumulated depreciation)"},
        {"B23", "Plant and equipment"},
        {"C24", "(less accumulated depreciation)"},
        {"B25", "Furniture and fixtures"},
        {"F25", "Capital stock"},
        {"C26", "(less accumulated depreciation)"},
        {"F26", "Retained earnings"},
    };
    for (const auto& [cell, caption] : captions)
        text(sheet, cell, caption);
    const std::pair<const char*, const char*> totalCaptions[] = {
        {"C17", "Total Current Assets"},        {"G17", "Total Current Liabilities"},
        {"G21", "Total Long-Term Liabilities"}, {"C27", "Total Net Fixed Assets"},
        {"G27", "Total Shareholders' Equity"},  {"B30", "TOTAL ASSETS"},
        {"F30", "TOTAL LIABILITIES & EQUITY"},
    };
    for (const auto& [cell, caption] : totalCaptions)
        text(sheet, cell, caption, BoldCell);
    for (const char* cell : {"C28", "C29", "G28", "G29", "G30"})
        blank(sheet, cell, BoldCell);

    // The amount cells: the first of each block in the currency format.
    const auto inputCells = [&](const auto& rows, const QByteArray& column) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const QByteArray cell = column + QByteArray::number(rows[i]);
            if (cell == "H26")
                continue; // the retained-earnings formula below
            const bool firstOfBlock = i == 0 || rows[i - 1] != rows[i] - 1;
            blank(sheet, cell.constData(), firstOfBlock ? CurrencyInput : PlainInput);
        }
    };
    inputCells(kAssetAmountRows, "D");
    inputCells(kLiabilityAmountRows, "H");

    formula(sheet, "D17", blockTotal("D11:D16"), CurrencyTotal);
    formula(sheet, "H17", blockTotal("H11:H16"), CurrencyTotal);
    formula(sheet, "H21", blockTotal("H19:H20"), CurrencyTotal);
    formula(sheet, "D27", blockTotal("D19:D26"), CurrencyTotal);
    formula(
        sheet, "H27",
        QStringLiteral("=IF(ISERROR(IF(SUM(H25:H26),SUM(H25:H26),\"\")),\"\",(IF(SUM(H25:H26),SUM(H25:H26),\"\")))"),
        CurrencyTotal);
    formula(sheet, "H26",
            QStringLiteral("=IF(ISERROR(IF(OR(SUM(D30),SUM(H17,H21,H25)),D30-SUM(H17,H21,H25),\"\")),\"\","
                           "(IF(OR(SUM(D30),SUM(H17,H21,H25)),D30-SUM(H17,H21,H25),\"\")))"),
            PlainTotal);
    // The grand totals show whenever any part holds a sum: adding a blank
    // part (an empty text) would make them blank instead.
    formula(sheet, "D30", QStringLiteral("=IF(OR(SUM(D17)<>0,SUM(D27)<>0),SUM(D17,D27),\"\")"), CurrencyTotal);
    formula(sheet, "H30", QStringLiteral("=IF(OR(SUM(H17)<>0,SUM(H21)<>0,SUM(H27)<>0),SUM(H17,H21,H27),\"\")"),
            CurrencyTotal);
    for (const char* cell : {"D28", "D29", "H29"})
        blank(sheet, cell, CurrencyNoBorder);
    blank(sheet, "H28", CurrencyTopBorder);
    blank(sheet, "I31", DefaultCell);
}

RangeAddress range(const char* first, const char* last)
{
    return {cellAddress(first), cellAddress(last)};
}

// The printer settings of the sheet as spreadsheets store them: two reserved
// bytes, then a Windows DEVMODE (its Unicode layout, without driver data)
// that says what the page setup says. It names no printer, so any may take it.
QByteArray printerSettingsFor(const PageSetup& page)
{
    constexpr qsizetype kReserved = 2;
    constexpr qsizetype kNameSize = 64; // the printer's: 32 UTF-16 characters
    constexpr std::uint16_t kSpecVersion = 0x0401;
    constexpr std::uint16_t kDevModeSize = 220;
    constexpr std::uint32_t kOrientationSet = 0x0001, kPaperSizeSet = 0x0002, kCopiesSet = 0x0100,
                            kResolutionSet = 0x0400, kVerticalResolutionSet = 0x2000;
    constexpr std::uint16_t kPortrait = 1, kLandscape = 2;
    spreadsheet::biff::FieldWriter settings;
    settings.zeros(kReserved)
        .zeros(kNameSize)
        .u16(kSpecVersion)
        .u16(0) // driver version
        .u16(kDevModeSize)
        .u16(0) // size of the driver data
        .u32(kOrientationSet | kPaperSizeSet | kCopiesSet | kResolutionSet | kVerticalResolutionSet)
        .u16(page.portrait ? kPortrait : kLandscape)
        .u16(std::uint16_t(page.paperSize))
        .zeros(3 * 2) // paper length and width, scale
        .u16(std::uint16_t(page.copies))
        .u16(0) // paper source
        .u16(std::uint16_t(page.horizontalDpi))
        .zeros(2 * 2) // colour, duplex
        .u16(std::uint16_t(page.verticalDpi))
        .zeros(2 * 2); // TrueType fonts, collation
    // No form name; the display, colour matching, media and dithering fields are not set.
    settings.zeros(kReserved + kDevModeSize - settings.size());
    return settings.data();
}

void shapeBalanceSheet(Worksheet& sheet)
{
    const std::pair<int, double> customHeights[] = {
        {1, 6},      {3, 20.1},   {4, 15.95},  {5, 12},     {6, 12},     {7, 12},     {8, 12},     {9, 18},
        {10, 20.1},  {11, 15.95}, {12, 15.95}, {13, 15.95}, {14, 15.95}, {15, 15.95}, {16, 15.95}, {17, 21},
        {18, 36},    {19, 15.95}, {20, 15.95}, {21, 15.95}, {22, 15.95}, {23, 15.95}, {24, 15.95}, {25, 15.95},
        {26, 15.95}, {27, 15.75}, {28, 15.75}, {29, 15.75}, {30, 15.75},
    };
    for (const auto& [row, points] : customHeights)
        sheet.rows[row - 1] = RowInfo{twips(points), true, false, std::nullopt};
    sheet.rows[1] = RowInfo{twips(41.25), false, false, std::nullopt}; // follows the title font

    const int widths[] = {438, 731, 7789, 3291, 2267, 731, 7789, 3291, 1206};
    for (int column = 0; column < 9; ++column)
        sheet.columns.append(ColumnInfo{column, column, widths[column], DefaultCell, false});
    sheet.columns.append(ColumnInfo{9, kMaxColumns - 1, 2340, DefaultCell, false});
    sheet.defaultColumnWidth = 8;

    SheetWindow& window = sheet.window;
    window.showGridlines = false;
    window.zoomPercent = 75;
    window.activeCell = cellAddress("C3");
    window.selected = true;
    window.active = true;

    PageSetup& page = sheet.page;
    page.paperSize = 1;
    page.portrait = true;
    page.fitToPage = true;
    page.fitWidth = 1;
    page.fitHeight = 1;
    page.scale = 91;
    page.horizontalDpi = page.verticalDpi = 300;
    page.copies = 1;
    page.leftMargin = page.rightMargin = page.topMargin = page.bottomMargin = 0.65;
    page.headerMargin = page.footerMargin = 0.5;
    page.centreHorizontally = true;
    page.printerSettings = printerSettingsFor(page);

    // The totals add blocks the user may leave empty; the check need not say so.
    const IgnoredErrors totals{
        {range("D17", "D17"), range("H17", "H17"), range("H21", "H21"), range("D27", "D27"), range("H26", "H27")},
        ErrorCheck::EmptyCellReference};
    sheet.ignoredErrors = {totals};
}

Worksheet variablesSheet()
{
    Worksheet sheet;
    sheet.name = QStringLiteral("Variables");
    sheet.state = SheetState::VeryHidden;
    text(sheet, "A1", "_Example");
    sheet.cellAt(cellAddress("B1")).value = false;
    text(sheet, "A2", "_Shading");
    sheet.cellAt(cellAddress("B2")).value = false;
    text(sheet, "A3", "_Series");
    text(sheet, "B3", "Standard");
    text(sheet, "A4", "_Look");
    sheet.cellAt(cellAddress("B4")).value = 1.0;
    sheet.page.header = QStringLiteral("&A");
    sheet.page.footer = QStringLiteral("Page &P");
    return sheet;
}

QList<DefinedName> definedNames()
{
    constexpr int balanceSheet = 0, variables = 1, deleted = 2;
    auto global = [](const char* name, QByteArray tokens) {
        return DefinedName{QLatin1String(name), 0, false, false, std::move(tokens)};
    };
    return {
        global("DATA_01", formula::sheetAreaName(balanceSheet, range("D11", "D16"))),
        global("DATA_02", formula::sheetAreaName(balanceSheet, range("H11", "H16"))),
        global("DATA_03", formula::sheetAreaName(balanceSheet, range("D19", "D26"))),
        global("DATA_04", formula::sheetAreaName(balanceSheet, range("H19", "H20"))),
        global("DATA_05", formula::sheetAreaName(balanceSheet, range("H25", "H25"))),
        global("DATA_06", formula::sheetAreaName(balanceSheet, range("C3", "C3"))),
        global("_Example", formula::sheetAreaName(variables, range("B1", "B1"))),
        global("_Shading", formula::sheetAreaName(variables, range("B2", "B2"))),
        global("_Series", formula::sheetAreaName(variables, range("B3", "B3"))),
        global("_Look", formula::sheetAreaName(variables, range("B4", "B4"))),
        global("IntroPrintArea", formula::deletedSheetAreaName(deleted)),
    };
}

QList<QColor> palette()
{
    QList<QColor> colours = defaultPalette();
    colours[kLightYellow - 8] = QColor(0xFF, 0xFF, 0xC0);
    return colours;
}

DocumentProperties properties()
{
    DocumentProperties p;
    p.applicationName = QStringLiteral("Microsoft Excel");
    p.lastSavedBy = QStringLiteral("Quillmere");
    p.worksheetTitles = {QStringLiteral("Balance Sheet")};
    p.customTexts = {{QStringLiteral("_TemplateID"), QStringLiteral("TC010176851033")}};
    p.codepage = 1252;
    return p;
}

} // namespace

Workbook balanceSheetTemplate()
{
    Workbook book;
    book.isTemplate = true;
    book.writeAccessUser = QStringLiteral("Quillmere");
    book.fonts = fonts();
    book.numberFormats = numberFormats();
    book.formats = formats();
    book.styles = styles();
    book.palette = palette();
    book.properties = properties();

    Worksheet sheet;
    sheet.name = QStringLiteral("Balance Sheet");
    fillBalanceSheet(sheet);
    shapeBalanceSheet(sheet);
    book.sheets = {sheet, variablesSheet()};
    book.sheetReferences = {SheetReference{0, 0}, SheetReference{1, 1}, SheetReference{kSheetNotFound, kSheetNotFound}};
    book.names = definedNames();
    recalculate(book);
    return book;
}

} // namespace generation
