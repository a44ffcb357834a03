#include "entry/Form1.h"

#include "entry/AmountRules.h"
#include "entry/AmountText.h"
#include "entry/BalanceCheckView.h"
#include "entry/TabOrder.h"
#include "generation/GenerationRun.h"
#include "generation/WorkbookExport.h"
#include "preview/Form2.h"
#include "resources/ProgramIcon.h"
#include "resources/ProgramVersion.h"
#include "services/ErrorTrap.h"
#include "services/MousePointer.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "services/SettingsStore.h"
#include "services/SharedRoutines.h"
#include "services/Twips.h"
#include "services/UserLocale.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>

namespace entry {
namespace {

using services::ErrorTrap;
using services::Failure;

using services::makeButton;
using services::place;
using services::px;

// The shaded headings share this name; the skin leaves them their shade.
const QString kHeadingName = QStringLiteral("lblYear");

const QColor kColumnHeadingShade(224, 224, 224);
const QColor kSectionHeadingShade(192, 192, 192);

// Column x positions and widths inside the frame.
constexpr int kAssetCaptionLeft = 270, kAssetCaptionWidth = 2910;
constexpr int kAssetAmountLeft = 3165, kAssetAmountWidth = 1560;
constexpr int kLiabilityCaptionLeft = 4725, kLiabilityCaptionWidth = 3075;
constexpr int kLiabilityAmountLeft = 7785, kLiabilityAmountWidth = 1590;
constexpr int kBoxHeight = 330;
constexpr int kRowStep = 315;

int assetRowTop(int row)
{
    return row <= 6 ? 1605 + kRowStep * (row - 1) : 3825 + kRowStep * (row - 7);
}

int liabilityRowTop(int row)
{
    if (row <= 6)
        return 1605 + kRowStep * (row - 1);
    if (row <= 8)
        return 3825 + kRowStep * (row - 7);
    return 4770 + kRowStep * (row - 9);
}

QString fourDigitYearShortFormat(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

// The short form with a two-digit year, as older stored dates have it. The
// C library's rule for two-digit years gives the century (69 to 99 are
// 1969 to 1999, 00 to 68 are 2000 to 2068); the year is widened in the text
// before it is read, so that 29 February 2000 stays a day.
QDate twoDigitYearDate(const QString& text, const QLocale& locale)
{
    static const QRegularExpression field(QStringLiteral("y+|d+|M+|[^ydM]+"));
    QString pattern = QStringLiteral("^");
    for (const QRegularExpressionMatch& part : field.globalMatch(locale.dateFormat(QLocale::ShortFormat))) {
        const QString letters = part.captured();
        if (letters.startsWith(u'y'))
            pattern += QStringLiteral("(?<year>[0-9]{2})");
        else if (letters.startsWith(u'd') || letters.startsWith(u'M'))
            pattern += letters.size() <= 2 ? QStringLiteral("[0-9]{1,2}") : QStringLiteral(".+?");
        else
            pattern += QRegularExpression::escape(letters);
    }
    const QRegularExpressionMatch match = QRegularExpression(pattern + u'$').match(text);
    if (!match.hasMatch() || match.capturedStart(u"year") < 0)
        return {};
    const QString year = match.captured(u"year");
    QString widened = text;
    widened.insert(match.capturedStart(u"year"), year.toInt() >= 69 ? QStringLiteral("19") : QStringLiteral("20"));
    return locale.toDate(widened, fourDigitYearShortFormat(locale));
}

QDate readDateText(const QString& text)
{
    const QLocale locale = services::userLocale();
    QDate date = locale.toDate(text, fourDigitYearShortFormat(locale));
    if (!date.isValid())
        date = twoDigitYearDate(text, locale);
    if (!date.isValid())
        throw Failure(QStringLiteral("\"%1\" is not a date.").arg(text));
    return date;
}

// A stored amount or a part of it, in the standard amount form.
QString asCurrency(const QString& text)
{
    const QLocale locale = services::userLocale();
    const auto value = readAmountText(text, locale);
    if (!value)
        throw Failure(QStringLiteral("Type mismatch: \"%1\" is not a number.").arg(text));
    return formatAmount(*value, locale);
}

// Puts a stored caption into its box. A box cuts a longer text to its most
// characters, and its change handler would store the cut text over the whole
// one: such a text stays out of the box and as it is stored.
void restoreText(QLineEdit* box, const QString& key)
{
    const QString stored = services::settingsStore().read(key, box->text());
    if (stored.size() > box->maxLength())
        throw Failure(QStringLiteral("The stored text of \"%1\" is %2 characters long; the box holds at most "
                                     "%3, so it was left as stored.")
                          .arg(key, QString::number(stored.size()), QString::number(box->maxLength())));
    box->setText(stored);
}

// The balance-sheet date picker. Tab leaves it at once, as it leaves every
// other control, instead of stepping through day, month and year first.
class DatePicker final : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QString keyOf(const char* arrayName, int index)
{
    return QLatin1String(arrayName) + QString::number(index);
}

} // namespace

// The step numbers that report the parts of an amount's restore.
struct Form1::AmountRestoreLines {
    int firstCharacterTest;
    int lastCharacterTest;
    int allDigitsAtEnds;
    int convertedFirst;
    int startPosition;
    int reread;
    int clampStart;
    int fromStartPosition;
};

Form1::Form1(generation::ApplicationFactory createApplication)
{
    buildControls();
    connectChangeHandlers();
    Form_Load(createApplication);
    // Once, with every restored amount in place.
    balanceCheck->refresh();
}

Form1::~Form1() = default;

QDate Form1::designDate()
{
    return QDate(2010, 1, 21);
}

QString Form1::dateText(const QDate& date)
{
    const QLocale locale = services::userLocale();
    return locale.toString(date, fourDigitYearShortFormat(locale));
}

void Form1::buildControls()
{
    services::setUpFixedWindow(this, QStringLiteral("Form1"), 9840, 7800);

    PushButton22 = makeButton(this, "PushButton22", QStringLiteral("Start Creating Template"), 120, 120, 9600, 400);
    PushButton1 = makeButton(this, "PushButton1", QStringLiteral("Clear/Reset Amounts"), 120, 630, 4800, 405);
    PushButton2 = makeButton(this, "PushButton2", QStringLiteral("Load Sample/Example Amounts"), 5040, 630, 4680, 405);

    Frame1 = new QGroupBox(QStringLiteral("Balance Sheet"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    place(Frame1, 120, 1080, 9600, 6600);

    Label5 = new QLabel(QStringLiteral("Date:"), Frame1);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->move(px(240), px(480));
    Label5->adjustSize();

    dtpFrom = new DatePicker(designDate(), Frame1);
    dtpFrom->setObjectName(QStringLiteral("dtpFrom"));
    dtpFrom->setDisplayFormat(QStringLiteral("dd-MMM-yyyy"));
    dtpFrom->setCalendarPopup(true);
    dtpFrom->setLocale(services::userLocale());
    place(dtpFrom, 975, 420, 3720, 330);

    auto makeHeading = [&](int index, const QString& text, int left, int top, int width, int height,
                           const QColor& shade) {
        auto* heading = new QLabel(text, Frame1);
        heading->setObjectName(kHeadingName);
        heading->setProperty("index", index);
        heading->setAlignment(Qt::AlignCenter);
        heading->setFrameShape(QFrame::Box);
        heading->setLineWidth(1);
        QPalette shaded = heading->palette();
        shaded.setColor(QPalette::Window, shade);
        shaded.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
        heading->setPalette(shaded);
        heading->setAutoFillBackground(true);
        place(heading, left, top, width, height);
        lblYear[index] = heading;
    };
    const int assetSpan = kAssetAmountLeft + kAssetAmountWidth - kAssetCaptionLeft;
    const int liabilitySpan = kLiabilityAmountLeft + kLiabilityAmountWidth - kLiabilityCaptionLeft;
    makeHeading(0, QStringLiteral("Assets"), kAssetCaptionLeft, 960, kAssetCaptionWidth, kBoxHeight,
                kColumnHeadingShade);
    makeHeading(1, QStringLiteral("Amount"), kAssetAmountLeft, 960, kAssetAmountWidth, kBoxHeight, kColumnHeadingShade);
    makeHeading(12, QStringLiteral("Liabilities"), kLiabilityCaptionLeft, 960, kLiabilityCaptionWidth, kBoxHeight,
                kColumnHeadingShade);
    makeHeading(13, QStringLiteral("Amount"), kLiabilityAmountLeft, 960, kLiabilityAmountWidth, kBoxHeight,
                kColumnHeadingShade);
    makeHeading(2, QStringLiteral("Current Assets"), kAssetCaptionLeft, 1290, assetSpan, kRowStep,
                kSectionHeadingShade);
    makeHeading(3, QStringLiteral("Fixed Assets"), kAssetCaptionLeft, 3510, assetSpan, kRowStep, kSectionHeadingShade);
    makeHeading(4, QStringLiteral("Current Liabilities"), kLiabilityCaptionLeft, 1290, liabilitySpan, kRowStep,
                kSectionHeadingShade);
    makeHeading(5, QStringLiteral("Long-term Liabilities"), kLiabilityCaptionLeft, 3510, liabilitySpan, kRowStep,
                kSectionHeadingShade);
    makeHeading(6, QStringLiteral("Shareholders' Equity"), kLiabilityCaptionLeft, 4470, liabilitySpan, kRowStep,
                kSectionHeadingShade);

    auto makeBox = [&](const char* arrayName, int index, int left, int top, int width) {
        auto* box = new QLineEdit(Frame1);
        box->setObjectName(keyOf(arrayName, index));
        box->setMaxLength(1 << 20); // captions may be long; nothing typed is cut
        place(box, left, top, width, kBoxHeight);
        return box;
    };
    for (int row = 1; row <= kAssetCount; ++row) {
        const LineItemRow& item = kAssetRows[row - 1];
        QLineEdit* caption =
            makeBox("txtAssets", item.captionIndex, kAssetCaptionLeft, assetRowTop(row), kAssetCaptionWidth);
        caption->setText(QLatin1String(item.defaultCaption));
        txtAssets[item.captionIndex] = caption;
        txtAmountAssets[item.amountIndex] =
            makeBox("txtAmountAssets", item.amountIndex, kAssetAmountLeft, assetRowTop(row), kAssetAmountWidth);
    }
    for (int row = 1; row <= kLiabilityCount; ++row) {
        const LineItemRow& item = kLiabilityRows[row - 1];
        QLineEdit* caption = makeBox("txtLiabilities", item.captionIndex, kLiabilityCaptionLeft, liabilityRowTop(row),
                                     kLiabilityCaptionWidth);
        caption->setText(QLatin1String(item.defaultCaption));
        txtLiabilities[item.captionIndex] = caption;
        txtAmountL[item.amountIndex] =
            makeBox("txtAmountL", item.amountIndex, kLiabilityAmountLeft, liabilityRowTop(row), kLiabilityAmountWidth);
    }

    Picture1 = new services::PictureBox(Frame1);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    place(Picture1, 4725, 5400, 4650, 960);

    // The sheet adds a "(less ...)" row as entered.
    for (const LineItemRow& item : kAssetRows) {
        if (QLatin1String(item.defaultCaption).contains(QLatin1String("(less ")))
            txtAmountAssets[item.amountIndex]->setToolTip(
                QStringLiteral("Deductions are added as entered: type them as negative amounts."));
    }
    balanceCheck =
        new BalanceCheckView(Frame1, QList<QLineEdit*>(txtAmountAssets.begin(), txtAmountAssets.end()),
                             QList<QLineEdit*>(txtAmountL.begin(), txtAmountL.end()),
                             {kLiabilityCaptionLeft, kLiabilityCaptionWidth, kLiabilityAmountLeft,
                              kLiabilityAmountWidth, liabilityRowTop(kLiabilityCount + 1), kRowStep, kBoxHeight});

    // The design order of the focus list; start-up assigns the final order.
    QList<QWidget*> designOrder{Frame1};
    for (QLabel* heading : lblYear) {
        if (heading)
            designOrder << heading;
    }
    designOrder << Picture1 << Label5 << PushButton1 << PushButton2 << PushButton22 << dtpFrom;
    for (int i = 0; i < kAssetCount; ++i)
        designOrder << txtAssets[i] << txtAmountAssets[i];
    for (int i = 0; i < kLiabilityCount; ++i)
        designOrder << txtLiabilities[i] << txtAmountL[i];
    tabOrder_ = std::make_unique<TabOrder>(designOrder);

    pointer_ = new services::WindowPointer(this);
    for (QPushButton* button : {PushButton22, PushButton1, PushButton2})
        pointer_->watch(button, services::WindowPointer::Rule::Hand);
    pointer_->watch(Frame1, services::WindowPointer::Rule::Plain);
    pointer_->watch(dtpFrom, services::WindowPointer::Rule::Plain);
    QList<QLineEdit*> captions(txtAssets.begin(), txtAssets.end());
    captions.append(QList<QLineEdit*>(txtLiabilities.begin(), txtLiabilities.end()));
    QList<QLineEdit*> amounts(txtAmountAssets.begin(), txtAmountAssets.end());
    amounts.append(QList<QLineEdit*>(txtAmountL.begin(), txtAmountL.end()));
    for (QLineEdit* box : captions + amounts)
        pointer_->watch(box, services::WindowPointer::Rule::Plain);
    for (QLabel* label : lblYear) {
        if (label)
            pointer_->watch(label, services::WindowPointer::Rule::None);
    }
    pointer_->watch(Label5, services::WindowPointer::Rule::None);
    pointer_->watch(Picture1, services::WindowPointer::Rule::None);

    amountRules_ = new AmountRules(this, captions, amounts);

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton22, &QPushButton::clicked, this, &Form1::PushButton22_Click);
}

void Form1::connectChangeHandlers()
{
    auto storeOnChange = [this](QLineEdit* box, const QString& key) {
        connect(box, &QLineEdit::textChanged, this, [key](const QString& text) {
            services::runHandler([&] { services::settingsStore().write(key, text); });
        });
    };
    for (int i = 0; i < kAssetCount; ++i) {
        storeOnChange(txtAssets[i], keyOf("txtAssets", i));
        storeOnChange(txtAmountAssets[i], keyOf("txtAmountAssets", i));
    }
    for (int i = 0; i < kLiabilityCount; ++i) {
        storeOnChange(txtLiabilities[i], keyOf("txtLiabilities", i));
        storeOnChange(txtAmountL[i], keyOf("txtAmountL", i));
    }
    connect(dtpFrom, &QDateEdit::dateChanged, this, [](const QDate& date) {
        services::runHandler([&] { services::settingsStore().write(QStringLiteral("dtpFrom"), dateText(date)); });
    });
}

void Form1::Form_Load(const generation::ApplicationFactory& createApplication)
{
    ErrorTrap trap(services::locationText(QStringLiteral("Form1"), QStringLiteral("Form_Load")));
    int tabCounter = 0;

    trap.step(100, [&] { services::ApplySkin(this, kHeadingName); });
    trap.step(102, [&] { setWindowTitle(QLatin1String(resources::kProduct)); });
    trap.step(102, [&] { setWindowIcon(resources::programIcon()); });
    trap.step(102, [&] { services::SetAppTitle(); });
    trap.step(104, [&] { setUpdatesEnabled(false); });
    const QString handPath = services::besideProgram(QStringLiteral("HAND-M.CUR"));
    bool handPresent = true; // a failed test runs the step it guards
    trap.step(106, [&] { handPresent = services::FileExists(handPath); });
    if (handPresent)
        trap.step(108, [&] { pointer_->setCustomCursor(services::loadCursorFile(handPath)); });
    trap.step(126, [&] { services::RegistryCapture(); });
    trap.step(128, [&] { tabCounter = 22; });
    // The restore stores each box's standard form; those are derived from
    // the file again at the next start, so one write at the end will do.
    services::settingsStore().beginBatch();
    trap.step(130, [&] {
        const QString stored =
            services::settingsStore().read(QStringLiteral("dtpFrom"), dateText(QDate::currentDate()));
        dtpFrom->setDate(readDateText(stored));
    });

    static constexpr AmountRestoreLines assetLines{136, 138, 140, 142, 144, 146, 152, 156};
    for (int i = 0; i < kAssetCount; ++i) {
        trap.step(134, [&] { restoreText(txtAssets[i], keyOf("txtAssets", i)); });
        restoreAmount(trap, txtAmountAssets[i], keyOf("txtAmountAssets", i), assetLines);
        trap.step(158, [&] { tabOrder_->setTabIndex(txtAssets[i], 2 * i); });
        trap.step(160, [&] { tabOrder_->setTabIndex(txtAmountAssets[i], 2 * i + 1); });
    }

    static constexpr AmountRestoreLines liabilityLines{172, 174, 176, 178, 180, 180, 186, 190};
    for (int i = 0; i < kLiabilityCount; ++i) {
        trap.step(170, [&] { restoreText(txtLiabilities[i], keyOf("txtLiabilities", i)); });
        restoreAmount(trap, txtAmountL[i], keyOf("txtAmountL", i), liabilityLines);
        trap.step(192, [&] { tabOrder_->setTabIndex(txtLiabilities[i], tabCounter); });
        trap.step(194, [&] { ++tabCounter; });
        trap.step(196, [&] { tabOrder_->setTabIndex(txtAmountL[i], tabCounter); });
        trap.step(198, [&] { ++tabCounter; });
    }

    trap.step(200, [&] { tabOrder_->setTabIndex(PushButton22, 0); });
    trap.step(202, [&] {
        tabOrder_->setTabIndex(dtpFrom, 1);
        tabOrder_->apply();
    });
    trap.step(204, [&] { services::settingsStore().endBatch(); });
    trap.step(204, [&] { setUpdatesEnabled(true); });
    trap.step(206, [&] { generation::CheckExcelInstalled(createApplication); });
}

void Form1::restoreAmount(ErrorTrap& trap, QLineEdit* box, const QString& key, const AmountRestoreLines& lines)
{
    const QString kDefault = QStringLiteral("0");
    auto stored = [&] { return services::settingsStore().read(key, kDefault); };
    QString text;
    bool startsWithDigit = false;
    trap.step(lines.firstCharacterTest, [&] {
        text = stored();
        startsWithDigit = !text.isEmpty() && isAsciiDigit(text.front());
    });
    if (startsWithDigit) {
        bool endsWithDigit = false;
        trap.step(lines.lastCharacterTest, [&] { endsWithDigit = isAsciiDigit(stored().back()); });
        if (endsWithDigit)
            trap.step(lines.allDigitsAtEnds, [&] { box->setText(asCurrency(stored())); });
        else
            trap.step(lines.convertedFirst, [&] { box->setText(asCurrency(stored())); });
        return;
    }
    int startPosition = 0;
    trap.step(lines.startPosition, [&] { startPosition = 2; });
    trap.step(lines.reread, [&] {
        text = stored();
        if (text.isEmpty())
            text = kDefault;
    });
    trap.step(lines.clampStart, [&] {
        if (text.size() < startPosition)
            startPosition = int(text.size());
    });
    trap.step(lines.fromStartPosition, [&] {
        // A negative amount ("-$500", "($500)") begins with its sign, which
        // dropping the first character would lose: read it whole.
        const QLocale locale = services::userLocale();
        if (readAmountText(text, locale))
            box->setText(asCurrency(text));
        else
            box->setText(asCurrency(text.mid(startPosition - 1)));
    });
}

void Form1::fillAmounts(const QString& procedure, const std::function<QString(const LineItemRow&)>& textFor)
{
    ErrorTrap trap(services::locationText(QStringLiteral("Form1"), procedure));
    int line = 100;
    for (const LineItemRow& row : kAssetRows) {
        trap.step(line, [&] { txtAmountAssets[row.amountIndex]->setText(textFor(row)); });
        line += 2;
    }
    for (const LineItemRow& row : kLiabilityRows) {
        trap.step(line, [&] { txtAmountL[row.amountIndex]->setText(textFor(row)); });
        line += 2;
    }
}

void Form1::PushButton1_Click()
{
    fillAmounts(QStringLiteral("PushButton1_Click"), [](const LineItemRow&) { return QStringLiteral("$0"); });
}

void Form1::PushButton2_Click()
{
    fillAmounts(QStringLiteral("PushButton2_Click"),
                [](const LineItemRow& row) { return QLatin1String(row.sampleAmount); });
}

generation::RunEntries Form1::runEntries() const
{
    generation::RunEntries entries;
    entries.date = dtpFrom->date();
    for (const QLineEdit* box : txtAmountAssets)
        entries.assetAmounts << box->text();
    for (const QLineEdit* box : txtAmountL)
        entries.liabilityAmounts << box->text();
    return entries;
}

void Form1::PushButton22_Click()
{
    // Deleting the run's files lets waiting events through, so the second
    // click of a double-click would start a run inside this one and leave
    // its workbook untracked. One run at a time.
    if (runInProgress_)
        return;
    runInProgress_ = true;
    const auto runEnded = qScopeGuard([this] { runInProgress_ = false; });
    ErrorTrap trap(services::locationText(QStringLiteral("Form1"), QStringLiteral("PushButton22_Click")));
    generation::GenerationRun run(trap, runEntries(), workbookNameDraw_);

    run.rememberSkipLists();
    trap.step(104, [&] { setUpdatesEnabled(false); });
    trap.step(106, [&] { pointer_->set(services::WindowPointer::Hourglass); });
    const bool templateWritten = run.writeTemplate();
    if (!templateWritten || !run.openTemplate()) {
        // Reported once; without our own template there is no workbook to
        // make, and every later step would only report that again.
        trap.step(154, [&] { pointer_->set(services::WindowPointer::Default); });
        run.releaseApplication();
        trap.step(208, [&] { setUpdatesEnabled(true); });
        if (templateWritten)
            run.deleteTemplateFile();
        return;
    }
    run.fillTemplate();
    trap.step(154, [&] { pointer_->set(services::WindowPointer::Default); });
    run.saveWorkbook();
    run.reopenWorkbook();
    trap.step(184, [&] { pointer_->set(services::WindowPointer::Hourglass); });
    run.takeSnapshot();
    trap.step(196, [&] { pointer_->set(services::WindowPointer::Default); });
    trap.step(198, [&] {
        if (!form2_) {
            form2_ = std::make_unique<preview::Form2>();
            connect(form2_.get(), &preview::Form2::backRequested, this, &QWidget::show);
            form2_->setExports({generation::workbookAsPdf, generation::workbookAsXlsx, generation::printWorkbook});
        }
        // Never an earlier run's picture.
        form2_->setPicture(QPixmap());
        form2_->setPicture(QPixmap::fromImage(run.loadPicture()));
    });
    trap.step(200, [&] { form2_->mExcelFile = run.workbookPath(); });
    trap.step(202, [&] { form2_->showPreview(); });
    trap.step(204, [&] { hide(); });
    run.deleteSnapshotFile();
    trap.step(208, [&] { setUpdatesEnabled(true); });
    run.deleteTemplateFile();
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    // Ends the program at once; every entry was stored when it changed.
    QCoreApplication::exit(0);
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    services::centreOnScreen(this);
}

} // namespace entry
