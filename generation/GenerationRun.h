#pragma once

#include "generation/Excel1.h"

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace services {
class ErrorTrap;
} // namespace services

namespace generation {

// The rows 11 to 26 whose number occurs in these are skipped when the
// amounts are written, column D and H alike.
inline constexpr char kAssetSkipList[] = "17,18";
inline constexpr char kLiabilitySkipList[] = "17,18,21,22,23,24";

// What the run writes into the template: the balance-sheet date and the
// amount texts as the boxes show them, each side in box order.
struct RunEntries {
    QDate date;
    QStringList assetAmounts;     // 14
    QStringList liabilityAmounts; // 10
};

// The engine's part of "Start Creating Template": template, fill, name,
// save, reopen, snapshot and the run's files. Each member runs its numbered
// steps in the caller's trap, so the caller interleaves its own (drawing,
// pointer, preview) in order and every failure is reported under its step.
class GenerationRun {
public:
    // `nameDraw` gives the workbook name's digits ([0,1)); by default random.
    GenerationRun(services::ErrorTrap& trap, RunEntries entries, std::function<double()> nameDraw = {});
    ~GenerationRun();
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    // 100-102.
    void rememberSkipLists();
    // 108-112: the folder, the application and the run's own template.
    // False when the template could not be written (reported once); then
    // there is no workbook to make, and releaseApplication() ends it.
    bool writeTemplate();
    // 180.
    void releaseApplication();
    // 114: opens the template. False when it could not (reported once);
    // then, as for writeTemplate(), there is no workbook to make.
    bool openTemplate();
    // 116-152: writes the date and the amounts.
    void fillTemplate();
    // 156-170: draws the name digit by digit and claims it (again with new
    // digits while the name is taken); 172-180: saves the workbook under it
    // and closes the application.
    void saveWorkbook();
    // 182.
    void reopenWorkbook();
    // 186-194: the picture of the reopened workbook, saved as "temp.bmp".
    void takeSnapshot();
    // 206 and 210.
    void deleteSnapshotFile();
    void deleteTemplateFile();

    // The generated workbook; empty before saveWorkbook() chose its name.
    const QString& workbookPath() const { return workbookPath_; }
    const QString& picturePath() const { return picturePath_; }
    // 198: the picture read back from "temp.bmp". Throws Failure when this
    // run saved none or the file is gone or no longer what it saved.
    QImage loadPicture() const;

private:
    void fillColumn(int firstLine, const QString& skips, int column, const QStringList& amounts);

    struct Engine;
    services::ErrorTrap& trap_;
    RunEntries entries_;
    std::function<double()> nameDraw_;
    QString assetSkips_, liabilitySkips_, folder_, templatePath_, picturePath_, workbookPath_;
    bool nameClaimed_ = false; // workbookPath_ was created by this run
    QByteArray templateBytes_;
    std::unique_ptr<Engine> engine_;
    SavedPicture savedPicture_; // "temp.bmp" as the run wrote it
    int row_ = 0, lastRow_ = 0, item_ = 0;
};

} // namespace generation
