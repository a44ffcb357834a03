#include "spreadsheet/SheetPainter.h"

#include "spreadsheet/NumberFormat.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace spreadsheet {
namespace {

// Blank pixels between a cell's side and its text. With the gridline this
// makes the 5 pixels a stored column width counts beyond its digits; Excel
// and Gnumeric both keep 2 at each side.
constexpr int kTextMargin = 2;
// Blank pixels between the text's descent and the bottom gridline.
constexpr int kBottomMargin = 1;
constexpr int kTopMargin = 1;
// Excel 97-2003's automatic gridline colour, and LibreOffice Calc's default.
constexpr QRgb kGridColour = 0xFFC0C0C0;

// 96 dots per inch, as a paint device's dots per metre.
constexpr int kDotsPerMetre = 3780;

// Qt's font matching rounds sizes to whole pixels (10 points would draw at
// 13 pixels, not 13 1/3). Text is set at this many times its size, the font's
// twips as pixels, and drawn scaled down, so every size stays exact.
constexpr qreal kTextScale = 15;

// Sizes from the file are worked out in 64 bits and kept within this many
// pixels, far beyond any picture drawn, so no sum or difference of two
// coordinates overflows an int.
constexpr std::int64_t kFarPixels = std::int64_t(1) << 30;

int saturated(std::int64_t pixels)
{
    return int(std::clamp(pixels, -kFarPixels, kFarPixels));
}

// Widths of the texts measured so far in one font, in the units it is set in.
using MeasuredWidths = QHash<QString, qreal>;

// The widths measured in `font` in earlier pictures as well: a workbook drawn
// again brings back most of its texts, and measuring one shapes it, a sixth
// of the drawing. Fonts belong to their thread, and so does this.
std::shared_ptr<MeasuredWidths> measuredWidths(const QFont& font)
{
    constexpr qsizetype kMostFonts = 256;
    thread_local QHash<QString, std::shared_ptr<MeasuredWidths>> byFont;
    const QString key = font.key() + (font.kerning() ? u'k' : u'-');
    std::shared_ptr<MeasuredWidths>& widths = byFont[key];
    if (!widths) {
        if (byFont.size() > kMostFonts) { // fonts in use keep their own
            byFont.clear();
            return measuredWidths(font);
        }
        widths = std::make_shared<MeasuredWidths>();
    }
    return widths;
}

// A cell font at its exact size, measured in pixels of the picture.
class TextFont {
public:
    explicit TextFont(const Font& font) : drawing(cellFont(font)), metrics(drawing)
    {
        drawing.setPixelSize(std::max(1, font.heightTwips));
        metrics = QFontMetricsF(drawing);
        widths = measuredWidths(drawing);
        ascent = int(std::lround(metrics.ascent() / kTextScale));
        descent = int(std::lround(metrics.descent() / kTextScale));
        lineSpacing = int(std::lround(metrics.lineSpacing() / kTextScale));
    }

    qreal advance(const QString& text) const { return setAdvance(text) / kTextScale; }
    // In the units the font is set in, kTextScale times the picture's. A
    // file stores a text once and may name it in every cell: each text is
    // measured once.
    qreal setAdvance(const QString& text) const
    {
        constexpr qsizetype kMostWidths = 1 << 14;
        if (const auto found = widths->constFind(text); found != widths->cend())
            return *found;
        if (widths->size() >= kMostWidths)
            widths->clear();
        return *widths->insert(text, metrics.horizontalAdvance(text));
    }
    qreal advance(QChar character) const { return metrics.horizontalAdvance(character) / kTextScale; }
    qreal underlinePos() const { return metrics.underlinePos() / kTextScale; }
    qreal lineWidth() const { return metrics.lineWidth() / kTextScale; }

    QFont drawing;
    QFontMetricsF metrics;
    int ascent = 0;
    int descent = 0;
    int lineSpacing = 0;

private:
    std::shared_ptr<MeasuredWidths> widths;
};

// Keeps the painter's state while it lives.
class SavedState {
public:
    explicit SavedState(QPainter& target) : painter(target) { painter.save(); }
    ~SavedState() { painter.restore(); }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    QPainter& painter;
};

// Draws text in a TextFont: the painter is scaled while it lives.
class TextPen {
public:
    TextPen(QPainter& target, const TextFont& font, const QColor& colour) : painter(target)
    {
        painter.save();
        painter.scale(1 / kTextScale, 1 / kTextScale);
        painter.setFont(font.drawing);
        painter.setPen(colour);
    }
    ~TextPen() { painter.restore(); }
    TextPen(const TextPen&) = delete;
    TextPen& operator=(const TextPen&) = delete;

    void draw(qreal x, qreal baseline, const QString& text)
    {
        painter.drawText(QPointF(x * kTextScale, baseline * kTextScale), text);
    }

private:
    QPainter& painter;
};

// The colour of a palette index; `automatic` for the system colours.
QColor colourOf(const Workbook& workbook, int index, QColor automatic)
{
    // Indexes 0 to 7 are fixed in the file format, beneath the palette.
    static constexpr QRgb fixed[8] = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00,
                                      0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
    if (index >= 0 && index < 8)
        return QColor::fromRgb(fixed[index]);
    if (index >= 8 && index < 64)
        return workbook.colour(index);
    if (index == kAutomaticColour + 1)
        return QColor(Qt::white); // the system window background
    return automatic;
}

// The widest digit of the workbook's default font, in pixels.
int maxDigitWidth(const Workbook& workbook)
{
    const Font base = workbook.fonts.isEmpty() ? Font() : workbook.fonts.front();
    if (!qGuiApp) // no font system: Arial's digits are 0.556 of the em
        return std::max(1, int(std::lround(base.heightTwips / kTextScale * 0.556)));
    const TextFont font(base);
    qreal widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, font.advance(QChar(digit)));
    return std::max(1, int(std::lround(widest)));
}

