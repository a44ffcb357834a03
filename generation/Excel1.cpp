#include "generation/Excel1.h"

#include "generation/ExcelApplication.h"
#include "generation/WindowsBitmap.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/SharedRoutines.h"
#include "services/UserLocale.h"
#include "services/WholeFile.h"
#include "spreadsheet/TypedNumber.h"

#include <cmath>

namespace generation {

using spreadsheet::automation::Application;
using spreadsheet::automation::Range;
using spreadsheet::automation::Workbook;
using spreadsheet::automation::Worksheet;

std::optional<Application> ExcelApp;
std::optional<Workbook> ExcelBook;

namespace {

// "Rounded" in this program: to the nearest whole number, halves to even.
double roundedHalfToEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

const Worksheet& taken(const std::optional<Worksheet>& sheet)
{
    if (!sheet)
        throw services::Failure(QStringLiteral("The workbook's active sheet could not be taken, so there is nothing "
                                               "to picture."));
    return *sheet;
}

// Written whole or not at all, as a Windows bitmap, replacing whatever was
// at the name rather than writing through it. The run deletes it at once, so
// it is not synced to disk.
SavedPicture savePicture(const QImage& picture, const QString& path)
{
    // The sheet is opaque: a plain bitmap without an alpha channel.
    const QImage opaque = picture.convertToFormat(QImage::Format_RGB32);
    const QByteArray bytes = windowsBitmap(opaque);
    try {
        services::writeFileWhole(path, bytes, services::Durability::Scratch);
    } catch (const services::WriteFailure& error) {
        throw services::Failure(QStringLiteral("The picture cannot be saved as \"%1\": %2.").arg(path, error.reason()));
    }
    return {opaque, bytes};
}

} // namespace

Application openExcelFile(const QString& path)
{
    Application application;
    application.Workbooks().Open(path);
    return application;
}

int saveFormatForVersion(const std::optional<Application>& application)
{
    QString version;
    if (application) {
        version = application->Version();
    } else {
        Application asked;
        version = asked.Version();
        asked.Quit();
    }
    return saveFormatForVersionText(version);
}

int saveFormatForVersionText(const QString& version)
{
    return versionAsWholeNumber(version) > 11 ? spreadsheet::automation::xlExcel8
                                              : spreadsheet::automation::xlWorkbookNormal;
}

int versionAsWholeNumber(const QString& version)
{
    const std::optional<double> number =
        spreadsheet::readTypedNumber(services::ToLocalDecimal(version), services::userLocale());
    if (!number)
        throw services::Failure(
            QStringLiteral("The spreadsheet application's version \"%1\" is not a number.").arg(version));
    const double whole = roundedHalfToEven(*number);
    if (whole < -32768 || whole > 32767)
        throw services::Failure(
            QStringLiteral("The spreadsheet application's version \"%1\" is too large a number.").arg(version));
    return int(whole);
}

SavedPicture saveCellsActivesheet(const std::optional<Workbook>& workbook, const QString& picturePath)
{
    services::ErrorTrap trap(services::locationText(QStringLiteral("Excel1"), QStringLiteral("saveCellsActivesheet")));
    std::optional<Worksheet> sheet;
    int lastRow = 0;
    int lastColumn = 0;
    trap.step(100, [&] {
        if (!workbook)
            throw services::Failure(QStringLiteral("There is no workbook to take the active sheet of."));
        sheet = workbook->ActiveSheet();
    });
    trap.step(102, [&] {
        const Range used = taken(sheet).UsedRange();
        lastRow = used.Rows(used.Rows().count()).Row();
    });
    trap.step(104, [&] {
        const Range used = taken(sheet).UsedRange();
        lastColumn = used.Columns(used.Columns().count()).Column();
    });
    bool goOn = false;
    SavedPicture saved;
    trap.step(106, [&] { goOn = lastRow > 1 && lastColumn > 1; });
    if (!goOn)
        return {};
    trap.step(110, [&] { taken(sheet).UsedRange().CopyPicture(); });
    trap.step(112, [&] {
        const QImage picture = GetClipboardPicture(0);
        if (picture.isNull())
            throw services::Failure(QStringLiteral("The clipboard holds no picture of the sheet."));
        saved = savePicture(picture, picturePath);
    });
    return saved;
}

} // namespace generation
