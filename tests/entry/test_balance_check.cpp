// The balance check under the liabilities: the sheet's totals for the typed
// amounts, live, without touching focus, tab stops or stored keys.
#include "entry/BalanceCheckView.h"
#include "entry/Form1.h"
#include "services/SettingsStore.h"
#include "tests/entry/EntryTestSupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::click;
using entry_tests::settle;

namespace {

class BalanceCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(entry_tests::showActive(window)); }

    QStringList shown() const
    {
        const entry::BalanceCheckView& check = *window.balanceCheck;
        return {check.totalAssets->text(), check.totalLiabilities->text(), check.difference->text(),
                check.verdict->text()};
    }

    // Amounts by box index (amountKeys() order); the others zero.
    void enter(const std::map<int, QString>& amounts)
    {
        click(window.PushButton1); // "Clear/Reset Amounts"
        const QList<QLineEdit*> boxes = amountBoxes(window);
        for (const auto& [index, text] : amounts)
            boxes[index]->setText(text);
        settle();
    }

    Form1 window;
};

} // namespace

TEST_F(BalanceCheckTest, ShowsTheSheetsTotalsAndWhetherTheyAgree)
{
    const QString blank;
    const struct {
        const char* name;
        std::map<int, QString> amounts;
        QStringList expected; // assets, liabilities & equity, difference, verdict
    } cases[] = {
        {"all zero: blank totals", {}, {blank, blank, blank, QStringLiteral("Not complete")}},
        {"one side only",
         {{0, QStringLiteral("$100")}},
         {QStringLiteral("$100"), blank, blank, QStringLiteral("Not complete")}},
        {"in balance",
         {{0, QStringLiteral("$1,250")}, {14, QStringLiteral("$1,000")}, {23, QStringLiteral("$250")}},
         {QStringLiteral("$1,250"), QStringLiteral("$1,250"), QStringLiteral("$0"), QStringLiteral("In balance")}},
        {"a deduction typed negative lowers the total",
         {{1, QStringLiteral("$300")}, {2, QStringLiteral("-$40")}, {14, QStringLiteral("$260")}},
         {QStringLiteral("$260"), QStringLiteral("$260"), QStringLiteral("$0"), QStringLiteral("In balance")}},
        {"a deduction typed positive is added",
         {{1, QStringLiteral("$300")}, {2, QStringLiteral("$40")}, {14, QStringLiteral("$260")}},
         {QStringLiteral("$340"), QStringLiteral("$260"), QStringLiteral("$80"), QStringLiteral("Out of balance")}},
        {"more liabilities than assets",
         {{0, QStringLiteral("$10")}, {14, QStringLiteral("$25")}},
         {QStringLiteral("$10"), QStringLiteral("$25"), QStringLiteral("($15)"), QStringLiteral("Out of balance")}},
    };
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.name);
        enter(tried.amounts);
        EXPECT_EQ(shown(), tried.expected);
    }
}

TEST_F(BalanceCheckTest, SampleResetAndTypingEachUpdateIt)
{
    click(window.PushButton2); // "Load Sample/Example Amounts"
    settle();
    EXPECT_EQ(shown(),
              (QStringList{QStringLiteral("$1,794,000"), QStringLiteral("$557,000"), QStringLiteral("$1,237,000"),
                           QStringLiteral("Out of balance")}));

    // Typing counts at once, and leaves the focus and the caret where they are.
    QLineEdit* cash = window.txtAmountAssets[0];
    ASSERT_NO_FATAL_FAILURE(entry_tests::typeOver(cash, QStringLiteral("1")));
    settle();
    EXPECT_EQ(window.balanceCheck->totalAssets->text(), QStringLiteral("$1,694,001"));
    EXPECT_EQ(QApplication::focusWidget(), cash);
    EXPECT_EQ(cash->cursorPosition(), 1);

    click(window.PushButton1);
    settle();
    EXPECT_EQ(shown(), (QStringList{QString(), QString(), QString(), QStringLiteral("Not complete")}));
}

TEST_F(BalanceCheckTest, TakesNoFocusAndNoPointerAndStoresNothing)
{
    const QList<QLabel*> lines = window.Frame1->findChildren<QLabel*>(QRegularExpression(
        QStringLiteral("^lbl(TotalAssets|TotalLiabilities|Difference)(Amount)?$|^lblBalanceVerdict$")));
    ASSERT_EQ(lines.size(), 7);
    for (QLabel* line : lines) {
        EXPECT_EQ(line->focusPolicy(), Qt::NoFocus) << line->objectName().toStdString();
        EXPECT_TRUE(line->testAttribute(Qt::WA_TransparentForMouseEvents)) << line->objectName().toStdString();
    }
    EXPECT_EQ(window.balanceCheck->totalAssetsCaption->text(), QStringLiteral("Total assets"));
    EXPECT_EQ(window.balanceCheck->totalLiabilitiesCaption->text(), QStringLiteral("Total liabilities & equity"));
    EXPECT_EQ(window.balanceCheck->differenceCaption->text(), QStringLiteral("Difference"));
    // Where liability rows 11 to 13 would stand, in the caption and amount columns.
    EXPECT_EQ(window.balanceCheck->totalAssetsCaption->geometry().left(), window.txtLiabilities[9]->geometry().left());
    EXPECT_EQ(window.balanceCheck->totalAssets->geometry().left(), window.txtAmountL[9]->geometry().left());
    EXPECT_GT(window.balanceCheck->totalAssetsCaption->geometry().top(), window.txtLiabilities[9]->geometry().top());

    click(window.PushButton2);
    settle();
    const QSettings settings(testing_support::settingsFilePath(), QSettings::IniFormat);
    for (const QString& key : settings.allKeys())
        EXPECT_FALSE(key.contains(QStringLiteral("lbl"))) << key.toStdString();
}

TEST_F(BalanceCheckTest, TheFourDeductionsSayHowToTypeThem)
{
    const QString hint = QStringLiteral("Deductions are added as entered: type them as negative amounts.");
    const QList<QLineEdit*> boxes = amountBoxes(window);
    for (int i = 0; i < boxes.size(); ++i) {
        const bool deduction = i == 2 || i == 9 || i == 11 || i == 13;
        EXPECT_EQ(boxes[i]->toolTip(), deduction ? hint : QString()) << i;
    }
}

// A start shows the stored amounts' totals before the window is first drawn.
TEST(BalanceCheckAtStart, ShowsTheRestoredTotalsAtOnce)
{
    {
        Form1 earlier;
        click(earlier.PushButton2); // "Load Sample/Example Amounts"
    }
    services::reopenSettingsStoreForTesting();
    const Form1 later;
    EXPECT_EQ(later.balanceCheck->totalAssets->text(), QStringLiteral("$1,794,000"));
    EXPECT_EQ(later.balanceCheck->verdict->text(), QStringLiteral("Out of balance"));
}
