#pragma once

#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/Value.h"

#include <QByteArray>
#include <QColor>
#include <QFlags>
#include <QList>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>

// The workbook model: what a workbook file holds, independent of how the
// file stores it.
namespace spreadsheet {

// Colour indexes: 8 to 63 address the palette; these two mean "automatic".
inline constexpr std::uint16_t kAutomaticFontColour = 0x7FFF;
inline constexpr std::uint8_t kAutomaticColour = 0x40;

struct Font {
    QString name = QStringLiteral("Arial");
    int heightTwips = 200; // 1/20 point
    bool bold = false;
    bool italic = false;
    bool strikeout = false;
    std::uint8_t underline = 0; // 0 none, 1 single, 2 double, 0x21/0x22 accounting
    std::uint16_t colourIndex = kAutomaticFontColour;
    std::uint8_t family = 0;
    std::uint8_t charset = 0;
    friend bool operator==(const Font&, const Font&) = default;
};

enum class HorizontalAlignment : std::uint8_t {
    General = 0,
    Left = 1,
    Centre = 2,
    Right = 3,
    Fill = 4,
    Justify = 5,
    CentreAcrossSelection = 6,
};
enum class VerticalAlignment : std::uint8_t { Top = 0, Centre = 1, Bottom = 2, Justify = 3 };

enum class LineStyle : std::uint8_t {
    None = 0,
    Thin = 1,
    Medium = 2,
    Dashed = 3,
    Dotted = 4,
    Thick = 5,
    Double = 6,
    Hair = 7,
};

struct BorderLine {
    LineStyle style = LineStyle::None;
    std::uint8_t colourIndex = kAutomaticColour;
    friend bool operator==(const BorderLine&, const BorderLine&) = default;
};

// A cell format (or the format of a cell style).
struct CellFormat {
    int fontIndex = 0;    // into Workbook::fonts
    int numberFormat = 0; // a built-in or Workbook::numberFormats id
    HorizontalAlignment horizontal = HorizontalAlignment::General;
    VerticalAlignment vertical = VerticalAlignment::Bottom;
    bool wrap = false;
    int indent = 0;
    BorderLine left, right, top, bottom;
    std::uint8_t fillPattern = 0; // 0 none, 1 solid, ...
    std::uint8_t fillForeground = kAutomaticColour;
    std::uint8_t fillBackground = kAutomaticColour + 1;
    bool locked = true;
    bool hidden = false;
    bool isStyle = false;
    int parentStyle = 0;            // a style format's index; unused by style formats
    std::uint8_t attributesSet = 0; // which groups differ from the parent style (file flags)
    friend bool operator==(const CellFormat&, const CellFormat&) = default;
};

struct CellStyle {
    int formatIndex = 0;
    bool builtIn = true;
    std::uint8_t builtInId = 0; // 0 Normal, 3 Comma, 4 Currency, 5 Percent, ...
    std::uint8_t level = 0xFF;
    QString name; // for styles of the user's own
    friend bool operator==(const CellStyle&, const CellStyle&) = default;
};

struct NumberFormat {
    int id = 0;
    QString code;
    friend bool operator==(const NumberFormat&, const NumberFormat&) = default;
};

// A cell: its value, and the formula that yields it when there is one.
struct Cell {
    Value value;
    QByteArray formula; // stored tokens; empty for a plain value
    int formatIndex = 15;
    friend bool operator==(const Cell&, const Cell&) = default;
};

struct ColumnInfo {
    int first = 0;
    int last = 0;
    int width = 2340; // 1/256 of a character of the default font
    int formatIndex = 15;
    bool hidden = false;
    friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

struct RowInfo {
    int heightTwips = 255;
    bool customHeight = false;
    bool hidden = false;
    std::optional<int> formatIndex;
    friend bool operator==(const RowInfo&, const RowInfo&) = default;
};

enum class SheetState : std::uint8_t { Visible = 0, Hidden = 1, VeryHidden = 2 };

struct SheetWindow {
    bool showFormulas = false;
    bool showGridlines = true;
    bool showHeaders = true;
    bool showZeros = true;
    bool selected = false; // among the selected tabs
    bool active = false;   // the tab shown
    int zoomPercent = 100;
    CellAddress topLeft;
    CellAddress activeCell;
    QList<RangeAddress> selection; // empty: just the active cell
    friend bool operator==(const SheetWindow&, const SheetWindow&) = default;
};

struct PageSetup {
    int paperSize = 1; // Letter
    int scale = 100;
    int firstPageNumber = 1;
    int fitWidth = 1;
    int fitHeight = 1;
    bool fitToPage = false;
    bool portrait = true;
    bool settingsValid = true; // clear: the paper, scale, orientation fields are not set
    int horizontalDpi = 300;
    int verticalDpi = 300;
    int copies = 1;
    double leftMargin = 0.75, rightMargin = 0.75, topMargin = 1.0, bottomMargin = 1.0; // inches
    double headerMargin = 0.5, footerMargin = 0.5;
    bool centreHorizontally = false;
    bool centreVertically = false;
    bool printGridlines = false;
    bool printHeaders = false;
    QString header;
    QString footer;
    QByteArray printerSettings; // stored as it came; none when empty
    friend bool operator==(const PageSetup&, const PageSetup&) = default;
};

// The kinds of error a spreadsheet's background error check flags, with the
// bits the file format gives them.
enum class ErrorCheck : std::uint32_t {
    CalculationError = 0x01,
    EmptyCellReference = 0x02, // a formula refers to empty cells
    NumberStoredAsText = 0x04,
    InconsistentRange = 0x08, // a formula leaves out cells next to its range
    InconsistentFormula = 0x10,
    TextDate = 0x20, // a date as text with a two-digit year
    UnprotectedFormula = 0x40,
    DataValidation = 0x80,
};
Q_DECLARE_FLAGS(ErrorChecks, ErrorCheck)

// Ranges of a sheet whose cells the error check does not flag for the kinds
// of error given.
struct IgnoredErrors {
    QList<RangeAddress> ranges;
    ErrorChecks ignored;
    friend bool operator==(const IgnoredErrors&, const IgnoredErrors&) = default;
};

// A record the engine does not model, kept to be written back unchanged.
struct KeptRecord {
    std::uint16_t type = 0;
    QByteArray body;
    QList<QByteArray> continues;
    friend bool operator==(const KeptRecord&, const KeptRecord&) = default;
};

struct Worksheet {
    QString name;
    SheetState state = SheetState::Visible;
    std::map<std::pair<int, int>, Cell> cells; // by (row, column)
    std::map<int, RowInfo> rows;
    QList<ColumnInfo> columns;
    int defaultColumnWidth = 8; // characters
    int defaultRowHeightTwips = 255;
    std::uint16_t defaultRowFlags = 0;
    SheetWindow window;
    PageSetup page;
    QList<IgnoredErrors> ignoredErrors;
    QList<KeptRecord> keptBeforeCells;
    QList<KeptRecord> keptAfterWindow;