// An indent level is three blanks of the default font, each a whole pixel
// wide: 12 pixels for Arial 10.
int indentPixels(const Workbook& workbook)
{
    const Font base = workbook.fonts.isEmpty() ? Font() : workbook.fonts.front();
    if (!qGuiApp)
        return 3 * std::max(1, int(std::lround(base.heightTwips / kTextScale * 0.278)));
    return 3 * std::max(1, int(std::lround(TextFont(base).advance(QLatin1Char(' ')))));
}

int storedWidthPixels(int width, int digit)
{
    // Excel's rounding of 1/256 digit widths to whole pixels.
    return saturated((std::int64_t(std::max(width, 0)) + 128 / digit) * digit / 256);
}

int defaultWidthPixels(int characters, int digit)
{
    // The default width counts its padding apart and is rounded up to a
    // multiple of 8 pixels: 8 characters of Arial 10 make 64 pixels.
    const std::int64_t padding = std::max((digit + 3) / 4, 2) * 2 + 1;
    const std::int64_t pixels = std::int64_t(std::max(characters, 0)) * digit + padding;
    return saturated((pixels + 7) / 8 * 8);
}

const ColumnInfo* columnInfo(const Worksheet& sheet, int column)
{
    for (const ColumnInfo& info : sheet.columns) {
        if (column >= info.first && column <= info.last)
            return &info;
    }
    return nullptr;
}

int columnPixels(const Worksheet& sheet, const ColumnInfo* info, int digit)
{
    if (info)
        return info->hidden ? 0 : storedWidthPixels(info->width, digit);
    return defaultWidthPixels(sheet.defaultColumnWidth, digit);
}

int twipsToPixels(int twips)
{
    return int((std::int64_t(std::max(twips, 0)) + 7) / 15); // 15 twips a pixel, to the nearest
}

QString formatCode(const Workbook& workbook, int id)
{
    for (const NumberFormat& format : workbook.numberFormats) {
        if (format.id == id)
            return format.code;
    }
    const QString code = builtInFormatCode(id);
    return code.isEmpty() ? QStringLiteral("General") : code;
}

enum class Kind { Text, Number, Logical };

struct Shown {
    DisplayText display;
    Kind kind = Kind::Text;
};

// Cuts the text to what a cell shows (kMaxShownCharacters), with the blanks
// and fill that fall within it: drawing a cell then costs the same whatever
// length of text the file stores for it.
void limitShown(DisplayText& display)
{
    if (display.text.size() > kMaxShownCharacters) {
        qsizetype cut = kMaxShownCharacters;
        if (display.text.at(cut - 1).isHighSurrogate()) // never half a character
            --cut;
        display.text.truncate(cut);
        display.padding.removeIf([&](const auto& blank) { return blank.first > display.text.size(); });
        if (display.fill && display.fill->first > display.text.size())
            display.fill.reset();
    }
    if (display.padding.size() > kMaxShownCharacters)
        display.padding.resize(kMaxShownCharacters);
}

// A text the cell shows through its format; none for a blank one.
std::optional<Shown> shownValue(const Workbook& workbook, const Worksheet& sheet, const Cell& cell,
                                const CellFormat& format)
{
    Shown shown;
    if (const double* number = std::get_if<double>(&cell.value)) {
        if (*number == 0 && !sheet.window.showZeros)
            return std::nullopt;
        shown.display =
            formatValue(cell.value, formatCode(workbook, format.numberFormat), workbook.calculation.date1904);
        shown.kind = Kind::Number;
    } else if (std::holds_alternative<QString>(cell.value)) {
        shown.display =
            formatValue(cell.value, formatCode(workbook, format.numberFormat), workbook.calculation.date1904);
        shown.kind = shown.display.isNumber ? Kind::Number : Kind::Text;
    } else if (const bool* logical = std::get_if<bool>(&cell.value)) {
        shown.display.text = *logical ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        shown.kind = Kind::Logical;
    } else if (const ErrorValue* error = std::get_if<ErrorValue>(&cell.value)) {
        shown.display.text = errorText(*error);
        shown.kind = Kind::Logical;
    } else {
        return std::nullopt;
    }
    if (shown.display.text.isEmpty() && !shown.display.fill)
        return std::nullopt;
    limitShown(shown.display);
    return shown;
}

