// The preview window driven as a user would: zoom, scroll, drag, save, back
// and close, with pictures of known size (15 twips to a pixel).
#include "preview/Form2.h"
#include "preview/ImageBox.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/MousePointer.h"
#include "services/PictureBox.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

using preview::Form2;
using services::Answer;
using testing_support::recordedDialogs;

inline void PrintTo(const QString& text, std::ostream* os)
{
    QString shown = text;
    shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    *os << '"' << shown.toStdString() << '"';
}

namespace {

QString tempFolder()
{
    return QString::fromLocal8Bit(qgetenv("TEMP"));
}

QPixmap pictureOf(int widthPixels, int heightPixels, QColor colour = Qt::darkCyan)
{
    QPixmap picture(widthPixels, heightPixels);
    picture.fill(colour);
    return picture;
}

// What follows the description in an error report.
QString reportTail(const QString& procedure, int line)
{
    return QStringLiteral("\r\nin Corvantis2021/08/31.Form2.") + procedure + QStringLiteral(" at line ")
        + QString::number(line) + QStringLiteral("\r\rPlease email screenshot of this message to ")
        + QLatin1String(services::kSupportEmail);
}

QStringList shownTexts()
{
    QStringList texts;
    for (const auto& shown : recordedDialogs().messages)
        texts << shown.text;
    return texts;
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// Press at `from`, move to `to` and release there, all in pixels of the
// image box as it stood at the press.
void drag(QWidget* box, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton, bool release = true)
{
    sendMouse(box, QEvent::MouseButtonPress, from, button, button);
    sendMouse(box, QEvent::MouseMove, to, Qt::NoButton, button);
    if (release)
        sendMouse(box, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

class PreviewTest : public ::testing::Test {
protected:
    // Shows the window with a picture of this many pixels, as the generation
    // run would, and lets its first activation prepare the viewport.
    void open(int widthPixels, int heightPixels)
    {
        workbook = QDir(tempFolder()).filePath(QStringLiteral("vetrik12345678.xls"));
        testing_support::writeFileBytes(workbook, QByteArray("generated workbook bytes"));
        window.setPicture(pictureOf(widthPixels, heightPixels));
        window.mExcelFile = workbook;
        window.showPreview();
        QApplication::setActiveWindow(&window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_FALSE(window.viewport().mFirstActivate);
    }

    void zoomIn(int presses = 1)
    {
        for (int i = 0; i < presses; ++i)
            window.PushButton1->click();
    }
    void zoomOut(int presses = 1)
    {
        for (int i = 0; i < presses; ++i)
            window.PushButton2->click();
    }

    Form2 window;
    QString workbook;
};

// ------------------------------------------------------------------ look

TEST_F(PreviewTest, WindowHasItsSizeCaptionAndControls)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    EXPECT_EQ(window.size(), QSize(656, 626)); // 9840 x 9390 twips
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvantis"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(window.Picture2->geometry(), QRect(8, 8, 622, 495));
    EXPECT_EQ(window.HScroll1->geometry(), QRect(8, 503, 622, 17));
    EXPECT_EQ(window.VScroll1->geometry(), QRect(630, 8, 17, 495));
    EXPECT_EQ(window.Frame1->title(), QStringLiteral("Zoom:"));
    EXPECT_EQ(window.PushButton1->text(), QStringLiteral("Zoom In"));
    EXPECT_EQ(window.PushButton2->text(), QStringLiteral("Zoom Out"));
    EXPECT_EQ(window.PushButton8->text(), QStringLiteral("< Back"));
    EXPECT_EQ(window.PushButton6->text(), QStringLiteral("Save Results To Excel File"));
    EXPECT_EQ(window.PushButton8->geometry(), QRect(8, 590, 312, 27));
    EXPECT_FALSE(window.Zoom_Ori->isVisible());
    EXPECT_EQ(window.palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
    EXPECT_EQ(window.Picture2->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(window.Picture1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST_F(PreviewTest, TabGoesThroughTheControlsInOrder)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    const QList<QWidget*> expected{window.HScroll1,    window.VScroll1,   window.Picture2,    window.Picture1,
                                   window.Frame1,      window.Zoom_Ori,   window.PushButton1, window.PushButton2,
                                   window.PushButton6, window.PushButton8};
    QList<QWidget*> seen;
    QWidget* w = window.HScroll1;
    for (int guard = 0; guard < 200 && seen.size() < expected.size(); ++guard, w = w->nextInFocusChain()) {
        if (expected.contains(w) && !seen.contains(w))
            seen << w;
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(PreviewTest, PointerIsTheHandOverButtonsAndPlainOverTheFrame)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    auto moveOver = [](QWidget* w, QPoint at) { sendMouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton); };
    for (QPushButton* button : {window.PushButton1, window.PushButton2, window.PushButton6, window.PushButton8}) {
        moveOver(window.Frame1, QPoint(3, window.Frame1->height() - 3));
        ASSERT_EQ(window.mousePointer().value(), 0);
        moveOver(button, button->rect().center());
        EXPECT_EQ(window.mousePointer().value(), 99) << button->objectName().toStdString();
    }
    moveOver(&window, QPoint(2, window.height() - 2));
    EXPECT_EQ(window.mousePointer().value(), 0);
    window.mousePointer().set(11);
    moveOver(window.PushButton6, window.PushButton6->rect().center());
    EXPECT_EQ(window.mousePointer().value(), 11);
}

// ------------------------------------------------------------------ zoom

TEST_F(PreviewTest, PreparationShowsThePictureAtItsOwnSize)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80)); // 1500 x 1200 twips
    const preview::Viewport& view = window.viewport();
    EXPECT_FLOAT_EQ(view.mZoom, 1.0f);
    EXPECT_EQ(view.mOrigWidth, 1498);
    EXPECT_EQ(view.mOrigHeight, 1198);
    EXPECT_EQ(view.mZoomWidth, 1498);
    EXPECT_EQ(view.mZoomHeight, 1198);
    EXPECT_EQ(window.Picture1->outerWidth(), 1498);
    EXPECT_EQ(window.Zoom_Ori->outerWidth(), 1500);
    EXPECT_TRUE(window.Picture1->isStretched());
    EXPECT_FALSE(window.HScroll1->isEnabled());
    EXPECT_FALSE(window.VScroll1->isEnabled());
}

TEST_F(PreviewTest, ANewPictureWhileShownIsPreparedAtOnce)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    window.PushButton1->click();
    window.setPicture(pictureOf(300, 200, Qt::darkRed));
    const preview::Viewport& view = window.viewport();
    EXPECT_FALSE(view.mFirstActivate);
    EXPECT_FLOAT_EQ(view.mZoom, 1.0f);
    EXPECT_EQ(view.mOrigWidth, 4498);
    EXPECT_EQ(window.Zoom_Ori->picture().size(), QSize(300, 200));
    EXPECT_TRUE(window.Picture1->isStretched());
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST_F(PreviewTest, FiveZoomInPressesGiveTwoAndAQuarter)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    zoomIn(5);
    const preview::Viewport& view = window.viewport();
    EXPECT_FLOAT_EQ(view.mZoom, 2.25f);
    EXPECT_EQ(view.mZoomWidth, 3370);  // 3370.5 rounded down
    EXPECT_EQ(view.mZoomHeight, 2695); // 2695.5 rounded down
    EXPECT_EQ(window.Picture1->outerWidth(), 3370);
    EXPECT_EQ(window.Picture1->outerHeight(), 2695);
    EXPECT_EQ(window.Picture1->stretchTarget(), QRectF(0, 0, 3370, 2695));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST_F(PreviewTest, ZoomStopsAtThreeAndThreeQuartersAndAtAQuarter)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    zoomIn(11);
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 3.75f);
    EXPECT_EQ(window.Picture1->outerWidth(), 5617);
    zoomIn();
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 3.75f);
    EXPECT_EQ(window.Picture1->outerWidth(), 5617);
    zoomOut(14);
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 0.25f);
    EXPECT_EQ(window.Picture1->outerWidth(), 374); // 374.5 rounded down
    zoomOut();
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 0.25f);
}

