// The workbook model written through libxlsxwriter. Debian 12 has version
// 1.1.4, which writes only to a file (writing to memory came with 1.1.5), so
// the file goes to a private temporary folder and is read back from there.
#include "spreadsheet/XlsxFile.h"

#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/Formula.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

namespace spreadsheet {
namespace {

[[noreturn]] void cannotWrite(const QString& why)
{
    refuse(QStringLiteral("The workbook cannot be written as .xlsx: %1.").arg(why));
}

void check(lxw_error error, const QString& what)
{
    if (error != LXW_NO_ERROR)
        cannotWrite(QStringLiteral("%1 (libxlsxwriter: %2)").arg(what, QString::fromUtf8(lxw_strerror(error))));
}

// Indexes 0 to 7 are fixed colours; 8 to 63 follow the workbook's palette;
// the rest (64, 65, 0x7FFF) are the automatic colours, left unset.
std::optional<lxw_color_t> rgbOf(const Workbook& book, int index)
{
    QColor colour;
    if (index >= 0 && index < 8)
        colour = defaultPalette()[index];
    else if (index >= 8 && index < 64)
        colour = book.colour(index);
    else
        return std::nullopt;
    const lxw_color_t rgb = colour.rgb() & LXW_COLOR_MASK;
    // libxlsxwriter reads 0 as "no colour"; black has a value of its own.
    return rgb == 0 ? lxw_color_t(LXW_COLOR_BLACK) : rgb;
}

// A sheet name as formulas write it: quoted unless it is a plain word that
// cannot be read as a cell reference or a boolean.
bool isPlainSheetName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.]*$"));
    static const QRegularExpression referenceLike(
        QStringLiteral("^([A-Z]{1,3}[0-9]+|R[0-9]*(C[0-9]*)?|C[0-9]*|TRUE|FALSE)$"),
        QRegularExpression::CaseInsensitiveOption);
    return plain.match(name).hasMatch() && !referenceLike.match(name).hasMatch();
}

QString quotedSheetName(const QString& name)
{
    if (isPlainSheetName(name))
        return name;
    QString quoted = name;
    quoted.replace(u'\'', QStringLiteral("''"));
    return u'\'' + quoted + u'\'';
}

// Formula text from the engine's printer, with each reference through the
// workbook's sheet list ("#XTI2!A1") named by its sheets instead.
class FormulaText {
public:
    explicit FormulaText(const Workbook& book) : book_(book) {}

    // Throws FormulaError on tokens the printer cannot read.
    QString of(const QByteArray& tokens, CellAddress at) const
    {
        static const QRegularExpression sheetListReference(QStringLiteral(R"(#XTI([0-9]+)!(#REF!|[$A-Za-z0-9:]+))"));
        const QString printed = formula::decompile(tokens, at);
        QString text;
        bool inString = false;
        qsizetype i = 0;
        while (i < printed.size()) {
            const QChar ch = printed[i];
            if (ch == u'"')
                inString = !inString;
            if (!inString && ch == u'#') {
                const QRegularExpressionMatch match = sheetListReference.match(
                    printed, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
                if (match.hasMatch()) {
                    const std::optional<QString> sheets = sheetsOf(match.captured(1).toInt());
                    // Cells of a sheet that no longer exists: the reference is #REF!.
                    text += sheets ? *sheets + u'!' + cells(match.captured(2)) : errorText(ErrorValue::Ref);
                    i = match.capturedEnd(0);
                    continue;
                }
            }
            text += ch;
            ++i;
        }
        return text;
    }

private:
    // A name's one cell is an area of one cell in the tokens: "$C$3:$C$3"
    // reads "$C$3", as spreadsheets write it.
    static QString cells(const QString& reference)
    {
        const QStringList corners = reference.split(u':');
        return corners.size() == 2 && corners[0] == corners[1] ? corners[0] : reference;
    }

    std::optional<QString> sheetsOf(int listIndex) const
    {
        if (listIndex < 0 || listIndex >= book_.sheetReferences.size())
            return std::nullopt;
        const SheetReference& reference = book_.sheetReferences[listIndex];
        const auto exists = [&](int sheet) { return sheet >= 0 && sheet < book_.sheets.size(); };
        if (!exists(reference.firstSheet) || !exists(reference.lastSheet))
            return std::nullopt;
        const QString& first = book_.sheets[reference.firstSheet].name;
        if (reference.firstSheet == reference.lastSheet)
            return quotedSheetName(first);
        const QString& last = book_.sheets[reference.lastSheet].name;
        if (isPlainSheetName(first) && isPlainSheetName(last))
            return first + u':' + last;
        QString span = first + u':' + last;
        span.replace(u'\'', QStringLiteral("''"));
        return u'\'' + span + u'\'';
    }

    const Workbook& book_;
};

// The names the file format gives built-in defined names, by their code.
const char* const kBuiltInNames[] = {
    "Consolidate_Area", "Auto_Open", "Auto_Close", "Extract",       "Database",        "Criteria",    "Print_Area",
    "Print_Titles",     "Recorder",  "Data_Form",  "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase",
};

QString resultText(const Value& value)
{
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* truth = std::get_if<bool>(&value))
        return *truth ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (const auto* error = std::get_if<ErrorValue>(&value))
        return errorText(*error);
    return QString();
}