// Everything one paint needs to know about the sheet, looked up once.
class SheetView {
public:
    SheetView(const Workbook& book, const Worksheet& shown, int firstColumn)
        : workbook(book), sheet(shown), digit(maxDigitWidth(book)), indent(indentPixels(book))
    {
        // A file may hold any number of column records: each column's is
        // found once, the first naming it, as a lookup would.
        columnInfos.fill(nullptr);
        int unnamed = kMaxColumns;
        for (const ColumnInfo& info : sheet.columns) {
            for (int c = std::max(info.first, 0); c <= std::min(info.last, kMaxColumns - 1); ++c) {
                if (!columnInfos[c]) {
                    columnInfos[c] = &info;
                    --unnamed;
                }
            }
            if (unnamed == 0)
                break;
        }
        std::int64_t x = 0;
        for (int c = 0; c < kMaxColumns; ++c) {
            columnX[c] = x;
            x += columnPixels(sheet, columnInfos[c], digit);
        }
        columnX[kMaxColumns] = x;
        const std::int64_t origin = columnX[firstColumn];
        for (std::int64_t& value : columnX)
            value -= origin;
        fonts.resize(workbook.fonts.size());
    }

    const CellFormat& format(int row, int column, const Cell* cell) const
    {
        static const CellFormat plain;
        int index = 15;
        if (cell) {
            index = cell->formatIndex;
        } else if (const auto found = sheet.rows.find(row); found != sheet.rows.end() && found->second.formatIndex) {
            index = *found->second.formatIndex;
        } else if (const ColumnInfo* info = column >= 0 && column < kMaxColumns ? columnInfos[column] : nullptr) {
            index = info->formatIndex;
        }
        return index >= 0 && index < workbook.formats.size() ? workbook.formats[index] : plain;
    }
    const CellFormat& format(int row, int column) const { return format(row, column, sheet.cell({row, column})); }

    // Text may run over a cell only when it holds nothing, not even a
    // formula that yields an empty text.
    bool isEmpty(int row, int column) const
    {
        const Cell* cell = sheet.cell({row, column});
        return !cell || (cell->formula.isEmpty() && std::holds_alternative<Empty>(cell->value));
    }

    bool isFilled(int row, int column) const
    {
        if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
            return false;
        return format(row, column).fillPattern != 0;
    }

    const TextFont& font(int index)
    {
        if (index < 0 || std::size_t(index) >= fonts.size()) {
            if (!fallbackFont)
                fallbackFont.emplace(Font());
            return *fallbackFont;
        }
        if (!fonts[index])
            fonts[index].emplace(workbook.fonts[index]);
        return *fonts[index];
    }

    // Exact within the picture; columns far beyond it stop at kFarPixels.
    int x(int column) const { return saturated(exactX(column)); }
    std::int64_t exactX(int column) const { return columnX[std::clamp(column, 0, kMaxColumns)]; }
    int width(int column) const { return x(column + 1) - x(column); }

    const Workbook& workbook;
    const Worksheet& sheet;
    const int digit;
    const int indent; // pixels a level of indent moves the text

private:
    std::array<const ColumnInfo*, kMaxColumns> columnInfos;
    std::array<std::int64_t, kMaxColumns + 1> columnX;
    std::vector<std::optional<TextFont>> fonts;
    std::optional<TextFont> fallbackFont;
};

// The width of the displayed text with its padding blanks, without fill.
qreal naturalWidth(const TextFont& metrics, const DisplayText& display)
{
    qreal width = metrics.advance(display.text);
    for (const auto& [index, character] : display.padding)
        width += metrics.advance(character);
    return width;
}

QString hashesFor(const TextFont& metrics, qreal available)
{
    const qreal hash = metrics.advance(QLatin1Char('#'));
    const qreal count = hash > 0 ? std::floor(available / hash + 1e-6) : 0;
    return QString(qsizetype(std::clamp<qreal>(count, 0, kMaxShownCharacters)), QLatin1Char('#'));
}

// A number wider than its cell shows "#" across it; the result is what
// remains to draw. Columns are sized for Excel's 13-pixel Arial, so at the
// exact 13 1/3 a number may use the cell's margins: `available` is the whole
// cell inside its gridline, and a column keeps the digits its width promises.
DisplayText fitNumber(const TextFont& metrics, const Shown& shown, qreal available)
{
    if (shown.kind != Kind::Number || naturalWidth(metrics, shown.display) <= available + 1e-6)
        return shown.display;
    DisplayText hashes;
    hashes.text = hashesFor(metrics, available);
    hashes.colour = shown.display.colour;
    hashes.isNumber = true;
    return hashes;
}

// Draws the text from `x`: padding blanks are skipped over and the fill
// character repeats across `stretch` pixels.
void drawPieces(TextPen& pen, const TextFont& metrics, const DisplayText& display, qreal x, int baseline, qreal stretch)
{
    // The blanks in the order of their places, each taken once below.
    std::vector<std::pair<qsizetype, QChar>> blanks(display.padding.begin(), display.padding.end());
    std::stable_sort(blanks.begin(), blanks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    auto blank = blanks.cbegin();
    std::vector<qsizetype> breaks;
    for (const auto& [index, character] : display.padding)
        breaks.push_back(index);
    if (display.fill)
        breaks.push_back(display.fill->first);
    breaks.push_back(display.text.size());
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());

    qsizetype from = 0;
    for (const qsizetype until : breaks) {
        const qsizetype end = std::clamp<qsizetype>(until, from, display.text.size());
        if (end > from) {
            const QString piece = display.text.mid(from, end - from);
            pen.draw(x, baseline, piece);
            x += metrics.advance(piece);
            from = end;
        }
        if (until != end)
            continue;
        for (; blank != blanks.cend() && blank->first <= until; ++blank) {
            if (blank->first == until)
                x += metrics.advance(blank->second);
        }
        if (display.fill && display.fill->first == until && stretch > 0) {
            const QChar character = display.fill->second;
            const qreal advance = metrics.advance(character);
            const qreal count = advance > 0 ? std::floor(stretch / advance + 1e-6) : 0;
            if (count >= 1)
                pen.draw(x, baseline, QString(qsizetype(std::min<qreal>(count, kMaxShownCharacters)), character));
            x += stretch;
            stretch = 0; // a code holds one fill at most
        }
    }
}

