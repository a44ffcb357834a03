#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace spreadsheet {

struct TypedNumberOptions {
    // A percent sign after the number (or before its closing parenthesis)
    // makes it a hundredth, as a spreadsheet reads "12%" typed into a cell.
    bool percent = false;
};

// Reads a text as one number the way a user of `locale` types it: blanks
// around it, the locale's decimal and group separators, its currency symbol
// before or after the number, a leading or trailing sign or enclosing
// parentheses for a negative value, an exponent, and the percent sign when
// asked for. Anything else, the empty text included, is no number.
std::optional<double> readTypedNumber(const QString& text, const QLocale& locale, TypedNumberOptions options = {});

} // namespace spreadsheet