// Column widths go over in pixels: the digit the model's widths count in is
// 7 pixels wide at 96 dpi, in Arial 10 as in libxlsxwriter's Calibri 11.
int pixelsOfWidth(int widthIn256ths)
{
    return qRound(widthIn256ths * 7.0 / 256.0);
}

// A sheet's default width in characters as spreadsheets show it: with the
// cell padding, rounded up to a multiple of 8 pixels.
int pixelsOfDefaultWidth(int characters)
{
    return (characters * 7 + 5 + 7) / 8 * 8;
}

class XlsxBuilder {
public:
    XlsxBuilder(const Workbook& book, lxw_workbook* out) : book_(book), out_(out), formulas_(book) {}

    void build()
    {
        if (book_.sheets.isEmpty())
            cannotWrite(QStringLiteral("it has no sheet"));
        if (book_.calculation.date1904)
            cannotWrite(QStringLiteral("it counts dates from 1904, which libxlsxwriter 1.1.4 cannot say, so every "
                                       "date would show four years off"));
        properties();
        for (const Worksheet& sheet : book_.sheets) {
            const QByteArray name = sheet.name.toUtf8();
            check(workbook_validate_sheet_name(out_, name.constData()),
                  QStringLiteral("the sheet name \"%1\"").arg(sheet.name));
            lxw_worksheet* added = workbook_add_worksheet(out_, name.constData());
            if (!added)
                cannotWrite(QStringLiteral("the sheet \"%1\" cannot be added").arg(sheet.name));
            sheets_.append(added);
        }
        for (qsizetype i = 0; i < book_.sheets.size(); ++i) {
            const Worksheet& sheet = book_.sheets[i];
            lxw_worksheet* out = sheets_[i];
            columns(sheet, out);
            rows(sheet, out);
            for (const auto& [position, cell] : sheet.cells)
                this->cell(sheet, out, {position.first, position.second}, cell);
            window(sheet, out);
            page(sheet, out);
            // The ranges the error check ignores are left out: Gnumeric
            // warns of them, and the check they quiet is off by default.
        }
        names();
        tabs();
    }

private:
    void properties()
    {
        const DocumentProperties& from = book_.properties;
        QByteArray title = from.title.toUtf8(), subject = from.subject.toUtf8(), author = from.author.toUtf8(),
                   keywords = from.keywords.toUtf8(), comments = from.comments.toUtf8(),
                   company = from.company.toUtf8(), manager = from.manager.toUtf8(), category = from.category.toUtf8();
        const auto field = [](QByteArray& text) { return text.isEmpty() ? nullptr : text.data(); };
        lxw_doc_properties properties{};
        properties.title = field(title);
        properties.subject = field(subject);
        properties.author = field(author);
        properties.keywords = field(keywords);
        properties.comments = field(comments);
        properties.company = field(company);
        properties.manager = field(manager);
        properties.category = field(category);
        if (from.created.isValid())
            properties.created = time_t(from.created.toSecsSinceEpoch());
        check(workbook_set_properties(out_, &properties), QStringLiteral("the document properties"));
        for (const auto& [name, value] : from.customTexts) {
            check(workbook_set_custom_property_string(out_, name.toUtf8().constData(), value.toUtf8().constData()),
                  QStringLiteral("the document property \"%1\"").arg(name));
        }
    }

