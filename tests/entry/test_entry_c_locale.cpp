// The entry window under LANG=C, which has no currency conventions: amounts
// take the US style ("$", "," every three digits, parentheses for negatives).
#include "entry/Form1.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QPushButton>

using entry::Form1;
using entry_tests::expectEveryAmountShownAndStored;
using entry_tests::messages;
using entry_tests::pressTab;
using entry_tests::typeOver;
using testing_support::storedValue;
using testing_support::writeSettingsFile;

using CLocaleEntry = entry_tests::LocaleUnderTest<entry_tests::CLocale>;
using CLocaleTyping = entry_tests::TypingUnderLocale<entry_tests::CLocale>;

TEST_F(CLocaleEntry, LocaleIsC)
{
    ASSERT_EQ(QLocale::system().language(), QLocale::C) << "the test runs under LANG=C";
}

TEST_F(CLocaleEntry, FirstStartShowsAndStoresDollarZero)
{
    Form1 window;
    expectEveryAmountShownAndStored(window, QStringLiteral("$0"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(CLocaleEntry, StoredAmountsRestoreInTheUsStyle)
{
    writeSettingsFile({{QStringLiteral("txtAmountAssets0"), QStringLiteral("1234.56")},
                       {QStringLiteral("txtAmountAssets1"), QStringLiteral("$43,000")},
                       {QStringLiteral("txtAmountL0"), QStringLiteral("-$500")},
                       {QStringLiteral("txtAmountL1"), QStringLiteral("($500)")}});
    Form1 window;
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$1,235"));
    EXPECT_EQ(window.txtAmountAssets[1]->text(), QStringLiteral("$43,000"));
    EXPECT_EQ(window.txtAmountL[0]->text(), QStringLiteral("($500)"));
    EXPECT_EQ(window.txtAmountL[1]->text(), QStringLiteral("($500)"));
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

TEST_F(CLocaleEntry, DateReadsBackAsTheSameDate)
{
    {
        Form1 first;
        first.dtpFrom->setDate(QDate(2001, 2, 3));
    }
    const QString stored = storedValue(QStringLiteral("dtpFrom"));
    EXPECT_TRUE(stored.contains(QStringLiteral("2001"))) << stored.toStdString();
    Form1 second;
    EXPECT_EQ(second.dtpFrom->date(), QDate(2001, 2, 3));
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

TEST_F(CLocaleTyping, DecimalsAreRoundedWithAGroupComma)
{
    typeOver(window.txtAmountAssets[2], QStringLiteral("1234.56"));
    pressTab(window.txtAmountAssets[2]);
    EXPECT_EQ(window.txtAmountAssets[2]->text(), QStringLiteral("$1,235"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets2")), QStringLiteral("$1,235"));
}

TEST_F(CLocaleTyping, NegativeGetsParentheses)
{
    typeOver(window.txtAmountL[4], QStringLiteral("-500"));
    pressTab(window.txtAmountL[4]);
    EXPECT_EQ(window.txtAmountL[4]->text(), QStringLiteral("($500)"));
}

TEST_F(CLocaleTyping, SampleTextIsAcceptedAsItStands)
{
    window.PushButton2->click();
    typeOver(window.txtAmountAssets[1], QStringLiteral("$300,000"));
    pressTab(window.txtAmountAssets[1]);
    EXPECT_EQ(window.txtAmountAssets[1]->text(), QStringLiteral("$300,000"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(CLocaleTyping, LettersAreRefusedWithTheDollarZero)
{
    typeOver(window.txtAmountAssets[3], QStringLiteral("abc"));
    pressTab(window.txtAmountAssets[3]);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0].text, QStringLiteral("Please enter a valid amount."));
    EXPECT_EQ(window.txtAmountAssets[3]->text(), QStringLiteral("$0"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountAssets[3]);
}
