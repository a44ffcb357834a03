#include "resources/ProgramIcon.h"

namespace resources {

QIcon programIcon()
{
    QIcon icon;
    for (int size : {32, 48, 128, 256})
        icon.addFile(QStringLiteral(":/icons/corvantis-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace resources
