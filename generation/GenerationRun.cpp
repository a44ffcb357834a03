#include "generation/GenerationRun.h"

#include "generation/Excel1.h"
#include "generation/ExcelApplication.h"
#include "generation/RunFiles.h"
#include "resources/TemplateWorkbook.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/SharedRoutines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <optional>

namespace generation {

using spreadsheet::automation::Application;
using spreadsheet::automation::Workbook;

namespace {

// What the spreadsheet application says when an object was never set.
template <class Object>
Object& required(std::optional<Object>& object)
{
    if (!object)
        throw services::Failure(QStringLiteral("Object variable or With block variable not set"));
    return *object;
}

// Whether the open file holds `bytes` and nothing more. Read in pieces: a
// buffer the picture's size would be fresh memory, and filling it cost more
// than the comparison.
bool holdsExactly(QFile& file, const QByteArray& bytes)
{
    constexpr qsizetype kPiece = 64 * 1024;
    char piece[kPiece];
    for (qsizetype at = 0; at < bytes.size();) {
        const qint64 read = file.read(piece, std::min(kPiece, bytes.size() - at));
        if (read <= 0 || std::memcmp(piece, bytes.constData() + at, size_t(read)) != 0)
            return false;
        at += read;
    }
    return file.read(piece, 1) == 0;
}

} // namespace

// The second instance, which reopens the saved workbook for its picture.
struct GenerationRun::Engine {
    std::optional<Application> viewer;
    std::optional<Workbook> shown;
};

GenerationRun::GenerationRun(services::ErrorTrap& trap, RunEntries entries, std::function<double()> nameDraw)
    : trap_(trap), entries_(std::move(entries)), nameDraw_(std::move(nameDraw)), engine_(std::make_unique<Engine>())
{
}

GenerationRun::~GenerationRun() = default;

void GenerationRun::rememberSkipLists()
{
    trap_.step(100, [&] { assetSkips_ = QLatin1String(kAssetSkipList); });
    trap_.step(102, [&] { liabilitySkips_ = QLatin1String(kLiabilitySkipList); });
}

bool GenerationRun::writeTemplate()
{
    trap_.step(108, [&] {
        folder_ = runTempFolder();
        templatePath_ = folder_ + QStringLiteral("/template.xlt");
        picturePath_ = folder_ + QStringLiteral("/temp.bmp");
        CreateExcelApplication();
    });
    trap_.step(110, [&] { templateBytes_ = resources::templateWorkbook(); });
    // Written afresh every run and put in place whole: a template left by a
    // killed run, or planted by someone else, is never opened.
    return !folder_.isEmpty() && trap_.step(112, [&] {
        services::WriteBytesToFile(templateBytes_, templatePath_, services::Durability::Scratch);
    });
}

void GenerationRun::releaseApplication()
{
    // The workbook object stays until the next run opens another.
    trap_.step(180, [&] { ReleaseExcelApplication(); });
}

bool GenerationRun::openTemplate()
{
    return trap_.step(114, [&] { ExcelBook = required(ExcelApp).Workbooks().Open(templatePath_, true); });
}

void GenerationRun::fillTemplate()
{
    const auto resetCounters = [&](int first) {
        trap_.step(first, [&] { row_ = 11; });
        trap_.step(first + 2, [&] { lastRow_ = 26; });
        trap_.step(first + 4, [&] { item_ = 0; });
    };
    resetCounters(116);
    trap_.step(122, [&] { required(ExcelApp).Worksheets(1).Cells(3, 3).setValue(entries_.date); });
    fillColumn(124, assetSkips_, 4, entries_.assetAmounts);
    resetCounters(132);
    fillColumn(138, liabilitySkips_, 8, entries_.liabilityAmounts);
    resetCounters(146);
    trap_.step(152, [&] { required(ExcelApp).Range(QStringLiteral("D11")).Select(); });
}

void GenerationRun::fillColumn(int firstLine, const QString& skips, int column, const QStringList& amounts)
{
    for (row_ = 11; row_ <= lastRow_; ++row_) {
        bool skip = false;
        trap_.step(firstLine + 2, [&] { skip = skips.contains(QString::number(row_)); });
        if (skip)
            continue;
        trap_.step(firstLine + 4, [&] {
            if (item_ < 0 || item_ >= amounts.size())
                throw services::Failure(QStringLiteral("Control array element '%1' doesn't exist").arg(item_));
            // Each write fetches the first worksheet again.
            required(ExcelApp).Worksheets(1).Cells(row_, column).setValue(amounts[item_]);
        });
        trap_.step(firstLine + 6, [&] { ++item_; });
    }
}

void GenerationRun::saveWorkbook()
{
    nameClaimed_ = false;
    do {
        QString name;
        trap_.step(156, [&] { name = QStringLiteral("vetrik"); });
        for (int i = 0; i < 8; ++i) {
            double fraction = 0;
            int digit = 1;
            trap_.step(160, [&] { fraction = drawNameFraction(nameDraw_, i); });
            trap_.step(162, [&] { digit = nameDigit(fraction); });
            trap_.step(164, [&] { name += QString::number(digit); });
        }
        trap_.step(168, [&] {
            // Without a folder the name would land in the root folder.
            if (folder_.isEmpty())
                throw services::Failure(QStringLiteral("There is no temporary folder to save the workbook in."));
            workbookPath_ = folder_ + u'/' + name + QStringLiteral(".xls");
        });
        // The name is claimed by creating it exclusively, so no other process
        // or planted link can share it; SaveAs then replaces the empty file.
        // A claim that fails was reported; other names would only repeat it.
        const bool checked = trap_.step(170, [&] {
            nameClaimed_ =
                !workbookPath_.isEmpty() && !services::FileExists(workbookPath_) && claimNewFile(workbookPath_);
        });
        if (!checked || workbookPath_.isEmpty())
            break;
    } while (!nameClaimed_);
    trap_.step(172, [&] {
        try {
            // The workbook lives in TEMP until the preview closes and is
            // deleted then; waiting for the disk would only delay the preview.
            required(ExcelApp).setScratchSaves(true);
            required(ExcelBook).SaveAs(workbookPath_, saveFormatForVersion(ExcelApp));
            holdWorkbook(workbookPath_);
        } catch (...) {
            // A name we claimed that was never filled is not a workbook.
            if (nameClaimed_ && QFileInfo(workbookPath_).size() == 0)
                QFile::remove(workbookPath_);
            throw;
        }
    });
    trap_.step(174, [&] { required(ExcelApp).setDisplayAlerts(false); });
    trap_.step(176, [&] { required(ExcelBook).Close(); });
    trap_.step(178, [&] { required(ExcelApp).Quit(); });
    releaseApplication();
}

void GenerationRun::reopenWorkbook()
{
    trap_.step(182, [&] { engine_->viewer = openExcelFile(workbookPath_); });
}

void GenerationRun::takeSnapshot()
{
    trap_.step(186, [&] {
        const auto books = required(engine_->viewer).Workbooks();
        engine_->shown = books(books.count());
    });
    trap_.step(188, [&] { savedPicture_ = saveCellsActivesheet(engine_->shown, picturePath_); });
    trap_.step(190, [&] { required(engine_->viewer).setDisplayAlerts(false); });
    trap_.step(192, [&] { required(engine_->shown).Close(); });
    trap_.step(194, [&] { required(engine_->viewer).Quit(); });
}

QImage GenerationRun::loadPicture() const
{
    const QString shownPath = QDir::toNativeSeparators(picturePath_);
    QFile file(picturePath_);
    if (savedPicture_.bytes.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw services::Failure(QStringLiteral("File not found: %1").arg(shownPath));
    // Never an earlier run's picture, nor one put at the name since.
    if (!holdsExactly(file, savedPicture_.bytes))
        throw services::Failure(
            QStringLiteral("The picture %1 was replaced by another program before it could be shown.").arg(shownPath));
    // The file holds exactly the bitmap encoded from this picture, and a
    // bitmap decodes to what was encoded: decoding it again would only cost.
    return savedPicture_.picture;
}

void GenerationRun::deleteSnapshotFile()
{
    trap_.step(206, [&] { services::DeleteFileQuietly(picturePath_); });
}

void GenerationRun::deleteTemplateFile()
{
    trap_.step(210, [&] { services::DeleteFileQuietly(templatePath_); });
}

} // namespace generation