    void columns(const Worksheet& sheet, lxw_worksheet* out)
    {
        QList<bool> covered(kMaxColumns, false);
        for (const ColumnInfo& column : sheet.columns) {
            const QString which = QStringLiteral("columns %1 to %2 of sheet \"%3\"")
                                      .arg(column.first + 1)
                                      .arg(column.last + 1)
                                      .arg(sheet.name);
            if (column.first < 0 || column.last < column.first || column.last >= LXW_COL_MAX)
                cannotWrite(which + QStringLiteral(" lie outside a sheet"));
            lxw_row_col_options options{};
            options.hidden = column.hidden;
            check(worksheet_set_column_pixels_opt(out, lxw_col_t(column.first), lxw_col_t(column.last),
                                                  std::uint32_t(pixelsOfWidth(std::max(column.width, 0))),
                                                  format(column.formatIndex), &options),
                  which);
            for (int i = column.first; i <= std::min(column.last, kMaxColumns - 1); ++i)
                covered[i] = true;
        }
        // libxlsxwriter has no default width; the model's own goes to every
        // column of its sheet that has no width of its own.
        if (sheet.defaultColumnWidth == 8)
            return; // the width spreadsheets assume
        const auto pixels = std::uint32_t(pixelsOfDefaultWidth(std::max(sheet.defaultColumnWidth, 0)));
        for (int first = 0; first < kMaxColumns;) {
            if (covered[first]) {
                ++first;
                continue;
            }
            int last = first;
            while (last + 1 < kMaxColumns && !covered[last + 1])
                ++last;
            check(worksheet_set_column_pixels(out, lxw_col_t(first), lxw_col_t(last), pixels, nullptr),
                  QStringLiteral("the default column width of sheet \"%1\"").arg(sheet.name));
            first = last + 1;
        }
    }

    // Only custom heights are written; other rows keep the height readers
    // give their fonts. The sheet's default row height is not written:
    // libxlsxwriter 1.1.4 would then give every written row that height as
    // a custom one.
    void rows(const Worksheet& sheet, lxw_worksheet* out)
    {
        for (const auto& [row, info] : sheet.rows) {
            if (!info.customHeight && !info.hidden && !info.formatIndex)
                continue;
            if (row < 0 || row >= LXW_ROW_MAX)
                cannotWrite(QStringLiteral("row %1 of sheet \"%2\" lies outside a sheet").arg(row + 1).arg(sheet.name));
            lxw_row_col_options options{};
            options.hidden = info.hidden;
            const double points = info.customHeight ? info.heightTwips / 20.0 : LXW_DEF_ROW_HEIGHT;
            check(worksheet_set_row_opt(out, lxw_row_t(row), points,
                                        info.formatIndex ? format(*info.formatIndex) : nullptr, &options),
                  QStringLiteral("row %1 of sheet \"%2\"").arg(row + 1).arg(sheet.name));
        }
    }

