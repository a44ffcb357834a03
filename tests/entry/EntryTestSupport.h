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
#include <QLocale>
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

// Every amount box shows expected[i] (amountKeys() order) and the store
// holds the same text.
inline void expectAmountsShownAndStored(entry::Form1& window, const QStringList& expected)
{
    const QList<QLineEdit*> boxes = amountBoxes(window);
    const QStringList keys = amountKeys();
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(boxes[i]->text(), expected[i]) << keys[i].toStdString();
        EXPECT_EQ(testing_support::storedValue(keys[i]), expected[i]) << keys[i].toStdString();
    }
}

inline void expectEveryAmountShownAndStored(entry::Form1& window, const QString& text)
{
    expectAmountsShownAndStored(window, QStringList(24, text));
}

// ---------------------------------------------------------------- typing

// Types like a keyboard, one key event a character. QTest::keyClicks cannot
// type letters outside Latin-1; these arrive as text with no key of their own.
inline void type(QWidget* target, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Puts the focus into a box the way a user does and types over its text.
inline void typeOver(QLineEdit* box, const QString& text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    settle();
    ASSERT_EQ(QApplication::focusWidget(), box);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    type(box, text);
}

// Tab, or Backtab with Shift, and the events it posts.
inline void pressTab(QWidget* target, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(target, modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab, modifiers);
    settle();
}

inline void click(QWidget* target)
{
    QTest::mouseClick(target, Qt::LeftButton);
    settle();
}

// ---------------------------------------------------------------- locales

// A test binary's locale, as CTest sets it with CORVANTIS_TEST_LANG.
struct CLocale {
    static constexpr QLocale::Language language = QLocale::C;
    static constexpr const char* name = "C";
};

struct GermanLocale {
    static constexpr QLocale::Language language = QLocale::German;
    static constexpr const char* name = "de_DE.UTF-8";
};

// These tests mean nothing under another locale: fail rather than pass or
// skip, so that a broken CTest set-up cannot go unnoticed.
template <typename Locale>
class LocaleUnderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QLocale::system().language() != Locale::language)
            FAIL() << "not running under " << Locale::name << " (LANG=" << qgetenv("LANG").constData()
                   << "); CTest must pass CORVANTIS_TEST_LANG=" << Locale::name;
    }
};

// The window shown and active under that locale, ready for typing.
template <typename Locale>
class TypingUnderLocale : public LocaleUnderTest<Locale> {
protected:
    void SetUp() override
    {
        LocaleUnderTest<Locale>::SetUp();
        if (this->HasFatalFailure())
            return;
        ASSERT_TRUE(showActive(window));
    }

    entry::Form1 window;
};

} // namespace entry_tests
