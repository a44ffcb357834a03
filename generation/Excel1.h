#pragma once

#include "spreadsheet/Automation.h"

#include <QImage>
#include <QString>
#include <optional>

// The generation run's dealings with the spreadsheet engine (module Excel1).
namespace generation {

// The generation run's application, and the workbook it opened from the
// template; nothing when not set.
extern std::optional<spreadsheet::automation::Application> ExcelApp;
extern std::optional<spreadsheet::automation::Workbook> ExcelBook;

// A new application, independent of ExcelApp, with the workbook at `path`
// opened in it. Throws what opening throws.
spreadsheet::automation::Application openExcelFile(const QString& path);

// The SaveAs format for the application's version: 56 above version 11, else
// -4143. Without an application, starts one to ask and quits it again.
// Throws when the version cannot be read as a whole number.
int saveFormatForVersion(const std::optional<spreadsheet::automation::Application>& application = std::nullopt);
// The same for a version text such as "16.0".
int saveFormatForVersionText(const QString& version);
// A version text brought into the user's decimal form (ToLocalDecimal), read
// as a number and rounded to a 16-bit whole number, halves to even. Throws
// when it is no number or out of that range.
int versionAsWholeNumber(const QString& version);

// Takes a picture of the workbook's active sheet, its used range as shown,
// into `picturePath` as a Windows bitmap. Reports each failing step (location
// Excel1.saveCellsActivesheet) and goes on; a used range ending in row 1 or
// column A gives no picture and no report. Returns the picture and the
// file's bytes as saved, so the caller can tell its own file from what sits
// at the name later; both empty when none was saved.
struct SavedPicture {
    QImage picture; // as the bitmap holds it
    QByteArray bytes;
};
SavedPicture saveCellsActivesheet(const std::optional<spreadsheet::automation::Workbook>& workbook,
                                  const QString& picturePath);

} // namespace generation
