// The windows on a real X server with a window manager, driven by real key
// and mouse events: what offscreen cannot show (activation after a modal
// box, the pointer the server draws, the titles on the frames).
#include "entry/Form1.h"
#include "preview/Form2.h"
#include "services/Dialogs.h"
#include "tests/entry/EntryTestSupport.h"
#include "tests/support/RealDisplay.h"

#include <QAbstractButton>
#include <QDateEdit>
#include <QMessageBox>
#include <QPushButton>

#include <chrono>
#include <thread>

namespace display = testing_support::display;
using entry::Form1;

namespace {

const bool onRealDisplay = testing_support::requestRealDisplay();

// The real boxes and file dialog, answered by real input.
class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(onRealDisplay);
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        services::setDialogHost(&services::systemDialogs());
    }
    void TearDown() override { services::setDialogHost(&testing_support::recordedDialogs()); }

    static bool shownAndActive(QWidget& window)
    {
        window.show();
        return QTest::qWaitForWindowActive(&window, 10000);
    }
};

// Inside actAside(): the modal box the program shows next (another than the
// one that was active), once the window manager has made it the active
// window; its title as shown on the frame.
QString awaitActiveBox()
{
    static WId previous = 0;
    WId box = 0;
    const bool shown = display::waitUntil([&] {
        box = display::askGui([] {
            QWidget* modal = QApplication::activeModalWidget();
            return modal && modal->isActiveWindow() ? modal->winId() : WId{};
        });
        return box != WId{} && box != previous && display::activeWindow() == box;
    });
    previous = box;
    return shown ? display::shownTitle(box) : QStringLiteral("<no box became active>");
}

// Inside actAside(): the middle of the message box's OK button.
QPoint okButtonCentre()
{
    return display::askGui([] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QAbstractButton* button = box ? box->button(QMessageBox::Ok) : nullptr;
        return button ? button->mapToGlobal(button->rect().center()) : QPoint();
    });
}

void clickAt(QPoint global)
{
    display::movePointerTo(global);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    display::pressButton();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    display::releaseButton();
}

// ---- A refused amount is wholly selected, however it was left

enum class Leave { Tab, ShiftTab, ClickOtherBox, ClickButton };
enum class Confirm { Mouse, Return };

struct RefusalCase {
    const char* name;
    Leave leave;
    Confirm confirm;
};

void PrintTo(const RefusalCase& tried, std::ostream* os)
{
    *os << tried.name;
}

class RefusedAmount : public RealDialogs, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedAmount, IsWhollySelectedSoTheNextKeyReplacesIt)
{
    Form1 window;
    ASSERT_TRUE(shownAndActive(window));
    QLineEdit* box = window.txtAmountAssets[1];
    display::click(box);
    ASSERT_EQ(QApplication::focusWidget(), box);
    display::type("x");
    ASSERT_EQ(box->text(), QStringLiteral("x")) << "entering the box selects its text";

    QWidget* clicked =
        GetParam().leave == Leave::ClickButton ? static_cast<QWidget*>(window.PushButton2) : window.txtAmountL[3];
    const QPoint clickPoint = clicked->mapToGlobal(clicked->rect().center());
    QString boxTitle;
    ASSERT_TRUE(display::actAside([&] {
        switch (GetParam().leave) {
        case Leave::Tab: display::pressKey("Tab"); break;
        case Leave::ShiftTab: display::pressKey("Tab", true); break;
        case Leave::ClickOtherBox:
        case Leave::ClickButton: clickAt(clickPoint); break;
        }
        boxTitle = awaitActiveBox();
        if (GetParam().confirm == Confirm::Return)
            display::pressKey("Return");
        else
            clickAt(okButtonCentre());
    }));
    EXPECT_EQ(boxTitle, QStringLiteral("Corvantis")) << "an untitled box shows the application title alone";
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, 5000));
    display::settle(200);

    EXPECT_EQ(QApplication::focusWidget(), box);
    EXPECT_EQ(box->text(), QStringLiteral("$0"));
    EXPECT_EQ(box->selectedText(), QStringLiteral("$0"));
    display::type("7");
    EXPECT_EQ(box->text(), QStringLiteral("7"));
}

