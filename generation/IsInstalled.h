#pragma once

#include "spreadsheet/Automation.h"

#include <functional>
#include <memory>

namespace generation {

using ApplicationFactory = std::function<std::unique_ptr<spreadsheet::automation::Application>()>;

// The message shown when the spreadsheet engine cannot be started.
QString excelMissingMessage();

// Starts the spreadsheet engine once and releases it. When that fails, tells
// the user what to check and ends the program at once.
void CheckExcelInstalled(const ApplicationFactory& createApplication = {});

} // namespace generation
