// The entry window for a German user (de_DE.UTF-8): euro amounts with a
// decimal comma, day.month.year dates; the sample stays in dollars.
#include "entry/AmountText.h"
#include "entry/Form1.h"
#include "services/UserLocale.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QPushButton>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::amountKeys;
using entry_tests::click;
using entry_tests::messages;
using entry_tests::pressTab;
using entry_tests::typeOver;
using testing_support::storedValue;
using testing_support::writeSettingsFile;

namespace {

// The locale puts a no-break space before the euro sign; the user sees a
// blank. Compare what is shown with that one difference ironed out.
QString asSeen(QString text)
{
    text.replace(QChar(0x00A0), u' ');
    text.replace(QChar(0x202F), u' ');
    return text;
}

} // namespace

using GermanEntry = entry_tests::LocaleUnderTest<entry_tests::GermanLocale>;
using GermanTyping = entry_tests::TypingUnderLocale<entry_tests::GermanLocale>;

TEST_F(GermanEntry, LocaleIsGerman)
{
    ASSERT_EQ(QLocale::system().language(), QLocale::German) << "the test runs under de_DE.UTF-8";
}

TEST_F(GermanEntry, FirstStartShowsAndStoresTheEuroZero)
{
    Form1 window;
    const QList<QLineEdit*> boxes = amountBoxes(window);
    const QStringList keys = amountKeys();
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(asSeen(boxes[i]->text()), QStringLiteral("0 \u20ac")) << keys[i].toStdString();
        // Stored exactly as shown, nothing converted.
        EXPECT_EQ(storedValue(keys[i]), boxes[i]->text()) << keys[i].toStdString();
    }
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(GermanEntry, DateIsStoredAsDayMonthFourDigitYear)
{
    const QDate today = QDate::currentDate();
    Form1 window;
    const QString expected = QStringLiteral("%1.%2.%3")
                                 .arg(today.day(), 2, 10, QChar(u'0'))
                                 .arg(today.month(), 2, 10, QChar(u'0'))
                                 .arg(today.year());
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), expected);
    window.dtpFrom->setDate(QDate(1987, 4, 3));
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), QStringLiteral("03.04.1987"));
}

TEST_F(GermanEntry, StoredDateIsRead)
{
    writeSettingsFile({{QStringLiteral("dtpFrom"), QStringLiteral("24.12.2023")}});
    Form1 window;
    EXPECT_EQ(window.dtpFrom->date(), QDate(2023, 12, 24));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(GermanEntry, StoredDateWithATwoDigitYearIsRead)
{
    writeSettingsFile({{QStringLiteral("dtpFrom"), QStringLiteral("15.03.24")}});
    Form1 window;
    EXPECT_EQ(window.dtpFrom->date(), QDate(2024, 3, 15));
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), QStringLiteral("15.03.2024"));
}

TEST_F(GermanEntry, StoredEuroAmountRestoresAsItWas)
{
    writeSettingsFile({{QStringLiteral("txtAmountAssets1"), QStringLiteral("1.234 \u20ac")},
                       {QStringLiteral("txtAmountL2"), QStringLiteral("1.234 \u20ac")}});
    Form1 window;
    EXPECT_EQ(asSeen(window.txtAmountAssets[1]->text()), QStringLiteral("1.234 \u20ac"));
    EXPECT_EQ(asSeen(window.txtAmountL[2]->text()), QStringLiteral("1.234 \u20ac"));
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

TEST_F(GermanEntry, StoredNegativeEuroAmountKeepsItsSign)
{
    writeSettingsFile({{QStringLiteral("txtAmountAssets8"), QStringLiteral("-500 \u20ac")}});
    Form1 window;
    EXPECT_EQ(asSeen(window.txtAmountAssets[8]->text()), QStringLiteral("-500 \u20ac"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets8")), window.txtAmountAssets[8]->text());
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

TEST_F(GermanEntry, StoredPlainNumberWithDecimalComma)
{
    writeSettingsFile({{QStringLiteral("txtAmountL0"), QStringLiteral("1234,5")}});
    Form1 window;
    EXPECT_EQ(asSeen(window.txtAmountL[0]->text()), QStringLiteral("1.235 \u20ac"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(GermanTyping, DecimalCommaIsRoundedToWholeEuros)
{
    typeOver(window.txtAmountAssets[0], QStringLiteral("1.234,56"));
    pressTab(window.txtAmountAssets[0]);
    EXPECT_EQ(asSeen(window.txtAmountAssets[0]->text()), QStringLiteral("1.235 \u20ac"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), window.txtAmountAssets[0]->text());
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(GermanTyping, NegativeAmountHasALeadingMinus)
{
    typeOver(window.txtAmountL[3], QStringLiteral("-500"));
    pressTab(window.txtAmountL[3]);
    EXPECT_EQ(asSeen(window.txtAmountL[3]->text()), QStringLiteral("-500 \u20ac"));
}

TEST_F(GermanTyping, SampleStaysInDollarsAndIsRefusedOnLeaving)
{
    window.PushButton2->click();
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$100,000"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), QStringLiteral("$100,000"));
    EXPECT_EQ(window.txtAmountL[8]->text(), QStringLiteral("$248,000"));

    click(window.txtAmountAssets[0]);
    ASSERT_EQ(QApplication::focusWidget(), window.txtAmountAssets[0]);
    pressTab(window.txtAmountAssets[0]);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0].text, QStringLiteral("Please enter a valid amount."));
    EXPECT_EQ(asSeen(window.txtAmountAssets[0]->text()), QStringLiteral("0 \u20ac"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), window.txtAmountAssets[0]->text());
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountAssets[0]);
}

TEST_F(GermanTyping, DollarTextIsRefused)
{
    typeOver(window.txtAmountAssets[5], QStringLiteral("$43,000"));
    pressTab(window.txtAmountAssets[5]);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(asSeen(window.txtAmountAssets[5]->text()), QStringLiteral("0 \u20ac"));
}

TEST(GermanLocale, NumbersAreReadTheGermanWay)
{
    const QLocale locale = services::userLocale();
    EXPECT_EQ(entry::readAmountText(QStringLiteral("1.234,5"), locale), 1234.5);
    EXPECT_EQ(entry::readAmountText(QStringLiteral("1,5"), locale), 1.5);
    EXPECT_EQ(entry::readAmountText(QStringLiteral("1.234"), locale), 1234.0);
    EXPECT_EQ(entry::readAmountText(QStringLiteral("-43.000 \u20AC"), locale), -43000.0);
    EXPECT_FALSE(entry::readAmountText(QStringLiteral("$43,000"), locale).has_value());
}

TEST(GermanLocale, AmountsAreWrittenTheGermanWay)
{
    EXPECT_EQ(entry::formatAmount(1234.56, services::userLocale()), QStringLiteral("1.235\u00A0\u20AC"));
    EXPECT_EQ(entry::formatAmount(-43000, services::userLocale()), QStringLiteral("-43.000\u00A0\u20AC"));
}
