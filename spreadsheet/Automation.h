#pragma once

#include <QString>
#include <QVariant>
#include <memory>

// The engine driven the way a program drives a spreadsheet application by
// automation: an application holding open workbooks, their worksheets and
// ranges of cells. The objects are light handles; copies refer to the same
// application, workbook, sheet or cells. A member called when it cannot work
// (the application has quit, the workbook is closed, an index is out of
// range, a file is missing or no workbook) throws std::runtime_error, or
// FileFormatError for a file that cannot be read, whose text tells the user
// what went wrong.
namespace spreadsheet::automation {

struct ApplicationState;
struct WorkbookState;

class Workbooks;
class Workbook;
class Worksheet;
class Range;

// File-format codes SaveAs takes; both write an Excel 97-2003 workbook (.xls).
inline constexpr int xlExcel8 = 56;
inline constexpr int xlWorkbookNormal = -4143;

class Application {
public:
    // Starts a new, invisible engine instance. Throws when the engine cannot
    // work in this process (no GUI application object for the clipboard and
    // the drawing of sheets).
    Application();

    automation::Workbooks Workbooks() const;
    // The worksheet at this position (from 1) of the active workbook.
    automation::Worksheet Worksheets(int index) const;
    // The cell or cells ("D11", "A1:I31") of the active workbook's active sheet.
    automation::Range Range(const QString& reference) const;
    // Kept for callers that switch the questions off; the engine asks none.
    bool DisplayAlerts() const;
    void setDisplayAlerts(bool displayAlerts);
    // Off by default. When on, a save returns once the file is written,
    // without waiting for it to reach the disk: for scratch files the caller
    // deletes again, which a crash could not make worth keeping.
    bool ScratchSaves() const;
    void setScratchSaves(bool scratchSaves);
    // Closes every workbook without saving and ends the instance.
    void Quit();
    QString Version() const;

private:
    std::shared_ptr<ApplicationState> state_;
};

class Workbooks {
public:
    // Opens the workbook file and makes it the active workbook; a workbook
    // already open from the same file is made active instead.
    automation::Workbook Open(const QString& path, bool readOnly = false) const;
    int count() const;
    // The workbook at this position (from 1), in the order they were opened.
    automation::Workbook Item(int index) const;
    automation::Workbook operator()(int index) const;

private:
    friend class Application;
    explicit Workbooks(std::shared_ptr<ApplicationState> application);
    std::shared_ptr<ApplicationState> application_;
};

class Workbook {
public:
    // Writes the workbook to `path` in the format `fileFormat` (56 or -4143)
    // as an ordinary workbook, with fresh results and the document properties
    // a save updates; from then on the workbook is that file. The file is
    // replaced whole or not at all.
    void SaveAs(const QString& path, int fileFormat);
    // Closes the workbook without saving.
    void Close();
    automation::Worksheet ActiveSheet() const;

private:
    friend class Workbooks;
    Workbook(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook);
    std::shared_ptr<ApplicationState> application_;
    std::shared_ptr<WorkbookState> workbook_;
};

class Worksheet {
public:
    // One cell, by row and column from 1.
    automation::Range Cells(int row, int column) const;
    // The smallest rectangle holding every cell with content or a format.
    automation::Range UsedRange() const;

private:
    friend class Application;
    friend class Workbook;
    Worksheet(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook, int sheet);
    std::shared_ptr<ApplicationState> application_;
    std::shared_ptr<WorkbookState> workbook_;
    int sheet_ = 0;
};

class Range {
public:
    // Puts the value into every cell of the range as typing it would: a
    // date becomes its date serial; a text that reads as a number in the
    // user's locale (currency sign, group separators, sign or parentheses,
    // percent, exponent) that number; the empty text or a null variant an
    // empty cell; any other text that text; numbers and truth values stay
    // what they are. A formula there is replaced and the cell's format
    // kept. Results are recalculated before they are next drawn or saved.
    void setValue(const QVariant& value) const;
    // Makes the range the selection of its sheet, which must be the active one.
    void Select() const;
    // The range's rows or columns; count() then counts them.
    Range Rows() const;
    Range Columns() const;
    // One of its rows or columns, from 1.
    Range Rows(int index) const;
    Range Columns(int index) const;
    // Cells, or rows or columns when the range came from Rows() or Columns().
    int count() const;
    // The sheet row and column (from 1) of the range's first cell.
    int Row() const;
    int Column() const;
    // Draws the range as the sheet shows it and puts the picture on the clipboard.
    void CopyPicture() const;

private:
    friend class Application;
    friend class Worksheet;
    enum class Counting { Cells, Rows, Columns };
    struct Area {
        int firstRow, firstColumn, lastRow, lastColumn; // from 0
    };
    Range(std::shared_ptr<ApplicationState> application, std::shared_ptr<WorkbookState> workbook, int sheet, Area area,
          Counting counting = Counting::Cells);
    std::shared_ptr<ApplicationState> application_;
    std::shared_ptr<WorkbookState> workbook_;
    int sheet_ = 0;
    Area area_{};
    Counting counting_ = Counting::Cells;
};

} // namespace spreadsheet::automation
