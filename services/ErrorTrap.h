#pragma once

#include "services/Failure.h"

#include <QString>
#include <exception>
#include <utility>

namespace services {

inline constexpr char kSupportEmail[] = "support@quillmere.com";

// "in Corvantis2021/08/31.<module>.<procedure> " - always ends in one blank.
QString locationText(const QString& module, const QString& procedure);

// The one error report: description, CR LF, location, "at line ", step,
// CR CR, the request to e-mail a screenshot.
QString errorReportText(const QString& description, const QString& location, int line);

// Shows the report as a warning box titled "Application Error".
void showErrorReport(const QString& description, const QString& location, int line);

// The error trap of a reporting procedure. Each numbered step runs through
// step(); a failure inside it is reported with the step's number and the
// procedure goes on with its next step. Traps nest: the innermost one active
// receives failures handed over from signal handlers (see runHandler).
class ErrorTrap {
public:
    explicit ErrorTrap(QString location);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Runs one step. Returns false when it failed (and was reported).
    template <class Action>
    bool step(int line, Action&& action)
    {
        line_ = line;
        try {
            std::forward<Action>(action)();
            rethrowHandedOver();
            return true;
        } catch (const std::exception& error) {
            report(describe(error));
        } catch (...) {
            report(QStringLiteral("Unknown error"));
        }
        return false;
    }

    int line() const { return line_; }
    const QString& location() const { return location_; }

    // The innermost trap that is running a step, or nullptr.
    static ErrorTrap* active();

    // Takes a failure that a signal handler could not throw through Qt; the
    // step that caused the signal fails with it when the handler returns.
    void handOver(std::exception_ptr failure);

private:
    void rethrowHandedOver();
    void report(const QString& description);

    QString location_;
    int line_ = 0;
    std::exception_ptr handedOver_;
    ErrorTrap* outer_ = nullptr;
};

// Runs code of a Qt signal handler. Exceptions must not unwind through Qt, so
// a failure is handed to the active trap (the procedure whose step caused the
// signal); with no trap active, as when the user types, it is shown at once.
template <class Action>
void runHandler(Action&& action) noexcept
{
    try {
        std::forward<Action>(action)();
    } catch (...) {
        if (ErrorTrap* trap = ErrorTrap::active()) {
            trap->handOver(std::current_exception());
        } else {
            try {
                std::rethrow_exception(std::current_exception());
            } catch (const std::exception& error) {
                showErrorReport(describe(error), QString(), -1);
            } catch (...) {
                showErrorReport(QStringLiteral("Unknown error"), QString(), -1);
            }
        }
    }
}

} // namespace services