TEST_F(PreviewTest, AZoomBeyondTheSizeLimitResetsToOneWithoutRepainting)
{
    ASSERT_NO_FATAL_FAILURE(open(667, 333)); // unscaled 10003 x 4993 twips
    zoomIn();
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 1.25f);
    EXPECT_EQ(window.Picture1->outerWidth(), 12503);
    window.HScroll1->setValue(5);
    const float leftBefore = window.Picture1->left();

    zoomIn(); // 1.5 would be 15004 twips wide
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 1.0f);
    EXPECT_EQ(window.viewport().mZoomWidth, 10003);
    EXPECT_EQ(window.Picture1->outerWidth(), 12503);
    EXPECT_EQ(window.Picture1->stretchTarget(), QRectF(0, 0, 12503, 6241));
    EXPECT_EQ(window.HScroll1->value(), 5);
    EXPECT_FLOAT_EQ(window.Picture1->left(), leftBefore);

    zoomIn();
    EXPECT_FLOAT_EQ(window.viewport().mZoom, 1.25f);
    EXPECT_EQ(window.Picture1->outerWidth(), 12503);
    EXPECT_EQ(window.HScroll1->value(), 0);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST_F(PreviewTest, AZoomRedrawReturnsOnlyScrolledAxesToZero)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600));
    drag(window.Picture1, QPoint(400, 300), QPoint(300, 200), Qt::LeftButton, false);
    ASSERT_FLOAT_EQ(window.Picture1->left(), -1500);
    ASSERT_FLOAT_EQ(window.Picture1->top(), -1500);
    window.HScroll1->setValue(3); // left -30, top stays where dragged
    zoomOut();
    EXPECT_FLOAT_EQ(window.Picture1->left(), 0);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -1500);
}

