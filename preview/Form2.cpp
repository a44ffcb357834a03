#include "preview/Form2.h"

#include "preview/ImageBox.h"
#include "resources/ProgramIcon.h"
#include "services/Dialogs.h"
#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "services/MousePointer.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "services/SharedRoutines.h"
#include "services/Twips.h"
#include "services/WholeFile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>

namespace preview {
namespace {

using services::ErrorTrap;
using services::Failure;

using services::makeButton;
using services::place;
using services::px;

QString location(const char* procedure)
{
    return services::locationText(QStringLiteral("Form2"), QLatin1String(procedure));
}

const QString kXlsFilter = QStringLiteral("Excel Files (*.xls)");
const QString kPdfFilter = QStringLiteral("PDF Files (*.pdf)");
const QString kXlsxFilter = QStringLiteral("Excel Workbook Files (*.xlsx)");

// The message box's Yes, as the save command keeps its answer.
constexpr qint16 kYes = 6;
constexpr qint16 kNo = 7;

QScrollBar* makeScrollBar(Qt::Orientation orientation, QWidget* parent, const char* name)
{
    auto* bar = new QScrollBar(orientation, parent);
    bar->setObjectName(QLatin1String(name));
    bar->setRange(0, 32767);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    // The picture follows the bar when the thumb is let go, not while dragged.
    bar->setTracking(false);
    bar->setFocusPolicy(Qt::StrongFocus);
    return bar;
}

// Mouse position inside the image box, in twips.
QPointF twipsOf(const QMouseEvent* event)
{
    return event->position() * kTwipsPerPixel;
}

} // namespace

QByteArray readGeneratedWorkbook(const QString& source)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Could not read the workbook %1: %2")
                          .arg(QDir::toNativeSeparators(source), in.errorString()));
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("Could not read the workbook %1: %2")
                          .arg(QDir::toNativeSeparators(source), in.errorString()));
    // An empty file is never a workbook: one that was not generated must not
    // replace the user's file.
    if (bytes.isEmpty())
        throw Failure(QStringLiteral("The workbook %1 is empty: it was not generated, so there is nothing to save.")
                          .arg(QDir::toNativeSeparators(source)));
    return bytes;
}

void saveBesideWorkbook(const QString& source, const QString& target, const QByteArray& bytes)
{
    const QString shownTarget = QDir::toNativeSeparators(target);
    // Saving onto the generated workbook itself would leave the user a file
    // that "< Back" deletes.
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && QFileInfo(source).canonicalFilePath() == targetInfo.canonicalFilePath())
        throw Failure(QStringLiteral("%1 is the generated workbook itself, which is deleted when you go back. "
                                     "Choose another name or folder.")
                          .arg(shownTarget));
    if (targetInfo.isDir())
        throw Failure(QStringLiteral("Could not save to %1: it is a folder.").arg(shownTarget));
    services::writeFileWhole(target, bytes);
}

void copyWorkbookSafely(const QString& source, const QString& target)
{
    saveBesideWorkbook(source, target, readGeneratedWorkbook(source));
}

QString saveFilters()
{
    return QStringList{kXlsFilter, kPdfFilter, kXlsxFilter}.join(QStringLiteral(";;"));
}

SaveFormat saveFormatFor(const QString& path, const QString& selectedFilter)
{
    if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return SaveFormat::Pdf;
    if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        return SaveFormat::Xlsx;
    if (selectedFilter == kPdfFilter)
        return SaveFormat::Pdf;
    if (selectedFilter == kXlsxFilter)
        return SaveFormat::Xlsx;
    return SaveFormat::Xls;
}

Form2::Form2()
{
    buildControls();
    Form_Load();
}

Form2::~Form2() = default;