QStringList wrapLines(const TextFont& metrics, const QString& text, qreal width)
{
    // Each word is measured once, with its blank: text is set without
    // kerning, so a line is as wide as its words, and a long text wraps in
    // time proportional to its length.
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        qreal lineWidth = 0; // in the font's set units
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            if (line.isEmpty()) {
                line = word;
                lineWidth = metrics.setAdvance(word);
                continue;
            }
            const QString spaced = QLatin1Char(' ') + word;
            const qreal spacedWidth = metrics.setAdvance(spaced);
            if ((lineWidth + spacedWidth) / kTextScale > width) {
                lines.append(line);
                line = word;
                lineWidth = metrics.setAdvance(word);
            } else {
                line += spaced;
                lineWidth += spacedWidth;
            }
        }
        lines.append(line);
    }
    return lines;
}

enum class Align { Left, Centre, Right };

// One cell's text, placed.
struct TextItem {
    int row = 0;
    int fontIndex = 0;
    QColor colour;
    DisplayText display;
    QStringList lines; // wrapped text, one line each; empty otherwise
    Align align = Align::Left;
    qreal x = 0;       // where the single line starts
    qreal stretch = 0; // pixels the fill character covers
    qreal contentLeft = 0, contentRight = 0;
    qreal indent = 0;
    int baseline = 0; // of the first line
    int lineSpacing = 0;
    std::uint8_t underline = 0;
    QRect clip;
    int spanFirst = 0, spanLast = 0; // the columns the text covers
};

class Painter {
public:
    Painter(const Workbook& workbook, const Worksheet& sheet, RangeAddress area)
        : view(workbook, sheet, area.first.column), range(area)
    {
        rowY.reserve(std::size_t(range.last.row - range.first.row) + 2);
        std::int64_t y = 0;
        for (int r = range.first.row; r <= range.last.row + 1; ++r) {
            rowY.push_back(saturated(y));
            if (r <= range.last.row)
                y += rowHeightPixels(sheet, r);
        }
        exactHeight = y;
    }

    int y(int row) const { return rowY[row - range.first.row]; }
    int height(int row) const { return y(row + 1) - y(row); }

    // The picture's size, exact however large: nothing is drawn unless
    // both sides and the area are within the limits.
    std::int64_t pictureWidth() const { return view.exactX(range.last.column + 1); }
    std::int64_t pictureHeight() const { return exactHeight; }

    QImage paint()
    {
        const int width = view.x(range.last.column + 1);
        const int height = rowY.back();
        QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
        if (image.isNull()) // the memory could not be had
            return {};
        image.setDotsPerMeterX(kDotsPerMetre);
        image.setDotsPerMeterY(kDotsPerMetre);
        image.fill(Qt::white);
        if (width <= 0 || height <= 0)
            return image.copy(0, 0, width, height);
        QPainter painter(&image);
        draw(painter, gridlinesShown());
        painter.end();
        return image;
    }

    bool gridlinesShown() const { return view.sheet.window.showGridlines; }

    // Draws the range from the painter's origin, one unit a pixel; leaves
    // the painter's state as it found it.
    void draw(QPainter& painter, bool gridlines)
    {
        const int width = view.x(range.last.column + 1);
        const int height = rowY.back();
        if (width <= 0 || height <= 0)
            return;
        // Only shown rows and columns are visited: a range may hide tens of
        // thousands of rows in a picture of a few.
        shownRows.clear();
        shownColumns.clear();
        items.clear();
        crossings.assign(std::size_t(range.last.row - range.first.row) + 1, {});
        for (int r = range.first.row; r <= range.last.row; ++r) {
            if (this->height(r) > 0)
                shownRows.push_back(r);
        }
        for (int c = range.first.column; c <= range.last.column; ++c) {
            if (view.width(c) > 0)
                shownColumns.push_back(c);
        }
        for (const int r : shownRows)
            layoutRow(r);
        const SavedState saved(painter);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        paintFills(painter);
        if (gridlines)
            paintGridlines(painter);
        // Text of cells beyond the picture that does not run into it.
        const QRect whole(0, 0, width, height);
        for (const TextItem& item : items) {
            if (item.clip.intersects(whole))
                paintText(painter, item);
        }
        paintBorders(painter, width, height);
    }

    // The text of one cell as laid out for a column of its own width.
    QString shownText(CellAddress at, int widthPixels)
    {
        const Cell* cell = view.sheet.cell(at);
        if (!cell)
            return {};
        const CellFormat& format = view.format(at.row, at.column, cell);
        const std::optional<Shown> shown = shownValue(view.workbook, view.sheet, *cell, format);
        if (!shown)
            return {};
        const TextFont& font = view.font(format.fontIndex);
        return fitNumber(font, *shown, widthPixels - 1).text;
    }

private:
    void layoutRow(int row)
    {
        const auto begin = view.sheet.cells.lower_bound({row, 0});
        const auto end = view.sheet.cells.lower_bound({row + 1, 0});
        for (auto it = begin; it != end; ++it) {
            const int column = it->first.second;
            if (view.width(column) > 0)
                layoutCell(row, column, it->second);
        }
    }