// ---------------------------------------------------------------- scroll

TEST_F(PreviewTest, ScrollRangesFollowTheZoomedSheet)
{
    // The size of the balance sheet's picture: 753 x 697 pixels.
    ASSERT_NO_FATAL_FAILURE(open(753, 697));    // unscaled 11293 x 10453 twips
    EXPECT_EQ(window.VScroll1->maximum(), 303); // 3028 twips over
    EXPECT_EQ(window.viewport().mVScrollStep, 10);

    zoomOut(); // 8469 x 7839: narrower than the viewport, 414 twips too high
    EXPECT_FALSE(window.HScroll1->isEnabled());
    EXPECT_EQ(window.viewport().mHScrollStep, 0);
    EXPECT_TRUE(window.VScroll1->isEnabled());
    EXPECT_EQ(window.VScroll1->maximum(), 41);
    window.VScroll1->setValue(window.VScroll1->maximum());
    const float bottom = window.Picture1->top() + float(window.Picture1->outerHeight());
    EXPECT_GE(bottom, float(Form2::viewportInnerHeight())); // no blank below the sheet
    EXPECT_LT(bottom, float(Form2::viewportInnerHeight() + 100));

    zoomIn(); // back at 100 %: the whole height can be reached again
    EXPECT_EQ(window.VScroll1->value(), 0);
    EXPECT_EQ(window.VScroll1->maximum(), 303);
    EXPECT_EQ(window.HScroll1->maximum(), 196); // 1963 twips over
    window.HScroll1->setValue(196);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -1960);
}

TEST_F(PreviewTest, APicture8000TwipsWideNeedsNoHorizontalBar)
{
    ASSERT_NO_FATAL_FAILURE(open(534, 100)); // 8010 twips, unscaled 8008
    EXPECT_FALSE(window.HScroll1->isEnabled());
    EXPECT_EQ(window.viewport().mHScrollStep, 0);
}

