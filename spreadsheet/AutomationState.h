#pragma once

// What the automation handles share; only the engine's own files see it.

#include "spreadsheet/EngineErrors.h"
#include "spreadsheet/Workbook.h"

#include <QList>
#include <QString>
#include <memory>
#include <stdexcept>

namespace spreadsheet::automation {

struct WorkbookState {
    spreadsheet::Workbook model;
    QString path; // absolute
    bool readOnly = false;
    bool open = true;
    // Cells changed since the last recalculation. Results are brought up to
    // date before anything shows them, so a run of cell writes recalculates
    // once instead of once per write.
    bool resultsStale = false;
};

struct ApplicationState {
    bool running = true;
    bool displayAlerts = true;
    bool scratchSaves = false;
    QList<std::shared_ptr<WorkbookState>> workbooks; // in the order they were opened
    std::shared_ptr<WorkbookState> active;
};

// The workbook's file name without its folder, as messages name it.
QString fileNameOf(const WorkbookState& workbook);

// Throws unless the application still runs.
void requireRunning(const ApplicationState& application);
// Throws unless the application runs and the workbook is open in it.
void requireOpen(const ApplicationState& application, const WorkbookState& workbook);

} // namespace spreadsheet::automation