    void cell(const Worksheet& sheet, lxw_worksheet* out, CellAddress at, const Cell& cell)
    {
        if (at.row < 0 || at.row >= LXW_ROW_MAX || at.column < 0 || at.column >= LXW_COL_MAX)
            cannotWrite(QStringLiteral("a cell of sheet \"%1\" lies outside a sheet").arg(sheet.name));
        const QString where = QStringLiteral("cell %1 of sheet \"%2\"").arg(cellName(at), sheet.name);
        lxw_format* style = format(cell.formatIndex);
        const auto row = lxw_row_t(at.row);
        const auto column = lxw_col_t(at.column);
        if (!cell.formula.isEmpty()) {
            QByteArray text;
            try {
                text = formulas_.of(cell.formula, at).toUtf8();
            } catch (const FormulaError& error) {
                cannotWrite(QStringLiteral("the formula of %1 cannot be read (%2)").arg(where, error.what()));
            }
            // The stored result goes along for readers that do not calculate;
            // libxlsxwriter stores every result that is no number as text.
            if (const auto* number = std::get_if<double>(&cell.value))
                check(worksheet_write_formula_num(out, row, column, text.constData(), style, *number), where);
            else
                check(worksheet_write_formula_str(out, row, column, text.constData(), style,
                                                  resultText(cell.value).toUtf8().constData()),
                      where);
            return;
        }
        lxw_error error = LXW_NO_ERROR;
        if (const auto* number = std::get_if<double>(&cell.value)) {
            error = worksheet_write_number(out, row, column, *number, style);
        } else if (const auto* text = std::get_if<QString>(&cell.value)) {
            // libxlsxwriter writes an empty text as a blank cell.
            error = text->isEmpty() ? worksheet_write_blank(out, row, column, style)
                                    : worksheet_write_string(out, row, column, text->toUtf8().constData(), style);
        } else if (const auto* truth = std::get_if<bool>(&cell.value)) {
            error = worksheet_write_boolean(out, row, column, *truth ? 1 : 0, style);
        } else if (const auto* code = std::get_if<ErrorValue>(&cell.value)) {
            // libxlsxwriter writes no error values; a formula of the error
            // yields it wherever the file is calculated.
            const QString shown = errorText(*code);
            error = worksheet_write_formula_str(out, row, column, (u'=' + shown).toUtf8().constData(), style,
                                                shown.toUtf8().constData());
        } else {
            error = worksheet_write_blank(out, row, column, style);
        }
        check(error, where);
    }

    void window(const Worksheet& sheet, lxw_worksheet* out)
    {
        const SheetWindow& window = sheet.window;
        worksheet_gridlines(out,
                            std::uint8_t((window.showGridlines ? LXW_SHOW_SCREEN_GRIDLINES : 0)
                                         | (sheet.page.printGridlines ? LXW_SHOW_PRINT_GRIDLINES : 0)));
        if (window.zoomPercent != 100) {
            if (window.zoomPercent < 10 || window.zoomPercent > 400)
                cannotWrite(QStringLiteral("sheet \"%1\" is zoomed to %2%, outside 10% to 400%")
                                .arg(sheet.name)
                                .arg(window.zoomPercent));
            worksheet_set_zoom(out, std::uint16_t(window.zoomPercent));
        }
        if (!window.showZeros)
            worksheet_hide_zero(out);
        // libxlsxwriter makes the first corner of a selected range the active
        // cell, so a range keeps its active cell only when it has it at a corner.
        const CellAddress active = window.activeCell;
        if (active.row < 0 || active.row >= LXW_ROW_MAX || active.column < 0 || active.column >= LXW_COL_MAX)
            return;
        CellAddress other = active;
        for (const RangeAddress& range : window.selection) {
            const bool atRowEdge = active.row == range.first.row || active.row == range.last.row;
            const bool atColumnEdge = active.column == range.first.column || active.column == range.last.column;
            const bool inside = active.row >= range.first.row && active.row <= range.last.row
                && active.column >= range.first.column && active.column <= range.last.column;
            if (inside && atRowEdge && atColumnEdge) {
                other.row = active.row == range.first.row ? range.last.row : range.first.row;
                other.column = active.column == range.first.column ? range.last.column : range.first.column;
                break;
            }
        }
        worksheet_set_selection(out, lxw_row_t(active.row), lxw_col_t(active.column), lxw_row_t(other.row),
                                lxw_col_t(other.column));
    }

