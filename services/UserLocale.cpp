#include "services/UserLocale.h"

namespace services {

QLocale userLocale()
{
    return QLocale::system();
}

} // namespace services
