// What happens as the user enters and leaves the boxes: select-all on entry,
// the amount check on leaving an amount box, and buttons blocked by bad text.
#include "entry/Form1.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::amountKeys;
using entry_tests::captionBoxes;
using entry_tests::click;
using entry_tests::messages;
using entry_tests::pressTab;
using entry_tests::settle;
using testing_support::storedValue;

namespace {

const QString kRefusal = QStringLiteral("Please enter a valid amount.");

class AmountRulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(entry_tests::showActive(window));
        ASSERT_TRUE(messages().isEmpty());
    }

    // Types over a box's text and checks that all of it went in.
    void enter(QLineEdit* box, const QString& typed)
    {
        ASSERT_NO_FATAL_FAILURE(entry_tests::typeOver(box, typed));
        ASSERT_EQ(box->text(), typed);
    }

    void expectOneRefusal()
    {
        ASSERT_EQ(messages().size(), 1);
        EXPECT_EQ(messages()[0].text, kRefusal);
        EXPECT_TRUE(messages()[0].title.isEmpty()) << "an untitled box shows the application title";
        EXPECT_EQ(messages()[0].icon, services::MessageIcon::None);
    }

    void expectRefusedAndSelected(QLineEdit* box, const QString& key)
    {
        expectOneRefusal();
        EXPECT_EQ(box->text(), QStringLiteral("$0"));
        EXPECT_EQ(storedValue(key), QStringLiteral("$0"));
        EXPECT_EQ(QApplication::focusWidget(), box);
        EXPECT_EQ(box->selectedText(), QStringLiteral("$0"));
    }

    Form1 window;
};

} // namespace

// ---------------------------------------------------------------- numeric text

