#pragma once

#include "preview/Viewport.h"

#include <QByteArray>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>

class QGroupBox;
class QMouseEvent;
class QPagedPaintDevice;
class QPushButton;
class QScrollBar;

namespace services {
class PictureBox;
class WindowPointer;
} // namespace services

namespace preview {

class ImageBox;

// The other forms of the generated workbook, made by the owner of the
// engine from the workbook file's bytes. Each throws when it cannot.
struct WorkbookExports {
    std::function<QByteArray(const QByteArray& workbook)> pdf;
    std::function<QByteArray(const QByteArray& workbook)> xlsx;
    // Draws the sheet on the device's one page.
    std::function<void(const QByteArray& workbook, QPagedPaintDevice& device)> print;
};

// What the save command writes: the workbook as it is, or another form.
enum class SaveFormat { Xls, Pdf, Xlsx };
// The file types of the save dialog, the workbook's own first.
QString saveFilters();
// A name ending in ".pdf" or ".xlsx" says the format; any other name takes
// the selected file type's.
SaveFormat saveFormatFor(const QString& path, const QString& selectedFilter);

// The preview window: the sheet's picture with zoom, scroll bars and
// drag-to-pan, and saving of the generated workbook.
//
// The generation run creates it once, then for every run: setPicture(),
// sets mExcelFile, showPreview() and hides the entry window. "< Back" deletes
// the workbook, emits backRequested() and hides this one for reuse;
// closing it deletes the workbook and ends the program.
class Form2 : public QWidget {
    Q_OBJECT
public:
    Form2();
    ~Form2() override;

    // Full path of the generated workbook in the temporary folder.
    QString mExcelFile;

    // Gives the image box the sheet's picture and prepares the viewport for
    // it (hidden copy, 100 %, scroll bars): at once when the window is the
    // active one, else on its next activation.
    void setPicture(const QPixmap& picture);
    // Shows the window (not modal) and makes it the active one.
    void showPreview();

    // Moves the horizontal bar to a whole percent of its range.
    void SetHScrollbarByPercent(QScrollBar* bar, qint16& percent);
    void SetVScrollbarByPercent(QScrollBar* bar, qint16& percent);

    void setExports(WorkbookExports exports) { exports_ = std::move(exports); }
    // Ctrl+P: prints the sheet through the platform's print dialog.
    void printWorkbook();

    const Viewport& viewport() const { return view_; }
    services::WindowPointer& mousePointer() { return *pointer_; }

    services::PictureBox* Picture2 = nullptr; // the viewport's frame
    ImageBox* Picture1 = nullptr;             // the sheet's picture at the current zoom
    ImageBox* Zoom_Ori = nullptr;             // hidden copy of the picture at 100 %
    QScrollBar* HScroll1 = nullptr;           // horizontal scroll bar
    QScrollBar* VScroll1 = nullptr;           // vertical scroll bar
    QGroupBox* Frame1 = nullptr;              // "Zoom:"
    QPushButton* PushButton1 = nullptr;       // "Zoom In"
    QPushButton* PushButton2 = nullptr;       // "Zoom Out"
    QPushButton* PushButton6 = nullptr;       // "Save Results To Excel File"
    QPushButton* PushButton8 = nullptr;       // "< Back"

    // The viewport's outer size and its frame, in twips.
    static constexpr int kViewportOuterWidth = 9330;
    static constexpr int kViewportOuterHeight = 7425;
    static constexpr int kViewportFrame = 30;
    static int viewportInnerWidth() { return kViewportOuterWidth - 2 * kViewportFrame; }
    static int viewportInnerHeight() { return kViewportOuterHeight - 2 * kViewportFrame; }

signals:
    // "< Back" was pressed; the entry window should come back.
    void backRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void Form_Load();
    void Form_Activate();
    void RedrawImage();
    void PushButton1_Click();
    void PushButton2_Click();
    void ZoomStep(qint32& direction);
    void SetZoom(float& candidate);
    void SetupScrollbars();
    // The bar's range and the twips per position for the image box's size.
    static void fitScrollRange(QScrollBar* bar, qint16& step, const ScrollSetup& setup);
    void HScroll1_Change();
    void VScroll1_Change();
    void picture1_MouseDown(Qt::MouseButtons button, float x, float y);
    void picture1_MouseMove(Qt::MouseButtons button, float x, float y);
    void Picture1_MouseUp(Qt::MouseButtons button, float x, float y);
    void PushButton6_Click();
    void PushButton8_Click();
    bool Form_QueryUnload();
    void Form_Unload();

    // Step 124 for the save command.
    void saveAs(const QString& target, SaveFormat format) const;

    Viewport view_;
    WorkbookExports exports_;
    services::WindowPointer* pointer_ = nullptr;
    bool centred_ = false;
};

// Copies the workbook to `target` through a temporary file in the target's
// folder, so a failed copy leaves any old file as it was. Throws Failure.
void copyWorkbookSafely(const QString& source, const QString& target);
// The generated workbook's bytes. Throws Failure when it cannot be read or
// is empty (then it was never generated).
QByteArray readGeneratedWorkbook(const QString& source);
// Writes `bytes` to `target` whole, as copyWorkbookSafely() does, refusing
// a folder and the generated workbook itself. Throws Failure.
void saveBesideWorkbook(const QString& source, const QString& target, const QByteArray& bytes);

} // namespace preview