    const Cell* cell(CellAddress at) const;
    Cell& cellAt(CellAddress at); // created blank (format 15) when missing
    // The smallest rectangle holding every cell with content or a format;
    // A1 alone when there is none.
    RangeAddress usedRange() const;
    friend bool operator==(const Worksheet&, const Worksheet&) = default;
};

struct DefinedName {
    QString name;
    int sheetScope = 0; // 0 the whole workbook, else sheet index + 1
    bool hidden = false;
    bool builtIn = false; // then `name` holds the one-character built-in code
    QByteArray formula;   // name tokens (3-D references through the sheet list)
    friend bool operator==(const DefinedName&, const DefinedName&) = default;
};

// One entry of the workbook's list of referenced sheets; a sheet index of
// kSheetNotFound (-1 in the file's signed field) marks a reference to a
// sheet that no longer exists.
inline constexpr int kSheetNotFound = 0xFFFF;
struct SheetReference {
    int firstSheet = 0;
    int lastSheet = 0;
    friend bool operator==(const SheetReference&, const SheetReference&) = default;
};

struct WorkbookWindow {
    int left = 0, top = 0, width = 15000, height = 9000; // twips
    bool hidden = false;
    bool showHorizontalScroll = true;
    bool showVerticalScroll = true;
    bool showTabs = true;
    int firstVisibleTab = 0;
    int tabRatio = 600;
    friend bool operator==(const WorkbookWindow&, const WorkbookWindow&) = default;
};

struct CalculationSettings {
    bool automatic = true;
    bool iterate = false;
    int iterationCount = 100;
    double maxChange = 0.001;
    bool fullPrecision = true;
    bool recalculateBeforeSave = true;
    bool date1904 = false;
    friend bool operator==(const CalculationSettings&, const CalculationSettings&) = default;
};

struct Workbook {
    bool isTemplate = false;
    QString writeAccessUser;
    QList<Font> fonts;
    QList<NumberFormat> numberFormats;
    QList<CellFormat> formats;
    QList<CellStyle> styles;
    std::optional<QList<QColor>> palette; // the 56 colours of indexes 8 to 63
    QList<Worksheet> sheets;
    QList<DefinedName> names;
    QList<SheetReference> sheetReferences;
    WorkbookWindow window;
    CalculationSettings calculation;
    QList<KeptRecord> keptGlobals;
    DocumentProperties properties;
    QList<std::pair<QString, QByteArray>> otherStreams; // of the file, kept as they came

    int activeSheet() const;
    // The colour of a palette index (8 to 63), from the workbook's own
    // palette or the default one.
    QColor colour(int index) const;
    friend bool operator==(const Workbook&, const Workbook&) = default;
};

// The file format's default palette, indexes 8 to 63.
const QList<QColor>& defaultPalette();

} // namespace spreadsheet

Q_DECLARE_OPERATORS_FOR_FLAGS(spreadsheet::ErrorChecks)
