#pragma once

#include <QString>
#include <stdexcept>

namespace services {

// A failed operation. The text is what the error report shows as the
// description, so it must tell the user what went wrong.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description)
    {
    }

    const QString& description() const noexcept { return description_; }

private:
    QString description_;
};

// Description of any exception, as the error report shows it.
inline QString describe(const std::exception& error)
{
    if (const auto* failure = dynamic_cast<const Failure*>(&error))
        return failure->description();
    return QString::fromUtf8(error.what());
}

} // namespace services