void Form2::buildControls()
{
    services::setUpFixedWindow(this, QStringLiteral("Form2"), 9840, 9390);

    Picture2 = new services::PictureBox(this);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture2->setLineWidth(kViewportFrame / kTwipsPerPixel);
    Picture2->setPalette(palette()); // white, as the window
    Picture2->setAutoFillBackground(true);
    place(Picture2, 120, 120, kViewportOuterWidth, kViewportOuterHeight);
    // The image box moves inside the frame and is cut off at its inner edge.
    auto* clip = new QWidget(Picture2);
    clip->setObjectName(QStringLiteral("Picture2Client"));
    clip->setGeometry(Picture2->contentsRect());

    Picture1 = new ImageBox(clip);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->moveTo(0, 0);
    Picture1->setOuterWidth(2340);
    Picture1->setOuterHeight(3435);
    Picture1->installEventFilter(this);

    Zoom_Ori = new ImageBox(this);
    Zoom_Ori->setObjectName(QStringLiteral("Zoom_Ori"));
    Zoom_Ori->moveTo(10320, 480);
    Zoom_Ori->setOuterWidth(735);
    Zoom_Ori->setOuterHeight(375);

    HScroll1 = makeScrollBar(Qt::Horizontal, this, "HScroll1");
    place(HScroll1, 120, 7545, 9330, 255);
    VScroll1 = makeScrollBar(Qt::Vertical, this, "VScroll1");
    place(VScroll1, 9450, 120, 255, 7425);

    Frame1 = new QGroupBox(QStringLiteral("Zoom:"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 120, 7860, 9600, 855);

    PushButton1 = makeButton(Frame1, "PushButton1", QStringLiteral("Zoom In"), 240, 300, 4440, 405);
    PushButton2 = makeButton(Frame1, "PushButton2", QStringLiteral("Zoom Out"), 4800, 300, 4560, 405);
    PushButton8 = makeButton(this, "PushButton8", QStringLiteral("< Back"), 120, 8850, 4680, 405);
    PushButton6 = makeButton(this, "PushButton6", QStringLiteral("Save Results To Excel File"), 4920, 8850, 4800, 405);

    const QList<QWidget*> tabOrder{HScroll1, VScroll1,    Picture2,    Picture1,    Frame1,
                                   Zoom_Ori, PushButton1, PushButton2, PushButton6, PushButton8};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    pointer_ = new services::WindowPointer(this);
    for (QPushButton* button : {PushButton1, PushButton2, PushButton6, PushButton8})
        pointer_->watch(button, services::WindowPointer::Rule::Hand);
    pointer_->watch(Frame1, services::WindowPointer::Rule::Plain);
    for (QWidget* control : QList<QWidget*>{Picture2, HScroll1, VScroll1})
        pointer_->watch(control, services::WindowPointer::Rule::None);

    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);
    auto* print = new QShortcut(QKeySequence::Print, this);
    connect(print, &QShortcut::activated, this, &Form2::printWorkbook);
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { services::runHandler([&] { HScroll1_Change(); }); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { services::runHandler([&] { VScroll1_Change(); }); });
}

void Form2::Form_Load()
{
    ErrorTrap trap(location("Form_Load"));
    trap.step(100, [&] { view_.mFirstActivate = true; });
    trap.step(102, [&] { services::ApplyBackColor(this); });
    trap.step(104, [&] {
        setWindowTitle(QStringLiteral("Corvantis"));
        setWindowIcon(resources::programIcon());
    });
    const QString handPath = services::besideProgram(QStringLiteral("HAND-M.CUR"));
    bool handPresent = true; // a failed test runs the step it guards
    trap.step(108, [&] { handPresent = services::FileExists(handPath); });
    if (handPresent)
        trap.step(110, [&] { pointer_->setCustomCursor(services::loadCursorFile(handPath)); });
}

void Form2::setPicture(const QPixmap& picture)
{
    Picture1->setPicture(picture);
    // A reused window must zoom this picture, not the one its hidden copy
    // took on an earlier run: prepare the viewport again.
    view_.mFirstActivate = true;
    if (isVisible() && isActiveWindow())
        Form_Activate();
}

void Form2::showPreview()
{
    show();
    raise();
    activateWindow();
}

bool Form2::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void Form2::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    services::centreOnScreen(this);
}

