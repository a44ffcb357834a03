#include "spreadsheet/Application.h"

namespace spreadsheet {

Application::Application() = default;
Application::~Application() = default;

QString Application::Version() const
{
    return QStringLiteral("16.0");
}

} // namespace spreadsheet