TEST_F(PreviewTest, ADifferenceUpToOneHundredTwipsScrollsOneTwipAPosition)
{
    ASSERT_NO_FATAL_FAILURE(open(628, 501)); // 9418 x 7513: 88 twips over each way
    EXPECT_TRUE(window.HScroll1->isEnabled());
    EXPECT_EQ(window.HScroll1->maximum(), 88);
    EXPECT_EQ(window.viewport().mHScrollStep, 1);
    EXPECT_TRUE(window.VScroll1->isEnabled());
    EXPECT_EQ(window.VScroll1->maximum(), 88);
    EXPECT_EQ(window.viewport().mVScrollStep, 1);
    window.HScroll1->setValue(40);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -40);
    window.VScroll1->setValue(88);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -88);
}

TEST_F(PreviewTest, ALargerDifferenceScrollsTenTwipsAPosition)
{
    ASSERT_NO_FATAL_FAILURE(open(630, 502));   // 118 and 103 twips over
    EXPECT_EQ(window.HScroll1->maximum(), 12); // 11.8
    EXPECT_EQ(window.viewport().mHScrollStep, 10);
    EXPECT_EQ(window.VScroll1->maximum(), 10); // 10.3
    EXPECT_EQ(window.viewport().mVScrollStep, 10);
    window.HScroll1->setValue(12);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -120);
}

// ------------------------------------------------------------------ drag

TEST_F(PreviewTest, DraggingStopsAtTheEdgesOnBothAxes)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600)); // 11998 x 8998 in 9270 x 7365 inside
    drag(window.Picture1, QPoint(100, 100), QPoint(130, 120), Qt::LeftButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), 0);
    EXPECT_FLOAT_EQ(window.Picture1->top(), 0);
    sendMouse(window.Picture1, QEvent::MouseButtonRelease, QPoint(130, 120), Qt::LeftButton, Qt::NoButton);

    drag(window.Picture1, QPoint(400, 300), QPoint(100, 0), Qt::LeftButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), 9270 - 11998);
    EXPECT_FLOAT_EQ(window.Picture1->top(), 7365 - 8998);
    EXPECT_EQ(window.HScroll1->value(), 0); // the bars wait for the release
}

TEST_F(PreviewTest, DraggingInsideTheRangeFollowsThePointer)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600));
    drag(window.Picture1, QPoint(400, 300), QPoint(350, 280), Qt::LeftButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -750);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -300);
}

TEST_F(PreviewTest, ANarrowPictureIsDraggedToOneEdgeOrTheOther)
{
    ASSERT_NO_FATAL_FAILURE(open(200, 100)); // 2998 x 1498
    drag(window.Picture1, QPoint(50, 50), QPoint(49, 50), Qt::LeftButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), 9270 - 2998);
    EXPECT_FLOAT_EQ(window.Picture1->top(), 7365 - 1498);
    sendMouse(window.Picture1, QEvent::MouseButtonRelease, QPoint(49, 50), Qt::LeftButton, Qt::NoButton);

    drag(window.Picture1, QPoint(50, 50), QPoint(51, 51), Qt::LeftButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), 0);
    EXPECT_FLOAT_EQ(window.Picture1->top(), 0);
}

TEST_F(PreviewTest, AnyMouseButtonPans)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600));
    drag(window.Picture1, QPoint(400, 300), QPoint(390, 300), Qt::RightButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -150);
    sendMouse(window.Picture1, QEvent::MouseButtonRelease, QPoint(390, 300), Qt::RightButton, Qt::NoButton);
    drag(window.Picture1, QPoint(300, 300), QPoint(300, 290), Qt::MiddleButton, false);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -150);
}

TEST_F(PreviewTest, AMoveWithoutAButtonDoesNotPan)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600));
    sendMouse(window.Picture1, QEvent::MouseButtonPress, QPoint(400, 300), Qt::LeftButton, Qt::LeftButton);
    sendMouse(window.Picture1, QEvent::MouseButtonRelease, QPoint(400, 300), Qt::LeftButton, Qt::NoButton);
    sendMouse(window.Picture1, QEvent::MouseMove, QPoint(300, 200), Qt::NoButton, Qt::NoButton);
    EXPECT_FLOAT_EQ(window.Picture1->left(), 0);
    EXPECT_FLOAT_EQ(window.Picture1->top(), 0);
}