    void page(const Worksheet& sheet, lxw_worksheet* out)
    {
        const PageSetup& page = sheet.page;
        const auto outside = [&](const char* what, int value) {
            cannotWrite(QStringLiteral("the %1 of sheet \"%2\" is %3, which libxlsxwriter cannot take")
                            .arg(QLatin1String(what), sheet.name)
                            .arg(value));
        };
        if (page.settingsValid) {
            if (page.paperSize < 0 || page.paperSize > 255)
                outside("paper size", page.paperSize);
            worksheet_set_paper(out, std::uint8_t(page.paperSize));
            if (!page.portrait)
                worksheet_set_landscape(out);
            if (page.scale != 100) {
                if (page.scale < 10 || page.scale > 400)
                    outside("print scale", page.scale);
                worksheet_set_print_scale(out, std::uint16_t(page.scale));
            }
        }
        // After the scale: of the two, libxlsxwriter keeps the last one set.
        if (page.fitToPage) {
            if (page.fitWidth < 0 || page.fitWidth > 32767)
                outside("number of pages wide", page.fitWidth);
            if (page.fitHeight < 0 || page.fitHeight > 32767)
                outside("number of pages tall", page.fitHeight);
            worksheet_fit_to_pages(out, std::uint16_t(page.fitWidth), std::uint16_t(page.fitHeight));
        }
        worksheet_set_margins(out, page.leftMargin, page.rightMargin, page.topMargin, page.bottomMargin);
        // libxlsxwriter takes the header and footer margins with their texts.
        constexpr double kLibraryMargin = 0.3;
        if (!page.header.isEmpty() || page.headerMargin != kLibraryMargin) {
            lxw_header_footer_options options{};
            options.margin = page.headerMargin;
            check(worksheet_set_header_opt(out, page.header.toUtf8().constData(), &options),
                  QStringLiteral("the page header of sheet \"%1\"").arg(sheet.name));
        }
        if (!page.footer.isEmpty() || page.footerMargin != kLibraryMargin) {
            lxw_header_footer_options options{};
            options.margin = page.footerMargin;
            check(worksheet_set_footer_opt(out, page.footer.toUtf8().constData(), &options),
                  QStringLiteral("the page footer of sheet \"%1\"").arg(sheet.name));
        }
        if (page.centreHorizontally)
            worksheet_center_horizontally(out);
        if (page.centreVertically)
            worksheet_center_vertically(out);
        if (page.firstPageNumber != 1) {
            if (page.firstPageNumber < 0 || page.firstPageNumber > 65535)
                outside("first page number", page.firstPageNumber);
            worksheet_set_start_page(out, std::uint16_t(page.firstPageNumber));
        }
        if (page.printHeaders)
            worksheet_print_row_col_headers(out);
    }

    // A name of a sheet that was deleted is written as #REF!, as spreadsheets
    // keep such names. libxlsxwriter writes no hidden names: they show.
    void names()
    {
        for (const DefinedName& name : book_.names) {
            QString full = name.name;
            if (name.builtIn) {
                const int code = name.name.isEmpty() ? -1 : name.name[0].unicode();
                if (code < 0 || code >= int(std::size(kBuiltInNames)))
                    cannotWrite(QStringLiteral("it has a built-in defined name of unknown code %1").arg(code));
                full = QStringLiteral("_xlnm.") + QLatin1String(kBuiltInNames[code]);
            }
            if (name.sheetScope > 0) {
                if (name.sheetScope > book_.sheets.size())
                    cannotWrite(QStringLiteral("the defined name \"%1\" belongs to sheet %2, which does not exist")
                                    .arg(full)
                                    .arg(name.sheetScope));
                // libxlsxwriter finds the sheet by its name between the quotes
                // up to the first "!", and takes quotes inside it as they are.
                const QString& sheet = book_.sheets[name.sheetScope - 1].name;
                if (sheet.contains(u'!'))
                    cannotWrite(QStringLiteral("libxlsxwriter cannot give the defined name \"%1\" to sheet \"%2\", "
                                               "whose name holds a \"!\"")
                                    .arg(full, sheet));
                full = u'\'' + sheet + QStringLiteral("'!") + full;
            }
            QString text;
            try {
                text = formulas_.of(name.formula, CellAddress{});
            } catch (const FormulaError& error) {
                cannotWrite(QStringLiteral("the defined name \"%1\" cannot be read (%2)").arg(full, error.what()));
            }
            check(workbook_define_name(out_, full.toUtf8().constData(), text.toUtf8().constData()),
                  QStringLiteral("the defined name \"%1\"").arg(full));
        }
    }

    // libxlsxwriter 1.1.4 knows one kind of hidden sheet: a very hidden one
    // is written hidden.
    void tabs()
    {
        const int active = std::clamp(book_.activeSheet(), 0, int(sheets_.size() - 1));
        worksheet_activate(sheets_[active]);
        for (qsizetype i = 0; i < book_.sheets.size(); ++i) {
            if (i != active && book_.sheets[i].window.selected)
                worksheet_select(sheets_[i]);
        }
        const int first = book_.window.firstVisibleTab;
        if (first > 0 && first < sheets_.size() && book_.sheets[first].state == SheetState::Visible)
            worksheet_set_first_sheet(sheets_[first]);
        for (qsizetype i = 0; i < book_.sheets.size(); ++i) {
            if (book_.sheets[i].state != SheetState::Visible)
                worksheet_hide(sheets_[i]);
        }
    }

