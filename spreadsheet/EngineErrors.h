#pragma once

#include "spreadsheet/Value.h"

#include <QString>

// The engine's two kinds of failure, each with one name wherever it is
// raised: fail() when what the engine was given to read is not something
// it can read, refuse() when it will not do what it was asked (a closed
// workbook, a bad argument, a model the file format cannot hold, a library
// call that failed). Formulas fail with FormulaError instead, in their layer.
namespace spreadsheet {

[[noreturn]] inline void fail(const QString& what)
{
    throw FileFormatError(what.toStdString());
}

[[noreturn]] inline void refuse(const QString& why)
{
    throw std::runtime_error(why.toStdString());
}

} // namespace spreadsheet
