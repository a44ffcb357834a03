// The focus order that start-up leaves, and the window's pointer as the mouse
// moves over its controls.
#include "entry/Form1.h"
#include "services/MousePointer.h"
#include "services/PictureBox.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

using entry::Form1;
using entry_tests::settle;

namespace {

// Names of the controls that may hold the focus, by widget.
QHash<QWidget*, QString> namedControls(Form1& window)
{
    QHash<QWidget*, QString> names;
    names.insert(window.PushButton22, QStringLiteral("PushButton22"));
    names.insert(window.PushButton1, QStringLiteral("PushButton1"));
    names.insert(window.PushButton2, QStringLiteral("PushButton2"));
    names.insert(window.dtpFrom, QStringLiteral("dtpFrom"));
    names.insert(window.Picture1, QStringLiteral("Picture1"));
    names.insert(window.Frame1, QStringLiteral("Frame1"));
    names.insert(window.Label5, QStringLiteral("Label5"));
    for (int i = 0; i < 14; ++i) {
        names.insert(window.txtAssets[i], QStringLiteral("txtAssets%1").arg(i));
        names.insert(window.txtAmountAssets[i], QStringLiteral("txtAmountAssets%1").arg(i));
    }
    for (int i = 0; i < 10; ++i) {
        names.insert(window.txtLiabilities[i], QStringLiteral("txtLiabilities%1").arg(i));
        names.insert(window.txtAmountL[i], QStringLiteral("txtAmountL%1").arg(i));
    }
    for (int i = 0; i < 14; ++i) {
        if (window.lblYear[i])
            names.insert(window.lblYear[i], QStringLiteral("lblYear%1").arg(i));
    }
    return names;
}

// The named control a widget belongs to (the date picker's inner editor
// counts as the picker).
QString controlName(Form1& window, QWidget* widget)
{
    const QHash<QWidget*, QString> names = namedControls(window);
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        if (names.contains(w))
            return names.value(w);
        if (w == &window)
            return QStringLiteral("Form1");
    }
    return QStringLiteral("<outside the window>");
}

QStringList expectedOrder()
{
    QStringList order{QStringLiteral("PushButton22"), QStringLiteral("dtpFrom")};
    for (int i = 0; i <= 10; ++i)
        order << QStringLiteral("txtAssets%1").arg(i) << QStringLiteral("txtAmountAssets%1").arg(i);
    for (int i = 0; i <= 9; ++i)
        order << QStringLiteral("txtLiabilities%1").arg(i) << QStringLiteral("txtAmountL%1").arg(i);
    for (int i = 11; i <= 13; ++i)
        order << QStringLiteral("txtAssets%1").arg(i) << QStringLiteral("txtAmountAssets%1").arg(i);
    order << QStringLiteral("Picture1") << QStringLiteral("PushButton1") << QStringLiteral("PushButton2");
    return order;
}

class TabOrderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(entry_tests::showActive(window)); }

    // Presses the key `presses` times from `start` and lists the control
    // that holds the focus after each press.
    QStringList walk(QWidget* start, Qt::Key key, int presses)
    {
        start->setFocus(Qt::TabFocusReason);
        settle();
        QStringList visited{controlName(window, QApplication::focusWidget())};
        for (int i = 0; i < presses; ++i) {
            QWidget* focused = QApplication::focusWidget();
            if (!focused)
                break;
            QTest::keyClick(focused, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            settle();
            visited << controlName(window, QApplication::focusWidget());
        }
        return visited;
    }

    Form1 window;
};

} // namespace

TEST_F(TabOrderTest, TabWalksTheControlsInTheirOrderAndComesRound)
{
    const QStringList expected = expectedOrder();
    ASSERT_EQ(expected.size(), 53);
    // One press a control, once round and back to the start.
    const QStringList visited = walk(window.PushButton22, Qt::Key_Tab, int(expected.size()));
    EXPECT_EQ(visited, expected + QStringList{QStringLiteral("PushButton22")}) << visited.join(u' ').toStdString();
    EXPECT_TRUE(entry_tests::messages().isEmpty());
}

TEST_F(TabOrderTest, ShiftTabWalksTheSameOrderBackwards)
{
    QStringList expected = expectedOrder();
    std::reverse(expected.begin(), expected.end());
    const QStringList visited = walk(window.PushButton2, Qt::Key_Backtab, int(expected.size()));
    EXPECT_EQ(visited, expected + QStringList{QStringLiteral("PushButton2")}) << visited.join(u' ').toStdString();
}