void Form2::Form_Activate()
{
    ErrorTrap trap(location("Form_Activate"));
    bool firstActivate = true;
    trap.step(100, [&] { firstActivate = view_.mFirstActivate; });
    if (firstActivate) {
        // Steps 104 and 108 (keep the drawing, draw inverted) need nothing
        // here: the box always repaints itself and nothing is drawn over it.
        trap.step(106, [&] { Picture1->setAutoSize(true); });
        trap.step(110, [&] {
            QPalette white = Picture1->palette();
            white.setColor(QPalette::Window, Qt::white);
            Picture1->setPalette(white);
        });
        trap.step(116, [&] { Zoom_Ori->hide(); });
        trap.step(118, [&] { Zoom_Ori->setOuterWidth(Picture1->outerWidth()); });
        trap.step(120, [&] { Zoom_Ori->setOuterHeight(Picture1->outerHeight()); });
        trap.step(122, [&] { Zoom_Ori->setPicture(Picture1->picture()); });
        trap.step(124, [&] { view_.mZoom = 1.0f; });
        trap.step(126, [&] { view_.mOrigWidth = Viewport::unscaledFromInner(Zoom_Ori->innerWidth()); });
        trap.step(128, [&] { view_.mOrigHeight = Viewport::unscaledFromInner(Zoom_Ori->innerHeight()); });
        trap.step(130, [&] { view_.setZoomWidthFromZoom(); });
        trap.step(132, [&] { view_.setZoomHeightFromZoom(); });
        trap.step(134, [&] { RedrawImage(); });
        trap.step(136, [&] { SetupScrollbars(); });
    }
    trap.step(138, [&] { view_.mFirstActivate = false; });
}

void Form2::RedrawImage()
{
    ErrorTrap trap(location("RedrawImage"));
    trap.step(100, [&] { view_.setZoomWidthFromZoom(); });
    trap.step(102, [&] { view_.setZoomHeightFromZoom(); });
    bool fits = true; // a failed test runs the step it guards
    trap.step(104, [&] { fits = view_.zoomedSizeFits(); });
    if (!fits) {
        // Too large: back to 1.0 without repainting, so the next press
        // starts again from there.
        trap.step(124, [&] { view_.mZoom = 1.0f; });
        trap.step(126, [&] { view_.mOrigWidth = Viewport::unscaledFromInner(Zoom_Ori->innerWidth()); });
        trap.step(128, [&] { view_.mOrigHeight = Viewport::unscaledFromInner(Zoom_Ori->innerHeight()); });
        trap.step(130, [&] { view_.mZoomWidth = roundDown(double(view_.mOrigWidth) * 1.0); });
        trap.step(132, [&] { view_.mZoomHeight = roundDown(double(view_.mOrigHeight) * 1.0); });
        return;
    }
    trap.step(106, [&] { Picture1->removePicture(); });
    trap.step(108, [&] { Picture1->setOuterWidth(view_.mZoomWidth); });
    trap.step(110, [&] { Picture1->setOuterHeight(view_.mZoomHeight); });
    trap.step(112, [&] {
        Picture1->paintStretched(*Zoom_Ori, QRectF(0, 0, view_.mZoomWidth, view_.mZoomHeight),
                                 QRectF(0, 0, view_.mOrigWidth, view_.mOrigHeight));
    });
    trap.step(114, [&] { pointer_->set(services::WindowPointer::Default); });
    trap.step(116, [&] { HScroll1->setValue(0); });
    trap.step(118, [&] { VScroll1->setValue(0); });
    // The ranges follow the zoomed picture, so a bar moved to its end shows
    // the picture's edge, not blank space past it (or stops short of it).
    trap.step(120, [&] {
        HScroll1->setEnabled(viewportInnerWidth() < view_.mZoomWidth);
        fitScrollRange(HScroll1, view_.mHScrollStep, scrollSetupFor(Picture1->outerWidth(), kViewportOuterWidth));
    });
    trap.step(122, [&] {
        VScroll1->setEnabled(viewportInnerHeight() < view_.mZoomHeight);
        fitScrollRange(VScroll1, view_.mVScrollStep, scrollSetupFor(Picture1->outerHeight(), kViewportOuterHeight));
    });
}

void Form2::fitScrollRange(QScrollBar* bar, qint16& step, const ScrollSetup& setup)
{
    bar->setMaximum(setup.enabled ? setup.maximum : 0);
    step = setup.step;
}