INSTANTIATE_TEST_SUITE_P(EveryWayOut, RefusedAmount,
                         ::testing::Values(RefusalCase{"TabThenReturn", Leave::Tab, Confirm::Return},
                                           RefusalCase{"TabThenMouse", Leave::Tab, Confirm::Mouse},
                                           RefusalCase{"ShiftTabThenReturn", Leave::ShiftTab, Confirm::Return},
                                           RefusalCase{"ClickOnABoxThenReturn", Leave::ClickOtherBox, Confirm::Return},
                                           RefusalCase{"ClickOnABoxThenMouse", Leave::ClickOtherBox, Confirm::Mouse},
                                           RefusalCase{"ClickOnAButtonThenReturn", Leave::ClickButton, Confirm::Return},
                                           RefusalCase{"ClickOnAButtonThenMouse", Leave::ClickButton, Confirm::Mouse}),
                         [](const auto& tried) { return std::string(tried.param.name); });

// ---- The pointer the server shows

TEST_F(RealDialogs, BoxesShowTheTextPointerAlsoAfterTheButtons)
{
    Form1 window;
    ASSERT_TRUE(shownAndActive(window));
    display::moveOver(&window, QPoint(100, 70));
    const QImage arrow = display::shownPointer();
    display::moveOver(window.txtAmountAssets[0]);
    const QImage textPointer = display::shownPointer();
    ASSERT_FALSE(textPointer.isNull());
    ASSERT_NE(textPointer, arrow) << "the boxes start with the platform's text pointer";

    for (QLineEdit* box : {window.txtAmountAssets[0], window.txtAssets[2], window.txtLiabilities[5]}) {
        for (QPushButton* button : {window.PushButton22, window.PushButton1, window.PushButton2}) {
            display::moveOver(button);
            display::moveOver(box);
            EXPECT_TRUE(QTest::qWaitFor([&] { return display::shownPointer() == textPointer; }, 1000))
                << box->objectName().toStdString() << " after " << button->text().toStdString();
        }
    }
    display::moveOver(&window, QPoint(100, 70));
    EXPECT_EQ(display::shownPointer(), arrow);
}

// A click puts the caret into the date; it never steps the date.
TEST_F(RealDialogs, AClickIntoTheDateKeepsIt)
{
    Form1 window;
    ASSERT_TRUE(shownAndActive(window));
    const QDate before = window.dtpFrom->date();
    for (const double across : {0.1, 0.4, 0.7}) {
        display::moveOver(window.dtpFrom, QPoint(int(window.dtpFrom->width() * across), window.dtpFrom->height() / 2));
        display::pressButton();
        display::releaseButton();
        display::settle(300);
        EXPECT_EQ(window.dtpFrom->date(), before) << "clicked at " << across << " of its width";
    }
}

// ---- Titles as the window manager shows them

TEST_F(RealDialogs, TheEntryWindowIsTitledWithTheApplicationTitleAlone)
{
    Form1 window;
    ASSERT_TRUE(shownAndActive(window));
    EXPECT_TRUE(QTest::qWaitFor([&] { return display::shownTitle(&window) == QStringLiteral("Corvantis"); }, 2000))
        << display::shownTitle(&window).toStdString();
}

TEST_F(RealDialogs, TheErrorReportIsTitledApplicationError)
{
    Form1 window;
    ASSERT_TRUE(shownAndActive(window));
    // A run that cannot write its template reports that, once.
    qputenv("TEMP", (testing_support::testRoot() + QStringLiteral("/no such folder")).toLocal8Bit());
    const QPoint start = window.PushButton22->mapToGlobal(window.PushButton22->rect().center());
    QStringList titles;
    ASSERT_TRUE(display::actAside([&] {
        clickAt(start);
        titles << awaitActiveBox();
        display::pressKey("Return");
    }));
    EXPECT_EQ(titles, QStringList{QStringLiteral("Application Error")});
}

TEST_F(RealDialogs, TheSaveDialogIsTitledSaveFile)
{
    preview::Form2 preview;
    preview.setPicture(QPixmap(200, 100));
    preview.mExcelFile = testing_support::tempPath(QStringLiteral("generated.xls"));
    preview.showPreview();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview, 10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return display::shownTitle(&preview) == preview.windowTitle(); }, 2000))
        << display::shownTitle(&preview).toStdString();

    const QPoint save = preview.PushButton6->mapToGlobal(preview.PushButton6->rect().center());
    QStringList titles;
    ASSERT_TRUE(display::actAside([&] {
        clickAt(save);
        titles << awaitActiveBox();
        display::pressKey("Escape");
        // Cancelling says "Done." too.
        titles << awaitActiveBox();
        display::pressKey("Return");
    }));
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Save File"), QStringLiteral("Corvantis")}));
}

} // namespace
