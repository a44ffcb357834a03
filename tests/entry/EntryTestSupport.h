#pragma once

// Small helpers shared by the entry window's tests.

#include "entry/Form1.h"
#include "services/ErrorTrap.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    QString shown = text;
    shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    *os << '"' << shown.left(300).toStdString() << (shown.size() > 300 ? "...\"" : "\"");
}

inline void PrintTo(const QColor& colour, std::ostream* os)
{
    *os << colour.name(QColor::HexArgb).toStdString();
}

namespace entry_tests {

// The settings keys of the 24 amounts, assets first, by amount box index.
inline QStringList amountKeys()
{
    QStringList keys;
    for (int i = 0; i < 14; ++i)
        keys << QStringLiteral("txtAmountAssets%1").arg(i);
    for (int i = 0; i < 10; ++i)
        keys << QStringLiteral("txtAmountL%1").arg(i);
    return keys;
}

// The amount boxes in the same order as amountKeys().
inline QList<QLineEdit*> amountBoxes(entry::Form1& window)
{
    QList<QLineEdit*> boxes(window.txtAmountAssets.begin(), window.txtAmountAssets.end());
    boxes.append(QList<QLineEdit*>(window.txtAmountL.begin(), window.txtAmountL.end()));
    return boxes;
}

inline QList<QLineEdit*> captionBoxes(entry::Form1& window)
{
    QList<QLineEdit*> boxes(window.txtAssets.begin(), window.txtAssets.end());
    boxes.append(QList<QLineEdit*>(window.txtLiabilities.begin(), window.txtLiabilities.end()));
    return boxes;
}

// True when the key is in the settings file at all (an empty value counts).
inline bool isStored(const QString& key)
{
    const QSettings settings(testing_support::settingsFilePath(), QSettings::IniFormat);
    return settings.contains(QStringLiteral("Corvantis/") + key);
}

// What follows the description in an error report of `procedure` at `line`.
inline QString reportTail(const QString& procedure, int line)
{
    return QStringLiteral("\r\nin Corvantis2021/08/31.") + procedure + QStringLiteral(" at line ")
        + QString::number(line) + QStringLiteral("\r\rPlease email screenshot of this message to ")
        + QLatin1String(services::kSupportEmail);
}

// Focus tests need the window shown and active, as a user's would be.
inline ::testing::AssertionResult showActive(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window))
        return ::testing::AssertionFailure() << "the window never became active";
    return ::testing::AssertionSuccess();
}

// Lets posted events (the queued Home, Shift+End) run.
inline void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

inline QList<testing_support::ShownMessage>& messages()
{
    return testing_support::recordedDialogs().messages;
}

} // namespace entry_tests