void Form2::PushButton1_Click()
{
    ErrorTrap trap(location("PushButton1_Click"));
    trap.step(100, [&] {
        qint32 direction = 0;
        ZoomStep(direction);
    });
}

void Form2::PushButton2_Click()
{
    ErrorTrap trap(location("PushButton2_Click"));
    trap.step(100, [&] {
        qint32 direction = 1;
        ZoomStep(direction);
    });
}

void Form2::ZoomStep(qint32& direction)
{
    float candidate = zoomCandidate(view_.mZoom, direction);
    SetZoom(candidate);
}

void Form2::SetZoom(float& candidate)
{
    if (!zoomAllowed(candidate))
        return;
    view_.mZoom = candidate;
    RedrawImage();
}

void Form2::SetupScrollbars()
{
    Picture1->setTop(0);
    Picture1->setLeft(0);

    const ScrollSetup horizontal = scrollSetupFor(Picture1->outerWidth(), kViewportOuterWidth);
    HScroll1->setEnabled(horizontal.enabled);
    fitScrollRange(HScroll1, view_.mHScrollStep, horizontal);
    if (horizontal.enabled)
        HScroll1->setValue(0);

    const ScrollSetup vertical = scrollSetupFor(Picture1->outerHeight(), kViewportOuterHeight);
    VScroll1->setEnabled(vertical.enabled);
    fitScrollRange(VScroll1, view_.mVScrollStep, vertical);
    if (vertical.enabled)
        VScroll1->setValue(0);
}

void Form2::HScroll1_Change()
{
    Picture1->setLeft(float(imageOffset(view_.mHScrollStep, HScroll1->value())));
}

void Form2::VScroll1_Change()
{
    Picture1->setTop(float(imageOffset(view_.mVScrollStep, VScroll1->value())));
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Picture1) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPointF at = twipsOf(mouse);
            picture1_MouseDown(mouse->button(), float(at.x()), float(at.y()));
            return true;
        }
        case QEvent::MouseMove: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPointF at = twipsOf(mouse);
            picture1_MouseMove(mouse->buttons(), float(at.x()), float(at.y()));
            break; // the pointer watcher sees moves too
        }
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPointF at = twipsOf(mouse);
            Picture1_MouseUp(mouse->button(), float(at.x()), float(at.y()));
            return true;
        }
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::picture1_MouseDown(Qt::MouseButtons, float x, float y)
{
    ErrorTrap trap(location("picture1_MouseDown"));
    trap.step(100, [&] { view_.mDownX = x; });
    trap.step(102, [&] { view_.mDownY = y; });
}

void Form2::picture1_MouseMove(Qt::MouseButtons button, float x, float y)
{
    ErrorTrap trap(location("picture1_MouseMove"));
    bool pressed = true;
    trap.step(100, [&] { pressed = button != Qt::NoButton; });
    if (!pressed)
        return;
    float newLeft = 0;
    float newTop = 0;
    trap.step(104, [&] { newLeft = Picture1->left() - view_.mDownX + x; });
    trap.step(106, [&] { newLeft = clampDrag(newLeft, viewportInnerWidth(), Picture1->outerWidth()); });
    trap.step(114, [&] { newTop = Picture1->top() - view_.mDownY + y; });
    trap.step(116, [&] { newTop = clampDrag(newTop, viewportInnerHeight(), Picture1->outerHeight()); });
    trap.step(124, [&] { Picture1->moveTo(newLeft, newTop); });
}

void Form2::Picture1_MouseUp(Qt::MouseButtons, float, float)
{
    ErrorTrap trap(location("Picture1_MouseUp"));
    int horizontalPercent = 0;
    int verticalPercent = 0;
    trap.step(100, [&] {
        horizontalPercent = releasePercent(Picture1->left(), Picture1->outerWidth(), kViewportOuterWidth);
    });
    trap.step(
        102, [&] { verticalPercent = releasePercent(Picture1->top(), Picture1->outerHeight(), kViewportOuterHeight); });
    trap.step(104, [&] {
        qint16 percent = toSixteenBits(horizontalPercent);
        SetHScrollbarByPercent(HScroll1, percent);
    });
    trap.step(106, [&] {
        qint16 percent = toSixteenBits(verticalPercent);
        SetVScrollbarByPercent(VScroll1, percent);
    });
}

