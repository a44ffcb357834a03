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
        const bool outerStepRunning = std::exchange(stepRunning_, true);
        std::exception_ptr failure;
        try {
            std::forward<Action>(action)();
        } catch (...) {
            failure = std::current_exception();
        }
        stepRunning_ = outerStepRunning;
        // A failure handed over by a signal handler came first: the step went
        // wrong there, whatever failed after it.
        if (handedOver_)
            failure = std::exchange(handedOver_, nullptr);
        if (!failure)
            return true;
        report(failure);
        return false;
    }

    int line() const { return line_; }
    const QString& location() const { return location_; }

    // The innermost trap, or nullptr.
    static ErrorTrap* active();

    // Takes a failure that a signal handler could not throw through Qt; the
    // step that caused the signal fails with it when the handler returns.
    // Outside a step it is reported at once under the last step's number.
    void handOver(std::exception_ptr failure);

private:
    void report(std::exception_ptr failure);

    QString location_;
    int line_ = 0;
    std::exception_ptr handedOver_;
    bool stepRunning_ = false;
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