    void layoutCell(int row, int column, const Cell& cell)
    {
        const CellFormat& format = view.format(row, column, &cell);
        const std::optional<Shown> shown = shownValue(view.workbook, view.sheet, cell, format);
        if (!shown)
            return;
        const Font* fontRecord = format.fontIndex >= 0 && format.fontIndex < view.workbook.fonts.size()
            ? &view.workbook.fonts[format.fontIndex]
            : nullptr;
        const TextFont& font = view.font(format.fontIndex);
        const TextFont& metrics = font;

        TextItem item;
        item.row = row;
        item.fontIndex = format.fontIndex;
        item.underline = fontRecord ? fontRecord->underline : 0;
        QColor colour = Qt::black;
        if (fontRecord)
            colour = colourOf(view.workbook, fontRecord->colourIndex, Qt::black);
        if (shown->display.colour)
            colour = *shown->display.colour;
        item.colour = colour;

        // The cells the text belongs to: one, or a run centred across.
        int first = column, last = column;
        HorizontalAlignment horizontal = format.horizontal;
        if (horizontal == HorizontalAlignment::CentreAcrossSelection) {
            while (last + 1 < kMaxColumns && view.isEmpty(row, last + 1)
                   && view.format(row, last + 1).horizontal == HorizontalAlignment::CentreAcrossSelection)
                ++last;
        }
        const qreal left = view.x(first) + kTextMargin;
        const qreal right = view.x(last + 1) - 1 - kTextMargin;
        const qreal available = right - left;
        const qreal indent = format.indent * view.indent;

        Align align = Align::Left;
        switch (horizontal) {
        case HorizontalAlignment::General:
            align = shown->kind == Kind::Number ? Align::Right
                : shown->kind == Kind::Logical  ? Align::Centre
                                                : Align::Left;
            break;
        case HorizontalAlignment::Centre:
        case HorizontalAlignment::CentreAcrossSelection: align = Align::Centre; break;
        case HorizontalAlignment::Right: align = Align::Right; break;
        default: align = Align::Left; break;
        }
        item.align = align;
        item.contentLeft = left;
        item.contentRight = right;
        item.indent = indent;

        const bool wrap = (format.wrap || horizontal == HorizontalAlignment::Justify) && shown->kind == Kind::Text;
        const qreal cellLeft = view.x(first), cellRight = view.x(last + 1) - 1;
        item.display = fitNumber(metrics, *shown, cellRight - cellLeft - (align == Align::Centre ? 0 : indent));
        const qreal natural = naturalWidth(metrics, item.display);

        item.spanFirst = first;
        item.spanLast = last;
        item.lineSpacing = font.lineSpacing;
        int lineCount = 1;
        if (wrap) {
            item.lines = wrapLines(metrics, item.display.text, available - indent);
            lineCount = int(item.lines.size());
        } else if (horizontal == HorizontalAlignment::Fill) {
            // The text repeats across the cell and never runs over.
            const qreal fit = natural > 0 ? std::floor(available / natural + 1e-6) : 1;
            const qsizetype length = std::max<qsizetype>(1, item.display.text.size());
            const qreal most = std::max<qreal>(1, qreal(kMaxShownCharacters / length));
            const int times = int(std::clamp<qreal>(fit, 1, most));
            QString repeated;
            for (int i = 0; i < times; ++i)
                repeated += item.display.text;
            item.display.text = repeated;
            item.display.padding.clear();
            item.display.fill.reset();
            item.x = left;
        } else if (item.display.fill) {
            // The fill takes what the column leaves: the text spans the cell.
            item.stretch = std::max<qreal>(0, available - natural);
            item.x = left;
        } else {
            switch (align) {
            case Align::Left: item.x = left + indent; break;
            case Align::Right: item.x = right - indent - natural; break;
            case Align::Centre: item.x = left + (available - natural) / 2; break;
            }
            // Text runs over empty neighbours; numbers never do.
            if (shown->kind != Kind::Number) {
                const qreal textEnd = item.x + natural;
                if (align != Align::Right) {
                    while (textEnd > view.x(item.spanLast + 1) - 1 - kTextMargin && item.spanLast + 1 < kMaxColumns
                           && view.isEmpty(row, item.spanLast + 1))
                        ++item.spanLast;
                }
                if (align != Align::Left) {
                    while (item.x < view.x(item.spanFirst) + kTextMargin && item.spanFirst > 0
                           && view.isEmpty(row, item.spanFirst - 1))
                        --item.spanFirst;
                }
            }
        }
        if (shown->kind == Kind::Number) // kept inside its cell, margins and all
            item.x = std::max(cellLeft, std::min(item.x, cellRight - natural - item.stretch));

        // Vertical place within the row, above its bottom gridline.
        const int top = y(row);
        const int bottom = y(row + 1) - 1;
        const int blockHeight = font.ascent + font.descent + (lineCount - 1) * item.lineSpacing;
        switch (format.vertical) {
        case VerticalAlignment::Top:
        case VerticalAlignment::Justify: item.baseline = top + kTopMargin + font.ascent; break;
        case VerticalAlignment::Centre: item.baseline = top + (bottom - top - blockHeight) / 2 + font.ascent; break;
        case VerticalAlignment::Bottom:
            item.baseline = bottom - kBottomMargin - font.descent - (lineCount - 1) * item.lineSpacing;
            break;
        }
        item.clip = QRect(QPoint(view.x(item.spanFirst), top), QPoint(view.x(item.spanLast + 1) - 2, bottom - 1));
        if (!item.clip.isValid())
            return;
        if (item.spanLast > item.spanFirst)
            crossings[row - range.first.row].emplace_back(item.spanFirst, item.spanLast);
        items.push_back(std::move(item));
    }