TEST_F(PreviewTest, ReleaseSetsTheBarsByPercent)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600)); // bars 267 (step 10) and 157 (step 10)
    ASSERT_EQ(window.HScroll1->maximum(), 267);
    ASSERT_EQ(window.VScroll1->maximum(), 157);
    drag(window.Picture1, QPoint(400, 300), QPoint(334, 280)); // left -990, top -300
    // 990 / 2668 = 37.1 %: position 99; 300 / 1573 = 19.07 %: position 30
    EXPECT_EQ(window.HScroll1->value(), 99);
    EXPECT_EQ(window.VScroll1->value(), 30);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -990);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -300);
}

TEST_F(PreviewTest, AReleaseAboveOneHundredPercentLeavesTheBarsAlone)
{
    ASSERT_NO_FATAL_FAILURE(open(800, 600));
    window.HScroll1->setValue(5);
    window.VScroll1->setValue(4);
    drag(window.Picture1, QPoint(400, 300), QPoint(0, 0)); // fully to the far corner
    // 2728 / 2668 = 102 % and 1633 / 1573 = 104 %: beyond both maxima
    EXPECT_EQ(window.HScroll1->value(), 5);
    EXPECT_EQ(window.VScroll1->value(), 4);
    EXPECT_FLOAT_EQ(window.Picture1->left(), -2728);
    EXPECT_FLOAT_EQ(window.Picture1->top(), -1633);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST_F(PreviewTest, AReleaseWithABoxAsWideAsTheViewportIsReportedAndGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(open(166, 100)); // unscaled 2488: 9330 at 3.75
    zoomIn(11);
    ASSERT_EQ(window.Picture1->outerWidth(), Form2::kViewportOuterWidth);
    window.VScroll1->setValue(3);
    sendMouse(window.Picture1, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    sendMouse(window.Picture1, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(recordedDialogs().messages[0].text,
              QStringLiteral("Division by zero") + reportTail(QStringLiteral("Picture1_MouseUp"), 100));
    EXPECT_EQ(window.VScroll1->value(), 0); // steps 102 and 106 still ran
}

// ---------------------------------------------------------------- saving

class SavingTest : public PreviewTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(open(100, 80)); }

    void saveAs(const QString& path)
    {
        recordedDialogs().fileNames.push_back(path);
        window.PushButton6->click();
    }

    QString target(const QString& name) const { return QDir(tempFolder()).filePath(name); }
};

TEST_F(SavingTest, ANewNameIsCopiedWithoutAQuestion)
{
    const QString path = target(QStringLiteral("balance.xls"));
    saveAs(path);
    ASSERT_EQ(recordedDialogs().fileDialogs.size(), 1);
    EXPECT_EQ(recordedDialogs().fileDialogs[0].first, QStringLiteral("Save File"));
    EXPECT_EQ(recordedDialogs().fileDialogs[0].second,
              QStringLiteral("Excel Files (*.xls);;PDF Files (*.pdf);;Excel Workbook Files (*.xlsx)"));
    EXPECT_EQ(recordedDialogs().filtersShownFirst, QStringList{QStringLiteral("Excel Files (*.xls)")});
    EXPECT_TRUE(recordedDialogs().questions.isEmpty());
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("generated workbook bytes"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(recordedDialogs().messages[0].title, QString()); // the application title
    EXPECT_EQ(recordedDialogs().messages[0].icon, services::MessageIcon::None);
    EXPECT_TRUE(QFileInfo::exists(workbook)); // the generated one stays
}

// "< Back" deletes the generated workbook, so a save onto it (by its own
// name or through a link to it) would leave the user nothing.
TEST_F(SavingTest, TheGeneratedWorkbookItselfIsRefused)
{
    const QString link = target(QStringLiteral("link-to-it.xls"));
    ASSERT_TRUE(QFile::link(workbook, link));
    for (const QString& path : {workbook, link}) {
        recordedDialogs() = {};
        recordedDialogs().answers.push_back(Answer::Yes);
        saveAs(path);
        ASSERT_EQ(shownTexts().size(), 1) << path.toStdString();
        EXPECT_TRUE(shownTexts()[0].startsWith(path + QStringLiteral(" is the generated workbook itself")))
            << shownTexts()[0].toStdString();
        EXPECT_TRUE(shownTexts()[0].contains(QStringLiteral("Form2.PushButton6_Click at line 124")));
        EXPECT_EQ(testing_support::readFileBytes(workbook), QByteArray("generated workbook bytes"));
        EXPECT_TRUE(QFileInfo(link).isSymLink());
    }
}

TEST_F(SavingTest, AnExistingFileAnsweredYesIsReplaced)
{
    const QString path = target(QStringLiteral("old.xls"));
    testing_support::writeFileBytes(path, QByteArray("the user's old file, longer than the new one"));
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    ASSERT_EQ(recordedDialogs().questions.size(), 1);
    EXPECT_EQ(recordedDialogs().questions[0].text,
              QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?"));
    EXPECT_EQ(recordedDialogs().questions[0].title, QString());
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("generated workbook bytes"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files).size(), 2); // no temporary file left
}

TEST_F(SavingTest, AnExistingFileAnsweredNoIsLeftAlone)
{
    const QString path = target(QStringLiteral("old.xls"));
    testing_support::writeFileBytes(path, QByteArray("old"));
    recordedDialogs().answers.push_back(Answer::No);
    saveAs(path);
    EXPECT_EQ(recordedDialogs().questions.size(), 1);
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("old"));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(SavingTest, CancellingWritesNothingAndStillSaysDone)
{
    window.PushButton6->click(); // no name queued: the dialog is cancelled
    EXPECT_EQ(recordedDialogs().fileDialogs.size(), 1);
    EXPECT_TRUE(recordedDialogs().questions.isEmpty());
    EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files), QStringList{QStringLiteral("vetrik12345678.xls")});
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(SavingTest, ANameWithoutExtensionIsUsedAsTyped)
{
    const QString path = target(QStringLiteral("report"));
    saveAs(path);
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_FALSE(QFileInfo::exists(path + QStringLiteral(".xls")));
    EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(SavingTest, SavingTwiceToOneNameAsksTheSecondTime)
{
    const QString path = target(QStringLiteral("twice.xls"));
    saveAs(path);
    EXPECT_TRUE(recordedDialogs().questions.isEmpty());
    saveAs(path);
    EXPECT_EQ(recordedDialogs().questions.size(), 1);
    EXPECT_EQ(shownTexts(), (QStringList{QStringLiteral("Done."), QStringLiteral("Done.")}));
}

TEST_F(SavingTest, AMissingFolderIsReportedWithoutDone)
{
    const QString path = target(QStringLiteral("no such folder/balance.xls"));
    saveAs(path);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(recordedDialogs().messages[0].text.endsWith(reportTail(QStringLiteral("PushButton6_Click"), 124)))
        << recordedDialogs().messages[0].text.toStdString();
    EXPECT_TRUE(recordedDialogs().messages[0].text.contains(QStringLiteral("balance.xls")));
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(SavingTest, ANameThatIsAFolderIsReportedAndTheFolderStays)
{
    const QString path = target(QStringLiteral("a folder"));
    ASSERT_TRUE(QDir().mkpath(path));
    testing_support::writeFileBytes(path + QStringLiteral("/inside.txt"), QByteArray("kept"));
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    EXPECT_EQ(recordedDialogs().questions.size(), 1);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages[0].text.endsWith(reportTail(QStringLiteral("PushButton6_Click"), 124)));
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(testing_support::readFileBytes(path + QStringLiteral("/inside.txt")), QByteArray("kept"));
}

TEST_F(SavingTest, AVanishedWorkbookLeavesTheOldFileAndSaysNoDone)
{
    const QString path = target(QStringLiteral("old.xls"));
    testing_support::writeFileBytes(path, QByteArray("old"));
    ASSERT_TRUE(QFile::remove(workbook));
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString report = recordedDialogs().messages[0].text;
    EXPECT_TRUE(report.startsWith(QStringLiteral("Could not read the workbook "))) << report.toStdString();
    EXPECT_TRUE(report.endsWith(reportTail(QStringLiteral("PushButton6_Click"), 124)));
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("old"));
    EXPECT_EQ(QDir(tempFolder()).entryList(QDir::Files), QStringList{QStringLiteral("old.xls")});
}

TEST_F(SavingTest, AnEmptyWorkbookNeverReplacesTheUsersFile)
{
    const QString path = target(QStringLiteral("old.xls"));
    testing_support::writeFileBytes(path, QByteArray("old"));
    testing_support::writeFileBytes(workbook, QByteArray());
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString report = recordedDialogs().messages[0].text;
    EXPECT_TRUE(report.startsWith(QStringLiteral("The workbook ") + QDir::toNativeSeparators(workbook)
                                  + QStringLiteral(" is empty: it was not generated, so there is nothing to save.")))
        << report.toStdString();
    EXPECT_TRUE(report.endsWith(reportTail(QStringLiteral("PushButton6_Click"), 124)));
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("old"));
}

