#include "services/ErrorTrap.h"

#include "services/Dialogs.h"

namespace services {
namespace {

ErrorTrap* innermostTrap = nullptr;

const QString kReleaseStamp = QStringLiteral("Corvantis2021/08/31");

} // namespace

QString locationText(const QString& module, const QString& procedure)
{
    return QStringLiteral("in ") + kReleaseStamp + u'.' + module + u'.' + procedure + u' ';
}

QString errorReportText(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
        + QString::number(line) + QStringLiteral("\r\r")
        + QStringLiteral("Please email screenshot of this message to ")
        + QLatin1String(kSupportEmail);
}

void showErrorReport(const QString& description, const QString& location, int line)
{
    // A failure outside any reporting procedure (line < 0) has no place to name.
    const QString text = line < 0
        ? description + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ")
              + QLatin1String(kSupportEmail)
        : errorReportText(description, location, line);
    dialogs().message(nullptr, QStringLiteral("Application Error"), text, MessageIcon::Warning);
}

ErrorTrap::ErrorTrap(QString location)
    : location_(std::move(location)), outer_(innermostTrap)
{
    innermostTrap = this;
}

ErrorTrap::~ErrorTrap()
{
    innermostTrap = outer_;
}

ErrorTrap* ErrorTrap::active()
{
    return innermostTrap;
}

void ErrorTrap::handOver(std::exception_ptr failure)
{
    // With no step to fail, keeping it would lose it or blame a later step.
    if (!stepRunning_) {
        report(std::move(failure));
        return;
    }
    // The first failure stops the step; later ones in the same step are moot.
    if (!handedOver_)
        handedOver_ = std::move(failure);
}

void ErrorTrap::report(std::exception_ptr failure)
{
    QString description;
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const std::exception& error) {
        description = describe(error);
    } catch (...) {
        description = QStringLiteral("Unknown error");
    }
    showErrorReport(description, location_, line_);
}

} // namespace services
