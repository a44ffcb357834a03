#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace entry {

// Reads an amount box's text as one number the way a user of `locale`
// writes it (the engine's reader of typed numbers, without the percent
// sign). Anything else, the empty text included, is no number.
std::optional<double> readAmountText(const QString& text, const QLocale& locale);

// The standard amount form: the locale's currency format without decimals,
// rounded to whole units with halves away from zero. The C locale has no
// currency conventions, so it gets the US style: "$1,234", "($1,234)".
QString formatAmount(double value, const QLocale& locale);

} // namespace entry