TEST_F(TabOrderTest, OneTabLeavesTheDatePicker)
{
    // The picker is one stop, like every other control; its day, month and
    // year are not stops of their own.
    EXPECT_EQ(walk(window.dtpFrom, Qt::Key_Tab, 1).last(), QStringLiteral("txtAssets0"));
    EXPECT_EQ(walk(window.dtpFrom, Qt::Key_Backtab, 1).last(), QStringLiteral("PushButton22"));
    // The date is still typed in the picker, and stored as it changes.
    window.dtpFrom->setDate(QDate(2010, 1, 21));
    window.dtpFrom->setFocus(Qt::TabFocusReason);
    settle();
    QTest::keyClicks(window.dtpFrom, QStringLiteral("05"));
    EXPECT_EQ(window.dtpFrom->date(), QDate(2010, 1, 5));
    // Two digits fill the day and move on to the month.
    QTest::keyClick(window.dtpFrom, Qt::Key_Up);
    EXPECT_EQ(window.dtpFrom->date(), QDate(2010, 2, 5));
    EXPECT_EQ(controlName(window, QApplication::focusWidget()), QStringLiteral("dtpFrom"));
    EXPECT_EQ(testing_support::storedValue(QStringLiteral("dtpFrom")), QStringLiteral("2/5/2010"));
}

TEST_F(TabOrderTest, FollowsTheBoxIndexesAcrossTheRows)
{
    // Asset row 12 shows caption box 13 beside amount box 11: Tab from that
    // amount box goes down to row 14's caption box (index 12 is row 13).
    QStringList visited = walk(window.txtAmountAssets[10], Qt::Key_Tab, 1);
    EXPECT_EQ(visited, (QStringList{QStringLiteral("txtAmountAssets10"), QStringLiteral("txtLiabilities0")}));
    visited = walk(window.txtAmountL[9], Qt::Key_Tab, 1);
    EXPECT_EQ(visited, (QStringList{QStringLiteral("txtAmountL9"), QStringLiteral("txtAssets11")}));
    visited = walk(window.txtAmountL[5], Qt::Key_Tab, 1);
    EXPECT_EQ(visited.last(), QStringLiteral("txtLiabilities6"));
    EXPECT_GT(window.txtLiabilities[6]->geometry().top(), window.txtLiabilities[7]->geometry().top())
        << "caption box 6 stands on the row below the Mortgage";
}

// ---------------------------------------------------------------- pointer

namespace {

class PointerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // A move of the mouse to `local` on `over`, delivered as the window
    // system would: to the innermost widget under that spot (the
    // application passes it on to the parents while it is ignored).
    void moveOver(QWidget* over, QPoint local)
    {
        const QPoint inWindow = over->mapTo(&window, local);
        QWidget* target = window.childAt(inWindow);
        if (!target)
            target = &window;
        ASSERT_TRUE(target == over || over->isAncestorOf(target))
            << "the spot is covered by " << target->metaObject()->className();
        const QPoint at = target->mapFrom(&window, inWindow);
        QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &move);
    }

    void moveOver(QWidget* over) { moveOver(over, over->rect().center()); }

    int pointer() { return window.mousePointer().value(); }

    Form1 window;
};

} // namespace

TEST_F(PointerTest, StartsAsTheArrow)
{
    EXPECT_EQ(pointer(), 0);
}

TEST_F(PointerTest, EachButtonGivesTheHand)
{
    for (QPushButton* button : {window.PushButton22, window.PushButton1, window.PushButton2}) {
        window.mousePointer().set(0);
        moveOver(button);
        EXPECT_EQ(pointer(), 99) << button->text().toStdString();
    }
}