TEST_F(SavingTest, AReadOnlyFolderLeavesTheOldFileAndSaysNoDone)
{
    const QString folder = target(QStringLiteral("locked"));
    const QString path = folder + QStringLiteral("/old.xls");
    testing_support::writeFileBytes(path, QByteArray("old"));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable())
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages[0].text.endsWith(reportTail(QStringLiteral("PushButton6_Click"), 124)));
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("old"));
}

// ------------------------------------------------------ back and closing

TEST_F(PreviewTest, BackDeletesTheWorkbookAsksForTheEntryWindowAndHides)
{
    QWidget entry;
    Form2 preview;
    QObject::connect(&preview, &Form2::backRequested, &entry, &QWidget::show);
    QSignalSpy back(&preview, &Form2::backRequested);
    const QString first = QDir(tempFolder()).filePath(QStringLiteral("vetrik00000001.xls"));
    testing_support::writeFileBytes(first, QByteArray("first"));
    preview.setPicture(pictureOf(100, 80));
    preview.mExcelFile = first;
    preview.showPreview();
    QApplication::setActiveWindow(&preview);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    preview.PushButton1->click();

    preview.PushButton8->click();
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_TRUE(entry.isVisible());
    EXPECT_FALSE(preview.isVisible());
    EXPECT_EQ(back.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());

    // The next run reuses the same window, prepared afresh for its picture.
    const QString second = QDir(tempFolder()).filePath(QStringLiteral("vetrik00000002.xls"));
    testing_support::writeFileBytes(second, QByteArray("second"));
    preview.setPicture(pictureOf(200, 150, Qt::darkRed));
    preview.mExcelFile = second;
    entry.hide();
    preview.showPreview();
    QApplication::setActiveWindow(&preview);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&preview));
    const preview::Viewport& view = preview.viewport();
    EXPECT_FALSE(view.mFirstActivate);
    EXPECT_FLOAT_EQ(view.mZoom, 1.0f);
    EXPECT_EQ(view.mOrigWidth, 2998);
    EXPECT_EQ(view.mOrigHeight, 2248);
    EXPECT_EQ(preview.Zoom_Ori->picture().size(), QSize(200, 150));
    EXPECT_EQ(preview.Picture1->outerWidth(), 2998);
    EXPECT_EQ(preview.Picture1->left(), 0);

    // Zooming repaints from the new picture, not the first one.
    preview.PushButton1->click();
    EXPECT_FLOAT_EQ(view.mZoom, 1.25f);
    EXPECT_EQ(view.mZoomWidth, 3747);
    const QImage shown = preview.Picture1->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::darkRed));
    recordedDialogs().fileNames.push_back(QDir(tempFolder()).filePath(QStringLiteral("saved.xls")));
    preview.PushButton6->click();
    EXPECT_EQ(testing_support::readFileBytes(QDir(tempFolder()).filePath(QStringLiteral("saved.xls"))),
              QByteArray("second"));
}