    lxw_format* format(int index)
    {
        const auto found = formats_.find(index);
        if (found != formats_.end())
            return found->second;
        if (index < 0 || index >= book_.formats.size())
            cannotWrite(
                QStringLiteral("cell format %1 is used but the workbook has %2").arg(index).arg(book_.formats.size()));
        const CellFormat& from = book_.formats[index];
        lxw_format* to = workbook_add_format(out_);
        if (!to)
            cannotWrite(QStringLiteral("libxlsxwriter ran out of memory"));
        font(to, from.fontIndex);
        numberFormat(to, from.numberFormat);
        alignment(to, from);
        borders(to, from);
        if (from.fillPattern != 0) {
            format_set_pattern(to, std::min<std::uint8_t>(from.fillPattern, LXW_PATTERN_GRAY_0625));
            if (const auto foreground = rgbOf(book_, from.fillForeground))
                format_set_fg_color(to, *foreground);
            if (const auto background = rgbOf(book_, from.fillBackground))
                format_set_bg_color(to, *background);
        }
        if (!from.locked)
            format_set_unlocked(to);
        if (from.hidden)
            format_set_hidden(to);
        formats_.emplace(index, to);
        return to;
    }

    void font(lxw_format* to, int index)
    {
        if (index < 0 || index >= book_.fonts.size())
            cannotWrite(QStringLiteral("font %1 is used but the workbook has %2").arg(index).arg(book_.fonts.size()));
        const Font& font = book_.fonts[index];
        const QByteArray name = font.name.toUtf8();
        if (name.size() >= LXW_FORMAT_FIELD_LEN)
            cannotWrite(QStringLiteral("the font name \"%1\" is longer than libxlsxwriter keeps").arg(font.name));
        if (!name.isEmpty())
            format_set_font_name(to, name.constData());
        format_set_font_size(to, font.heightTwips / 20.0);
        if (font.bold)
            format_set_bold(to);
        if (font.italic)
            format_set_italic(to);
        if (font.strikeout)
            format_set_font_strikeout(to);
        switch (font.underline) {
        case 1: format_set_underline(to, LXW_UNDERLINE_SINGLE); break;
        case 2: format_set_underline(to, LXW_UNDERLINE_DOUBLE); break;
        case 0x21: format_set_underline(to, LXW_UNDERLINE_SINGLE_ACCOUNTING); break;
        case 0x22: format_set_underline(to, LXW_UNDERLINE_DOUBLE_ACCOUNTING); break;
        default: break;
        }
        if (const auto colour = rgbOf(book_, font.colourIndex))
            format_set_font_color(to, *colour);
        format_set_font_family(to, font.family);
        if (font.charset != 0)
            format_set_font_charset(to, font.charset);
    }

    // A code the workbook lists goes as its text; a built-in one it does not
    // list goes by number, and readers show it as their locale does.
    void numberFormat(lxw_format* to, int id)
    {
        if (id == 0)
            return; // General
        for (const NumberFormat& format : book_.numberFormats) {
            if (format.id != id)
                continue;
            const QByteArray code = format.code.toUtf8();
            if (code.size() >= LXW_FORMAT_FIELD_LEN)
                cannotWrite(QStringLiteral("the number format \"%1\" is longer than the %2 bytes libxlsxwriter keeps")
                                .arg(format.code)
                                .arg(LXW_FORMAT_FIELD_LEN - 1));
            format_set_num_format(to, code.constData());
            return;
        }
        constexpr int kLastBuiltIn = 49;
        if (id < 0 || id > kLastBuiltIn)
            cannotWrite(QStringLiteral("number format %1 is used but the workbook does not list it").arg(id));
        format_set_num_format_index(to, std::uint8_t(id));
    }