    // Whether text runs over the gridline right of each column of the range
    // in `row`, by column from the range's first.
    std::vector<bool> textCrossings(int row) const
    {
        const int first = range.first.column, last = range.last.column;
        std::vector<int> change(std::size_t(last - first) + 2, 0);
        for (const auto& [from, to] : crossings[row - range.first.row]) {
            const int a = std::max(from, first), b = std::min(to, last + 1);
            if (a < b) {
                ++change[a - first];
                --change[b - first];
            }
        }
        std::vector<bool> crosses(std::size_t(last - first) + 1);
        int open = 0;
        for (std::size_t i = 0; i < crosses.size(); ++i) {
            open += change[i];
            crosses[i] = open > 0;
        }
        return crosses;
    }

    // Neighbouring cells of one colour are filled as one rectangle.
    void paintFills(QPainter& painter)
    {
        for (const int r : shownRows) {
            QRect run;
            QColor runColour;
            for (const int c : shownColumns) {
                const CellFormat& format = view.format(r, c);
                const QColor colour = format.fillPattern == 0 ? QColor() : fillColour(format);
                if (!run.isNull() && colour == runColour && run.right() + 1 == view.x(c)) {
                    run.setRight(view.x(c + 1) - 1);
                    continue;
                }
                if (!run.isNull())
                    painter.fillRect(run, runColour);
                run = colour.isValid() ? QRect(view.x(c), y(r), view.width(c), height(r)) : QRect();
                runColour = colour;
            }
            if (!run.isNull())
                painter.fillRect(run, runColour);
        }
    }

    // Patterns show as their two colours mixed in the pattern's proportion,
    // as LibreOffice shows them.
    QColor fillColour(const CellFormat& format) const
    {
        // The share of foreground pixels of patterns 1 (solid) to 18.
        static constexpr double share[19] = {0,    1,    0.5,  0.75, 0.25, 0.5,    0.5,    0.5,   0.5,   0.5,
                                             0.75, 0.25, 0.25, 0.25, 0.25, 0.4375, 0.4375, 0.125, 0.0625};
        const QColor foreground = colourOf(view.workbook, format.fillForeground, Qt::black);
        const double part = format.fillPattern < 19 ? share[format.fillPattern] : 0.5;
        if (part >= 1)
            return foreground;
        const QColor background = colourOf(view.workbook, format.fillBackground, Qt::white);
        auto mix = [&](int a, int b) { return int(std::lround(a * part + b * (1 - part))); };
        return QColor(mix(foreground.red(), background.red()), mix(foreground.green(), background.green()),
                      mix(foreground.blue(), background.blue()));
    }

    // Pieces of a gridline that meet are drawn as one line: a sheet of tiny
    // cells costs about as much to grid as a few long lines.
    void paintGridlines(QPainter& painter)
    {
        const QColor grid = QColor::fromRgb(kGridColour);
        // Per shown column, the top of the line running down its right side.
        std::vector<int> downFrom(shownColumns.size(), -1);
        auto endDown = [&](std::size_t i, int bottom) {
            if (downFrom[i] >= 0)
                painter.fillRect(QRect(view.x(shownColumns[i] + 1) - 1, downFrom[i], 1, bottom - downFrom[i]), grid);
            downFrom[i] = -1;
        };
        for (const int r : shownRows) {
            const std::vector<bool> crosses = textCrossings(r);
            const int bottom = y(r + 1) - 1;
            int acrossFrom = -1; // the left end of the line along the row's bottom
            for (std::size_t i = 0; i < shownColumns.size(); ++i) {
                const int c = shownColumns[i];
                // A fill hides the gridlines around its cell.
                const bool filled = view.isFilled(r, c);
                if (!filled && !view.isFilled(r, c + 1) && !crosses[c - range.first.column]) {
                    if (downFrom[i] < 0)
                        downFrom[i] = y(r);
                } else {
                    endDown(i, y(r));
                }
                if (!filled && !view.isFilled(r + 1, c)) {
                    if (acrossFrom < 0)
                        acrossFrom = view.x(c);
                } else if (acrossFrom >= 0) {
                    painter.fillRect(QRect(acrossFrom, bottom, view.x(c) - acrossFrom, 1), grid);
                    acrossFrom = -1;
                }
            }
            if (acrossFrom >= 0)
                painter.fillRect(QRect(acrossFrom, bottom, view.x(range.last.column + 1) - acrossFrom, 1), grid);
        }
        for (std::size_t i = 0; i < shownColumns.size(); ++i)
            endDown(i, rowY.back());
    }