void Form2::SetHScrollbarByPercent(QScrollBar* bar, qint16& percent)
{
    if (const std::optional<int> position = positionForPercent(percent, bar->maximum()))
        bar->setValue(*position);
}

void Form2::SetVScrollbarByPercent(QScrollBar* bar, qint16& percent)
{
    if (const std::optional<int> position = positionForPercent(percent, bar->maximum()))
        bar->setValue(*position);
}

void Form2::PushButton6_Click()
{
    ErrorTrap trap(location("PushButton6_Click"));
    qint16 answer = 0;
    QString chosen;
    QString path;
    QString selectedFilter = kXlsFilter;
    trap.step(106, [&] {
        chosen = services::dialogs().saveFileName(this, QStringLiteral("Save File"), saveFilters(), &selectedFilter);
    });
    trap.step(108, [&] { path = chosen; });
    bool cancelled = false;
    trap.step(110, [&] { cancelled = path.isEmpty(); });
    if (!cancelled) {
        bool exists = true;
        trap.step(112, [&] { exists = services::FileExists(path); });
        if (exists) {
            trap.step(114, [&] {
                const services::Answer pressed = services::dialogs().askYesNo(
                    this, QString(),
                    QStringLiteral("Are you sure you wish to overwrite ") + path + QStringLiteral(" ?"));
                answer = pressed == services::Answer::Yes ? kYes : kNo;
            });
            // The old file is not deleted before the copy: the copy replaces
            // it only once complete, so a failure cannot lose it.
        } else {
            trap.step(120, [&] { answer = kYes; });
        }
    }
    bool copyWanted = true;
    trap.step(122, [&] { copyWanted = answer == kYes; });
    bool copied = true;
    if (copyWanted)
        copied = trap.step(124, [&] { saveAs(path, saveFormatFor(path, selectedFilter)); });
    // Telling the user "Done." after the copy failed would not be true.
    if (copied)
        trap.step(126, [&] {
            services::dialogs().message(this, QString(), QStringLiteral("Done."), services::MessageIcon::None);
        });
}

void Form2::saveAs(const QString& target, SaveFormat format) const
{
    if (format == SaveFormat::Xls)
        return copyWorkbookSafely(mExcelFile, target);
    const auto& convert = format == SaveFormat::Pdf ? exports_.pdf : exports_.xlsx;
    if (!convert)
        throw Failure(QStringLiteral("This window cannot write %1 files.")
                          .arg(format == SaveFormat::Pdf ? QStringLiteral("PDF") : QStringLiteral(".xlsx")));
    saveBesideWorkbook(mExcelFile, target, convert(readGeneratedWorkbook(mExcelFile)));
}

void Form2::printWorkbook()
{
    ErrorTrap trap(location("printWorkbook"));
    QByteArray workbook;
    if (!trap.step(100, [&] {
            if (!exports_.print)
                throw Failure(QStringLiteral("This window cannot print."));
            workbook = readGeneratedWorkbook(mExcelFile);
        }))
        return;
    QPrinter printer(QPrinter::HighResolution);
    bool chosen = false;
    trap.step(102, [&] { chosen = services::dialogs().choosePrinter(this, printer); });
    if (chosen)
        trap.step(104, [&] { exports_.print(workbook, printer); });
}

void Form2::PushButton8_Click()
{
    ErrorTrap trap(location("PushButton8_Click"));
    trap.step(102, [&] { services::DeleteFileQuietly(mExcelFile); });
    trap.step(104, [&] { emit backRequested(); });
    trap.step(106, [&] { hide(); });
}

bool Form2::Form_QueryUnload()
{
    ErrorTrap trap(location("Form_QueryUnload"));
    trap.step(100, [&] { services::DeleteFileQuietly(mExcelFile); });
    trap.step(102, [&] { QCoreApplication::processEvents(); });
    trap.step(104, [&] { QCoreApplication::processEvents(); });
    return true; // the close is never refused
}

void Form2::Form_Unload()
{
    // Ends the program at once, although the entry window still exists.
    QCoreApplication::exit(0);
}

void Form2::closeEvent(QCloseEvent* event)
{
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

} // namespace preview