TEST_F(PreviewTest, ClosingDeletesTheWorkbook)
{
    ASSERT_NO_FATAL_FAILURE(open(100, 80));
    ASSERT_TRUE(QFileInfo::exists(workbook));
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(QFileInfo::exists(workbook));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

} // namespace

// ---------------------------------------------------------------- other formats

class ExportTest : public SavingTest {
protected:
    void SetUp() override
    {
        SavingTest::SetUp();
        window.setExports({[](const QByteArray& book) { return "PDF of " + book; },
                           [](const QByteArray& book) { return "XLSX of " + book; },
                           [this](const QByteArray& book, QPagedPaintDevice& device) {
                               printed = book;
                               QPainter(&device).drawText(100, 100, QStringLiteral("printed"));
                           }});
    }

    QByteArray printed;
};

TEST_F(ExportTest, TheNameOrElseTheSelectedTypeSaysTheFormat)
{
    const QString xls = QStringLiteral("Excel Files (*.xls)"), pdf = QStringLiteral("PDF Files (*.pdf)"),
                  xlsx = QStringLiteral("Excel Workbook Files (*.xlsx)");
    const struct {
        const char* name;
        QString filter;
        QByteArray written;
    } cases[] = {
        {"a.pdf", xls, "PDF of generated workbook bytes"},
        {"b.PDF", xlsx, "PDF of generated workbook bytes"},
        {"c.xlsx", pdf, "XLSX of generated workbook bytes"},
        {"d", pdf, "PDF of generated workbook bytes"}, // used as typed, no extension added
        {"e.xls", xlsx, "XLSX of generated workbook bytes"},
        {"f", xls, "generated workbook bytes"},
        {"g.pdf.bak", xls, "generated workbook bytes"},
    };
    for (const auto& tried : cases) {
        SCOPED_TRACE(tried.name);
        recordedDialogs() = {};
        recordedDialogs().chosenFilters.push_back(tried.filter);
        saveAs(target(QLatin1String(tried.name)));
        EXPECT_EQ(testing_support::readFileBytes(target(QLatin1String(tried.name))), tried.written);
        EXPECT_EQ(shownTexts(), QStringList{QStringLiteral("Done.")});
    }
}