    void paintText(QPainter& painter, const TextItem& item)
    {
        const TextFont& font = view.font(item.fontIndex);
        // Within the clip the painter came with, such as a printed page's.
        const SavedState saved(painter);
        painter.setClipRect(item.clip, Qt::IntersectClip);
        {
            TextPen pen(painter, font, item.colour);
            if (!item.lines.isEmpty()) {
                // Lines a font's height and more outside the cell cannot
                // show, however many the text wraps into.
                const int reach = font.ascent + font.descent + item.lineSpacing;
                int baseline = item.baseline;
                for (const QString& line : item.lines) {
                    if (baseline - reach > item.clip.bottom())
                        break;
                    if (baseline + reach < item.clip.top()) {
                        baseline += item.lineSpacing;
                        continue;
                    }
                    const qreal width = font.advance(line);
                    qreal x = item.contentLeft + item.indent;
                    if (item.align == Align::Right)
                        x = item.contentRight - item.indent - width;
                    else if (item.align == Align::Centre)
                        x = item.contentLeft + (item.contentRight - item.contentLeft - width) / 2;
                    pen.draw(x, baseline, line);
                    baseline += item.lineSpacing;
                }
                return;
            }
            drawPieces(pen, font, item.display, item.x, item.baseline, item.stretch);
        }
        // Double underlines: Qt draws single ones with the font.
        if (item.underline == 2 || item.underline == 0x22) {
            const qreal thickness = std::max<qreal>(1, std::round(font.lineWidth()));
            const qreal under = item.baseline + std::round(font.underlinePos()) + 2 * thickness;
            const qreal from = item.underline == 0x22 ? item.contentLeft : item.x;
            const qreal to =
                item.underline == 0x22 ? item.contentRight : item.x + naturalWidth(font, item.display) + item.stretch;
            painter.fillRect(QRectF(std::round(from), under, std::round(to - from), thickness), item.colour);
        }
    }

    // How much a line weighs when two neighbours name different ones.
    static int weight(LineStyle style)
    {
        switch (style) {
        case LineStyle::None: return 0;
        case LineStyle::Hair: return 1;
        case LineStyle::Dotted: return 2;
        case LineStyle::Dashed: return 3;
        case LineStyle::Thin: return 4;
        case LineStyle::Medium: return 5;
        case LineStyle::Double: return 6;
        case LineStyle::Thick: return 7;
        }
        return 0;
    }

    static int thickness(LineStyle style)
    {
        switch (style) {
        case LineStyle::Medium: return 2;
        case LineStyle::Thick:
        case LineStyle::Double: return 3;
        default: return 1;
        }
    }

    // The line between two cells: the heavier of the two that name one.
    static BorderLine stronger(const BorderLine& a, const BorderLine& b)
    {
        return weight(b.style) > weight(a.style) ? b : a;
    }

    // Draws a line along a run of pixels: `along` from `from` to `to`
    // inclusive, `across` its first pixel row or column.
    void drawLine(QPainter& painter, const BorderLine& line, bool vertical, int across, int from, int to, int limit)
    {
        const QColor colour = colourOf(view.workbook, line.colourIndex, Qt::black);
        const int width = thickness(line.style);
        across = std::clamp(across, 0, std::max(0, limit - width));
        from -= (width - 1) / 2;
        to += width / 2;
        auto put = [&](int start, int length, int offset, int size) {
            if (vertical)
                painter.fillRect(QRect(across + offset, start, size, length), colour);
            else
                painter.fillRect(QRect(start, across + offset, length, size), colour);
        };
        // Dashes: pixels on, pixels off.
        int on = 0, off = 0;
        switch (line.style) {
        case LineStyle::Dashed:
            on = 3;
            off = 1;
            break;
        case LineStyle::Dotted:
            on = 1;
            off = 2;
            break;
        case LineStyle::Hair:
            on = 1;
            off = 1;
            break;
        default: break;
        }
        if (line.style == LineStyle::Double) {
            put(from, to - from + 1, 0, 1);
            put(from, to - from + 1, 2, 1);
        } else if (on == 0) {
            put(from, to - from + 1, 0, width);
        } else {
            for (int p = from; p <= to; p += on + off)
                put(p, std::min(on, to - p + 1), 0, 1);
        }
    }

    void paintBorders(QPainter& painter, int imageWidth, int imageHeight)
    {
        auto formatOr = [&](int row, int column) -> const CellFormat* {
            if (row < 0 || column < 0 || row >= kMaxRows || column >= kMaxColumns)
                return nullptr;
            return &view.format(row, column);
        };
        // Vertical lines: the boundary left of column c, row by row.
        for (const int r : shownRows) {
            for (int c = range.first.column; c <= range.last.column + 1; ++c) {
                const CellFormat* leftCell = formatOr(r, c - 1);
                const CellFormat* rightCell = formatOr(r, c);
                BorderLine line;
                if (leftCell)
                    line = leftCell->right;
                if (rightCell)
                    line = stronger(line, rightCell->left);
                if (line.style == LineStyle::None)
                    continue;
                drawLine(painter, line, true, view.x(c) - 1, y(r) - 1, y(r + 1) - 1, imageWidth);
            }
        }
        // Horizontal lines: the boundary above each shown row and below the
        // last, column by column. Hidden rows show no borders: two shown rows
        // meet on the heavier of their lines, and the range's edges on the
        // rows just outside it.
        int upperRow = range.first.row - 1;
        for (std::size_t i = 0; i <= shownRows.size(); ++i) {
            const int r = i < shownRows.size() ? shownRows[i] : range.last.row + 1;
            for (const int c : shownColumns) {
                const CellFormat* upper = formatOr(upperRow, c);
                const CellFormat* lower = formatOr(r, c);
                BorderLine line;
                if (upper)
                    line = upper->bottom;
                if (lower)
                    line = stronger(line, lower->top);
                if (line.style == LineStyle::None)
                    continue;
                drawLine(painter, line, false, y(r) - 1, view.x(c) - 1, view.x(c + 1) - 1, imageHeight);
            }
            upperRow = r;
        }
    }

