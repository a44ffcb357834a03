#pragma once

#include "spreadsheet/Automation.h"

namespace spreadsheet {

// The engine's application object: what the program starts in place of an
// installed spreadsheet application (spreadsheet/Automation.h).
using Application = automation::Application;

} // namespace spreadsheet
