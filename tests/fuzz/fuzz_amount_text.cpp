// Typed amounts: any text either reads as a number or is refused, and every
// amount the program writes reads back as the same whole number.
#include "entry/AmountText.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QLocale locales[] = {QLocale(QStringLiteral("en_US")), QLocale(QStringLiteral("de_DE")),
                                      QLocale(QStringLiteral("fr_FR")), QLocale(QStringLiteral("ja_JP")), QLocale::c()};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QLocale& locale : locales) {
        const auto value = entry::readAmountText(text, locale);
        if (!value)
            continue;
        if (!std::isfinite(*value))
            std::abort();
        const QString amount = entry::formatAmount(*value, locale);
        const auto again = entry::readAmountText(amount, locale);
        double whole = std::round(*value);
        if (whole == 0)
            whole = 0;
        if (!again || *again != whole)
            std::abort();
    }
    return 0;
}