    SheetView view;
    RangeAddress range;
    std::vector<int> rowY;
    std::int64_t exactHeight = 0;
    std::vector<int> shownRows, shownColumns; // of the range, in order
    std::vector<TextItem> items;
    std::vector<std::vector<std::pair<int, int>>> crossings; // by row: the columns text spans
};

RangeAddress normalised(RangeAddress range)
{
    auto clampRow = [](int row) { return std::clamp(row, 0, kMaxRows - 1); };
    auto clampColumn = [](int column) { return std::clamp(column, 0, kMaxColumns - 1); };
    RangeAddress result;
    result.first = {clampRow(std::min(range.first.row, range.last.row)),
                    clampColumn(std::min(range.first.column, range.last.column))};
    result.last = {clampRow(std::max(range.first.row, range.last.row)),
                   clampColumn(std::max(range.first.column, range.last.column))};
    return result;
}

} // namespace

QFont cellFont(const Font& font)
{
    QFont result(font.name.isEmpty() ? QStringLiteral("Arial") : font.name);
    // Points, as LibreOffice and Gnumeric draw them: 10 make 13 1/3 pixels.
    result.setPointSizeF(std::max(1, font.heightTwips) / 20.0);
    result.setBold(font.bold);
    result.setItalic(font.italic);
    result.setStrikeOut(font.strikeout);
    result.setUnderline(font.underline == 1 || font.underline == 0x21);
    // Spreadsheets lay out cell text without kerning; widths then add up.
    result.setKerning(false);
    result.setStyleStrategy(QFont::PreferAntialias);
    return result;
}

int columnWidthPixels(const Workbook& workbook, const Worksheet& sheet, int column)
{
    return columnPixels(sheet, columnInfo(sheet, column), maxDigitWidth(workbook));
}

int rowHeightPixels(const Worksheet& sheet, int row)
{
    if (const auto found = sheet.rows.find(row); found != sheet.rows.end())
        return found->second.hidden ? 0 : twipsToPixels(found->second.heightTwips);
    // The default row flags' second bit hides the rows without a record.
    return (sheet.defaultRowFlags & 0x2) ? 0 : twipsToPixels(sheet.defaultRowHeightTwips);
}

namespace {

// Refuses a drawing beyond the limits before anything is laid out for it.
void checkSize(const Painter& painter, const Worksheet& sheet, RangeAddress range)
{
    const std::int64_t width = painter.pictureWidth(), height = painter.pictureHeight();
    // The area is worked out only for sides within the limit: it cannot overflow.
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        const QString cells =
            range.first == range.last ? cellName(range.first) : cellName(range.first) + u':' + cellName(range.last);
        throw PictureTooLarge(QStringLiteral("The picture of the cells %1 of sheet \"%2\" would be %3 \u00D7 %4 "
                                             "pixels; the largest picture the engine draws is %5 pixels a side and "
                                             "%6 million pixels in all.")
                                  .arg(cells, sheet.name, QString::number(width), QString::number(height),
                                       QString::number(kMaxPictureSide), QString::number(kMaxPicturePixels / 1'000'000))
                                  .toStdString());
    }
}

} // namespace

QImage paintRange(const Workbook& workbook, int sheetIndex, RangeAddress range)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size() || !qGuiApp) // text needs the font system
        return {};
    const Worksheet& sheet = workbook.sheets[sheetIndex];
    range = normalised(range);
    Painter painter(workbook, sheet, range);
    checkSize(painter, sheet, range);
    return painter.paint();
}

void checkPictureSize(const Workbook& workbook, int sheetIndex, RangeAddress range)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size())
        return;
    range = normalised(range);
    checkSize(Painter(workbook, workbook.sheets[sheetIndex], range), workbook.sheets[sheetIndex], range);
}

QSize rangeSize(const Workbook& workbook, int sheetIndex, RangeAddress range)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size())
        return {};
    range = normalised(range);
    const Painter painter(workbook, workbook.sheets[sheetIndex], range);
    return QSize(saturated(painter.pictureWidth()), saturated(painter.pictureHeight()));
}

void drawRange(QPainter& painter, const Workbook& workbook, int sheetIndex, RangeAddress range, Gridlines gridlines)
{
    if (sheetIndex < 0 || sheetIndex >= workbook.sheets.size() || !qGuiApp)
        return;
    const Worksheet& sheet = workbook.sheets[sheetIndex];
    range = normalised(range);
    Painter drawing(workbook, sheet, range);
    checkSize(drawing, sheet, range);
    const bool shown =
        gridlines == Gridlines::AsTheSheetShows ? drawing.gridlinesShown() : gridlines == Gridlines::Drawn;
    drawing.draw(painter, shown);
}

QString shownText(const Workbook& workbook, const Worksheet& sheet, CellAddress at, int widthPixels)
{
    if (!qGuiApp)
        return {};
    const RangeAddress range = normalised({at, at});
    return Painter(workbook, sheet, range).shownText(range.first, widthPixels);
}

} // namespace spreadsheet
