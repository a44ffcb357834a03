#pragma once

#include <QLocale>

namespace services {

// The locale the program follows: the user's (LANG, LC_*).
QLocale userLocale();

} // namespace services
