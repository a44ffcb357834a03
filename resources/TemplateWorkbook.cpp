#include "resources/TemplateWorkbook.h"

#include <QFile>
#include <stdexcept>

namespace resources {

QByteArray templateWorkbook()
{
    QFile file(QStringLiteral(":/template.xlt"));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("The template workbook is missing from the program's resources.");
    return file.readAll();
}

} // namespace resources
