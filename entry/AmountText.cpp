#include "entry/AmountText.h"

#include "spreadsheet/TypedNumber.h"

#include <cmath>

namespace entry {
namespace {

bool isCLocale(const QLocale& locale)
{
    return locale.language() == QLocale::C;
}

} // namespace

std::optional<double> readAmountText(const QString& text, const QLocale& locale)
{
    return spreadsheet::readTypedNumber(text, locale);
}

QString formatAmount(double value, const QLocale& locale)
{
    double whole = std::round(value); // halves away from zero
    if (whole == 0)
        whole = 0; // no "-$0"
    if (!isCLocale(locale))
        return locale.toCurrencyString(whole, QString(), 0);
    static const QLocale usEnglish(QLocale::English, QLocale::UnitedStates);
    const QString digits = QStringLiteral("$") + usEnglish.toString(std::fabs(whole), 'f', 0);
    return whole < 0 ? u'(' + digits + u')' : digits;
}

} // namespace entry
