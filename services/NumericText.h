#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace services {

// Reads a text as one number the way a user of `locale` writes it (the
// engine's reader of typed numbers, spreadsheet/TypedNumber.h, without the
// percent sign). Anything else, the empty text included, is no number.
std::optional<double> readNumericText(const QString& text, const QLocale& locale);

// The standard amount form: the locale's currency format without decimals,
// rounded to whole units with halves away from zero. The C locale has no
// currency conventions, so it gets the US style: "$1,234", "($1,234)".
QString formatAmount(double value, const QLocale& locale);

// The locale the program follows: the user's (LANG, LC_*).
QLocale userLocale();

} // namespace services