    static void alignment(lxw_format* to, const CellFormat& from)
    {
        constexpr std::uint8_t kDistributed = 7;
        switch (int(from.horizontal)) {
        case int(HorizontalAlignment::Left): format_set_align(to, LXW_ALIGN_LEFT); break;
        case int(HorizontalAlignment::Centre): format_set_align(to, LXW_ALIGN_CENTER); break;
        case int(HorizontalAlignment::Right): format_set_align(to, LXW_ALIGN_RIGHT); break;
        case int(HorizontalAlignment::Fill): format_set_align(to, LXW_ALIGN_FILL); break;
        case int(HorizontalAlignment::Justify): format_set_align(to, LXW_ALIGN_JUSTIFY); break;
        case int(HorizontalAlignment::CentreAcrossSelection): format_set_align(to, LXW_ALIGN_CENTER_ACROSS); break;
        case kDistributed: format_set_align(to, LXW_ALIGN_DISTRIBUTED); break;
        default: break;
        }
        constexpr std::uint8_t kVerticalDistributed = 4;
        switch (int(from.vertical)) {
        case int(VerticalAlignment::Top): format_set_align(to, LXW_ALIGN_VERTICAL_TOP); break;
        case int(VerticalAlignment::Centre): format_set_align(to, LXW_ALIGN_VERTICAL_CENTER); break;
        case int(VerticalAlignment::Justify): format_set_align(to, LXW_ALIGN_VERTICAL_JUSTIFY); break;
        case kVerticalDistributed: format_set_align(to, LXW_ALIGN_VERTICAL_DISTRIBUTED); break;
        default: break; // bottom, where cells are anyway
        }
        if (from.wrap)
            format_set_text_wrap(to);
        if (from.indent > 0)
            format_set_indent(to, std::uint8_t(std::min(from.indent, 255)));
    }

    void borders(lxw_format* to, const CellFormat& from) const
    {
        struct Side {
            const BorderLine& line;
            void (*style)(lxw_format*, std::uint8_t);
            void (*colour)(lxw_format*, lxw_color_t);
        };
        const Side sides[] = {
            {from.left, format_set_left, format_set_left_color},
            {from.right, format_set_right, format_set_right_color},
            {from.top, format_set_top, format_set_top_color},
            {from.bottom, format_set_bottom, format_set_bottom_color},
        };
        for (const Side& side : sides) {
            if (side.line.style == LineStyle::None)
                continue;
            // The file formats number the line styles alike.
            side.style(to, std::min<std::uint8_t>(std::uint8_t(side.line.style), LXW_BORDER_SLANT_DASH_DOT));
            if (const auto colour = rgbOf(book_, side.line.colourIndex))
                side.colour(to, *colour);
        }
    }

    const Workbook& book_;
    lxw_workbook* out_;
    FormulaText formulas_;
    QList<lxw_worksheet*> sheets_;
    std::map<int, lxw_format*> formats_;
};

struct DiscardWorkbook {
    void operator()(lxw_workbook* workbook) const { lxw_workbook_free(workbook); }
};

} // namespace

QByteArray writeXlsxFile(const Workbook& workbook)
{
    // libxlsxwriter's own temporary files go to the same private folder.
    QTemporaryDir folder;
    if (!folder.isValid())
        cannotWrite(QStringLiteral("no private temporary folder can be made (%1)").arg(folder.errorString()));
    const QString path = folder.filePath(QStringLiteral("workbook.xlsx"));
    const QByteArray fileName = QFile::encodeName(path);
    QByteArray temporaryFolder = QFile::encodeName(folder.path());
    lxw_workbook_options options{};
    options.tmpdir = temporaryFolder.data();
    std::unique_ptr<lxw_workbook, DiscardWorkbook> out(workbook_new_opt(fileName.constData(), &options));
    if (!out)
        cannotWrite(QStringLiteral("libxlsxwriter cannot start a workbook"));
    XlsxBuilder(workbook, out.get()).build();
    // Closing writes the file and frees the workbook, whatever it returns.
    check(workbook_close(out.release()), QStringLiteral("the file cannot be put together"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        cannotWrite(QStringLiteral("the file libxlsxwriter wrote cannot be read back (%1)").arg(file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        cannotWrite(QStringLiteral("the file libxlsxwriter wrote cannot be read back (%1)").arg(file.errorString()));
    return bytes;
}

} // namespace spreadsheet