TEST_F(ExportTest, AFailedConversionIsReportedAtStep124AndReplacesNothing)
{
    window.setExports(
        {[](const QByteArray&) -> QByteArray { throw services::Failure(QStringLiteral("No room")); }, {}, {}});
    const QString path = target(QStringLiteral("kept.pdf"));
    testing_support::writeFileBytes(path, "the user's own file");
    recordedDialogs().answers.push_back(Answer::Yes);
    saveAs(path);
    EXPECT_EQ(shownTexts(),
              QStringList{QStringLiteral("No room") + reportTail(QStringLiteral("PushButton6_Click"), 124)});
    EXPECT_EQ(testing_support::readFileBytes(path), QByteArray("the user's own file"));
}

TEST_F(ExportTest, CtrlPPrintsTheWorkbookThroughThePrintDialog)
{
    recordedDialogs().printedTo = target(QStringLiteral("printed.pdf"));
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(recordedDialogs().printDialogs, 1);
    EXPECT_EQ(printed, QByteArray("generated workbook bytes"));
    EXPECT_TRUE(testing_support::readFileBytes(recordedDialogs().printedTo).startsWith("%PDF"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());

    // Cancelled: nothing is printed.
    recordedDialogs().printedTo.clear();
    printed.clear();
    QTest::keyClick(&window, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(recordedDialogs().printDialogs, 2);
    EXPECT_TRUE(printed.isEmpty());
}