TEST_F(AmountRulesTest, TabOutOfDecimalsRewritesWholeDollarsAndStoresThem)
{
    enter(window.txtAmountAssets[0], QStringLiteral("1234.56"));
    pressTab(window.txtAmountAssets[0]);
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$1,235"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), QStringLiteral("$1,235"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[1]);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, ClickOnAnotherBoxRewritesTheAmountLeft)
{
    enter(window.txtAmountL[2], QStringLiteral("1234.56"));
    click(window.txtAmountL[5]);
    EXPECT_EQ(window.txtAmountL[2]->text(), QStringLiteral("$1,235"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL2")), QStringLiteral("$1,235"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountL[5]);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, NegativeGetsParentheses)
{
    enter(window.txtAmountAssets[4], QStringLiteral("-500"));
    pressTab(window.txtAmountAssets[4]);
    EXPECT_EQ(window.txtAmountAssets[4]->text(), QStringLiteral("($500)"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets4")), QStringLiteral("($500)"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, StandardFormStaysAsItIs)
{
    enter(window.txtAmountL[9], QStringLiteral("$43,000"));
    pressTab(window.txtAmountL[9]);
    EXPECT_EQ(window.txtAmountL[9]->text(), QStringLiteral("$43,000"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL9")), QStringLiteral("$43,000"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[11]);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, HalvesRoundAwayFromZero)
{
    enter(window.txtAmountAssets[1], QStringLiteral("2.5"));
    pressTab(window.txtAmountAssets[1]);
    EXPECT_EQ(window.txtAmountAssets[1]->text(), QStringLiteral("$3"));
    enter(window.txtAmountAssets[2], QStringLiteral("-2.5"));
    pressTab(window.txtAmountAssets[2]);
    EXPECT_EQ(window.txtAmountAssets[2]->text(), QStringLiteral("($3)"));
    enter(window.txtAmountAssets[3], QStringLiteral("$1,000.49"));
    pressTab(window.txtAmountAssets[3]);
    EXPECT_EQ(window.txtAmountAssets[3]->text(), QStringLiteral("$1,000"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, ShiftTabOutOfAnAmountChecksItToo)
{
    enter(window.txtAmountAssets[6], QStringLiteral("7e3"));
    pressTab(window.txtAmountAssets[6], Qt::ShiftModifier);
    EXPECT_EQ(window.txtAmountAssets[6]->text(), QStringLiteral("$7,000"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[6]);
}

// ---------------------------------------------------------------- refused text

TEST_F(AmountRulesTest, EmptyBoxIsRefusedOnTab)
{
    enter(window.txtAmountAssets[7], QString());
    pressTab(window.txtAmountAssets[7]);
    expectRefusedAndSelected(window.txtAmountAssets[7], QStringLiteral("txtAmountAssets7"));
}

TEST_F(AmountRulesTest, EmptyBoxIsRefusedOnAClickElsewhere)
{
    enter(window.txtAmountL[0], QString());
    click(window.txtAssets[0]);
    expectRefusedAndSelected(window.txtAmountL[0], QStringLiteral("txtAmountL0"));
}

TEST_F(AmountRulesTest, LettersAreRefusedOnTab)
{
    enter(window.txtAmountAssets[12], QStringLiteral("twelve"));
    pressTab(window.txtAmountAssets[12]);
    expectRefusedAndSelected(window.txtAmountAssets[12], QStringLiteral("txtAmountAssets12"));
}

TEST_F(AmountRulesTest, LettersAreRefusedOnAClickOnAnotherAmountBox)
{
    enter(window.txtAmountL[6], QStringLiteral("lots"));
    click(window.txtAmountAssets[0]);
    expectRefusedAndSelected(window.txtAmountL[6], QStringLiteral("txtAmountL6"));
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$0"));
}

TEST_F(AmountRulesTest, LettersAreRefusedOnShiftTab)
{
    enter(window.txtAmountAssets[2], QStringLiteral("x1"));
    pressTab(window.txtAmountAssets[2], Qt::ShiftModifier);
    expectRefusedAndSelected(window.txtAmountAssets[2], QStringLiteral("txtAmountAssets2"));
}

TEST_F(AmountRulesTest, EveryRefusedAttemptShowsTheMessageAgain)
{
    QLineEdit* box = window.txtAmountAssets[9];
    enter(box, QStringLiteral("abc"));
    pressTab(box);
    ASSERT_EQ(messages().size(), 1);
    // Typed over the selected zero: refused once more.
    QTest::keyClicks(box, QStringLiteral("def"));
    EXPECT_EQ(box->text(), QStringLiteral("def"));
    pressTab(box);
    ASSERT_EQ(messages().size(), 2);
    EXPECT_EQ(messages()[1].text, kRefusal);
    EXPECT_EQ(box->text(), QStringLiteral("$0"));
    // The zero put in is valid: the next Tab leaves without a message.
    pressTab(box);
    EXPECT_EQ(messages().size(), 2);
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[10]);
}

// ---------------------------------------------------------------- buttons

TEST_F(AmountRulesTest, SampleButtonDoesNotRunWhileAnAmountIsRefused)
{
    window.txtAmountL[1]->setText(QStringLiteral("$9"));
    enter(window.txtAmountAssets[3], QStringLiteral("oops"));
    click(window.PushButton2);
    expectOneRefusal();
    EXPECT_EQ(window.txtAmountAssets[3]->text(), QStringLiteral("$0"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountAssets[3]);
    // The sample was not put in.
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$0"));
    EXPECT_EQ(window.txtAmountL[1]->text(), QStringLiteral("$9"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), QStringLiteral("$0"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL1")), QStringLiteral("$9"));
}

TEST_F(AmountRulesTest, ResetButtonDoesNotRunWhileAnAmountIsRefused)
{
    window.txtAmountAssets[0]->setText(QStringLiteral("$5"));
    enter(window.txtAmountL[8], QString());
    click(window.PushButton1);
    expectOneRefusal();
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$5"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets0")), QStringLiteral("$5"));
}

TEST_F(AmountRulesTest, SampleButtonRunsAfterAValidAmount)
{
    enter(window.txtAmountAssets[3], QStringLiteral("1234.56"));
    click(window.PushButton2);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$100,000"));
    EXPECT_EQ(window.txtAmountAssets[3]->text(), QStringLiteral("$150,000"));
    EXPECT_EQ(window.txtAmountL[9]->text(), QStringLiteral("$110,000"));
}

TEST_F(AmountRulesTest, ClickOnAHeadingChecksNothing)
{
    // A heading takes no focus, so the focus is not leaving the box.
    enter(window.txtAmountAssets[5], QStringLiteral("abc"));
    click(window.lblYear[2]);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(window.txtAmountAssets[5]->text(), QStringLiteral("abc"));
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountAssets[5]);
}

// ---------------------------------------------------------------- select on entry

TEST_F(AmountRulesTest, ClickingIntoAnyBoxSelectsItsWholeText)
{
    window.txtAmountAssets[8]->setText(QStringLiteral("$1,234,567"));
    const QList<QLineEdit*> boxes = captionBoxes(window) + amountBoxes(window);
    ASSERT_EQ(boxes.size(), 48);
    for (QLineEdit* box : boxes) {
        click(box);
        ASSERT_EQ(QApplication::focusWidget(), box) << box->objectName().toStdString();
        EXPECT_FALSE(box->text().isEmpty());
        EXPECT_EQ(box->selectedText(), box->text()) << box->objectName().toStdString();
    }
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, TabbingIntoBoxesSelectsTheirWholeText)
{
    window.txtAmountAssets[0]->setFocus(Qt::OtherFocusReason);
    settle();
    for (int i = 0; i < 5; ++i) {
        QWidget* from = QApplication::focusWidget();
        pressTab(from);
        auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->selectedText(), box->text()) << box->objectName().toStdString();
    }
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[3]);
}

// ---------------------------------------------------------------- captions

TEST_F(AmountRulesTest, CaptionTakesAnyTextWithoutAMessage)
{
    const QString odd = QStringLiteral("abc $%& \u00e9\u4e2d");
    enter(window.txtAssets[2], odd);
    pressTab(window.txtAssets[2]);
    EXPECT_EQ(window.txtAssets[2]->text(), odd);
    EXPECT_EQ(storedValue(QStringLiteral("txtAssets2")), odd);
    EXPECT_EQ(QApplication::focusWidget(), window.txtAmountAssets[2]);

    enter(window.txtLiabilities[4], QString());
    click(window.PushButton2);
    EXPECT_EQ(window.txtLiabilities[4]->text(), QString());
    EXPECT_TRUE(entry_tests::isStored(QStringLiteral("txtLiabilities4")));
    EXPECT_EQ(storedValue(QStringLiteral("txtLiabilities4")), QString());
    EXPECT_EQ(window.txtAmountL[0]->text(), QStringLiteral("$58,000"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(AmountRulesTest, CaptionThatLooksLikeAnAmountIsNotRewritten)
{
    enter(window.txtLiabilities[0], QStringLiteral("1234.56"));
    pressTab(window.txtLiabilities[0]);
    EXPECT_EQ(window.txtLiabilities[0]->text(), QStringLiteral("1234.56"));
    EXPECT_TRUE(messages().isEmpty());
}

// ---------------------------------------------------------------- untouched boxes

TEST_F(AmountRulesTest, AmountNeverLeftIsNeverChecked)
{
    // Text put in by code, with no focus ever in the box.
    window.txtAmountAssets[10]->setText(QStringLiteral("not checked"));
    click(window.txtAssets[0]);
    click(window.txtAmountAssets[0]);
    pressTab(window.txtAmountAssets[0]);
    EXPECT_EQ(window.txtAmountAssets[10]->text(), QStringLiteral("not checked"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets10")), QStringLiteral("not checked"));
    EXPECT_TRUE(messages().isEmpty());
}