TEST_F(PointerTest, HandWithoutAnImageLooksLikeTheArrow)
{
    moveOver(window.PushButton1);
    ASSERT_EQ(pointer(), 99);
    EXPECT_EQ(window.PushButton1->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PointerTest, BackgroundGivesTheArrow)
{
    moveOver(window.PushButton2);
    ASSERT_EQ(pointer(), 99);
    // Between the second row of buttons and the frame.
    moveOver(&window, QPoint(100, 70));
    EXPECT_EQ(pointer(), 0);
}

TEST_F(PointerTest, FrameGivesTheArrow)
{
    moveOver(window.PushButton22);
    ASSERT_EQ(pointer(), 99);
    moveOver(window.Frame1, QPoint(6, 120));
    EXPECT_EQ(pointer(), 0);
}

TEST_F(PointerTest, EveryBoxGivesTheDefaultWhichIsTheTextPointer)
{
    for (QLineEdit* box : entry_tests::captionBoxes(window) + entry_tests::amountBoxes(window)) {
        moveOver(window.PushButton1);
        ASSERT_EQ(pointer(), 99);
        moveOver(box);
        EXPECT_EQ(pointer(), 0) << box->objectName().toStdString();
        EXPECT_EQ(box->cursor().shape(), Qt::IBeamCursor) << box->objectName().toStdString();
    }
    window.mousePointer().set(11);
    window.mousePointer().set(0);
    EXPECT_EQ(window.txtAssets[0]->cursor().shape(), Qt::IBeamCursor);
    EXPECT_EQ(window.PushButton1->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PointerTest, DatePickerGivesTheArrow)
{
    moveOver(window.PushButton1);
    ASSERT_EQ(pointer(), 99);
    moveOver(window.dtpFrom, QPoint(20, window.dtpFrom->height() / 2));
    EXPECT_EQ(pointer(), 0);
    // Its drop-down button at the right end as well.
    moveOver(window.PushButton1);
    moveOver(window.dtpFrom, QPoint(window.dtpFrom->width() - 4, window.dtpFrom->height() / 2));
    EXPECT_EQ(pointer(), 0);
}

TEST_F(PointerTest, HeadingsLabelAndPictureKeepTheHand)
{
    QList<QWidget*> keepers{window.Label5, window.Picture1};
    for (QLabel* heading : window.lblYear) {
        if (heading)
            keepers << heading;
    }
    ASSERT_EQ(keepers.size(), 11);
    for (QWidget* keeper : keepers) {
        moveOver(window.PushButton22);
        moveOver(keeper);
        EXPECT_EQ(pointer(), 99) << keeper->objectName().toStdString();
    }
}

TEST_F(PointerTest, HeadingsLabelAndPictureKeepTheArrow)
{
    QList<QWidget*> keepers{window.Label5, window.Picture1, window.lblYear[0], window.lblYear[6]};
    for (QWidget* keeper : keepers) {
        moveOver(window.txtAssets[0]);
        moveOver(keeper);
        EXPECT_EQ(pointer(), 0) << keeper->objectName().toStdString();
    }
}

TEST_F(PointerTest, FromAButtonOverAHeadingTheHandStaysUntilTheFrame)
{
    moveOver(window.PushButton2);
    moveOver(window.lblYear[12]);
    EXPECT_EQ(pointer(), 99);
    moveOver(window.lblYear[4]);
    EXPECT_EQ(pointer(), 99);
    moveOver(window.Frame1, QPoint(6, 120));
    EXPECT_EQ(pointer(), 0);
}

TEST_F(PointerTest, NoMoveReplacesTheHourglass)
{
    window.mousePointer().set(11);
    QList<QWidget*> everywhere{window.PushButton22, window.PushButton1,  window.PushButton2, window.Frame1,
                               window.dtpFrom,      window.Label5,       window.Picture1,    window.lblYear[0],
                               window.txtAssets[4], window.txtAmountL[9]};
    for (QWidget* over : everywhere) {
        if (over == window.Frame1)
            moveOver(over, QPoint(6, 120));
        else
            moveOver(over);
        EXPECT_EQ(pointer(), 11) << over->objectName().toStdString();
    }
    moveOver(&window, QPoint(100, 70));
    EXPECT_EQ(pointer(), 11);
    EXPECT_EQ(window.PushButton1->cursor().shape(), Qt::WaitCursor);
    // Once the long operation is over, moves count again.
    window.mousePointer().set(0);
    moveOver(window.PushButton1);
    EXPECT_EQ(pointer(), 99);
}

// Every part of the window shows the window's pointer, whether it has one of
// its own or takes its parent's, and shows its own again afterwards; also
// when the hourglass follows the hand.
TEST_F(PointerTest, EveryPartShowsTheWindowsPointerAndThenItsOwn)
{
    const QList<QWidget*> parts = QList<QWidget*>{&window} + window.findChildren<QWidget*>();
    QList<Qt::CursorShape> own;
    for (QWidget* part : parts)
        own << part->cursor().shape();
    ASSERT_TRUE(own.contains(Qt::IBeamCursor));
    for (const QList<int>& steps : QList<QList<int>>{{11}, {99, 11}, {11, 99}}) {
        for (const int value : steps)
            window.mousePointer().set(value);
        const Qt::CursorShape shown = steps.back() == 11 ? Qt::WaitCursor : Qt::ArrowCursor;
        for (QWidget* part : parts)
            EXPECT_EQ(part->cursor().shape(), shown) << part->metaObject()->className() << " " << steps.back();
        window.mousePointer().set(0);
        for (qsizetype i = 0; i < parts.size(); ++i)
            EXPECT_EQ(parts[i]->cursor().shape(), own[i]) << parts[i]->metaObject()->className();
    }
}
