// Start-up of the entry window: what it restores from the settings store,
// what it stores on the way, how it reports bad stored values, and how the
// window is laid out.
#include "entry/Form1.h"
#include "entry/TabOrder.h"
#include "services/MousePointer.h"
#include "services/PictureBox.h"
#include "services/ProgramFolder.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QtEndian>
#include <algorithm>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::amountKeys;
using entry_tests::isStored;
using entry_tests::messages;
using entry_tests::reportTail;
using testing_support::programDir;
using testing_support::storedValue;
using testing_support::writeFileBytes;
using testing_support::writeSettingsFile;

namespace {

// Default captions by caption box index (not by row).
const char* const kAssetCaptions[14] = {
    " Cash",
    " Accounts receivable",
    " (less doubtful accounts)",
    " Inventory",
    " Temporary investment",
    " Prepaid expenses",
    " Long-term investments",
    " Land",
    " Buildings",
    " (less accumulated depreciation)",
    " Plant and equipment",
    " (less accumulated depreciation)",
    " Furniture and fixtures",
    " (less accumulated depreciation)",
};
const char* const kLiabilityCaptions[10] = {
    " Accounts payable",  " Short-term notes", " Current portion of long-term notes", " Interest payable",
    " Taxes payable",     " Accrued payroll",  " Other long-term liabilities",        " Mortgage",
    " Retained earnings", " Capital stock",
};

// Today as a US user writes it, with all four digits of the year.
QString usShortDate(const QDate& date)
{
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year());
}

// A Windows cursor file: ICO layout with type 2, one 32x32 32-bit image whose
// directory entry carries the hot spot.
QByteArray cursorFile(int hotX, int hotY)
{
    const int side = 32;
    const int pixelBytes = side * side * 4;
    const int maskBytes = side * 4; // 1 bit a pixel, rows padded to 4 bytes
    const int imageBytes = 40 + pixelBytes + maskBytes;
    QByteArray bytes(6 + 16 + imageBytes, '\0');
    auto* d = reinterpret_cast<uchar*>(bytes.data());
    qToLittleEndian<quint16>(0, d + 0);
    qToLittleEndian<quint16>(2, d + 2); // cursor
    qToLittleEndian<quint16>(1, d + 4);
    d[6] = side;
    d[7] = side;
    qToLittleEndian<quint16>(quint16(hotX), d + 10);
    qToLittleEndian<quint16>(quint16(hotY), d + 12);
    qToLittleEndian<quint32>(quint32(imageBytes), d + 14);
    qToLittleEndian<quint32>(22, d + 18);
    uchar* bmp = d + 22;
    qToLittleEndian<quint32>(40, bmp + 0);
    qToLittleEndian<qint32>(side, bmp + 4);
    qToLittleEndian<qint32>(side * 2, bmp + 8); // colour rows and mask rows
    qToLittleEndian<quint16>(1, bmp + 12);
    qToLittleEndian<quint16>(32, bmp + 14);
    uchar* pixels = bmp + 40;
    for (int i = 0; i < side * side; ++i) {
        pixels[i * 4 + 0] = 0x20;
        pixels[i * 4 + 1] = 0x40;
        pixels[i * 4 + 2] = 0xC0;
        pixels[i * 4 + 3] = 0xFF;
    }
    return bytes;
}

} // namespace

// ---------------------------------------------------------------- first start

TEST(FirstStart, EveryAmountShowsAndStoresTheCurrencyZero)
{
    Form1 window;
    ASSERT_EQ(amountBoxes(window).size(), 24);
    entry_tests::expectEveryAmountShownAndStored(window, QStringLiteral("$0"));
    EXPECT_TRUE(messages().isEmpty());
}

TEST(FirstStart, CaptionsShowTheirDefaultsWithTheLeadingBlank)
{
    Form1 window;
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(window.txtAssets[i]->text(), QString::fromLatin1(kAssetCaptions[i])) << "txtAssets" << i;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(window.txtLiabilities[i]->text(), QString::fromLatin1(kLiabilityCaptions[i]))
            << "txtLiabilities" << i;
}

TEST(FirstStart, PickerShowsTodayAndStoresItWithAFourDigitYear)
{
    const QDate today = QDate::currentDate();
    Form1 window;
    EXPECT_EQ(window.dtpFrom->date(), today);
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    EXPECT_EQ(window.dtpFrom->text(),
              QStringLiteral("%1-%2-%3")
                  .arg(today.day(), 2, 10, QChar(u'0'))
                  .arg(QLatin1String(kMonths[today.month() - 1]))
                  .arg(today.year()));
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), usShortDate(today));
}

TEST(FirstStart, DumpIsWrittenBeforeAnythingIsStoredSoItIsEmpty)
{
    Form1 window;
    QFile dump(programDir() + QStringLiteral("/reg.txt"));
    ASSERT_TRUE(dump.exists());
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    EXPECT_EQ(dump.readAll(), QByteArray());
}

// ---------------------------------------------------------------- amount restore

namespace {

struct GoodAmount {
    const char* name;
    const char* stored;
    const char* shown;
};

void PrintTo(const GoodAmount& c, std::ostream* os)
{
    *os << "stored \"" << c.stored << "\"";
}

class RestoresAmount : public ::testing::TestWithParam<GoodAmount> {};

} // namespace

TEST_P(RestoresAmount, OnBothSidesInTheStandardFormAndStoresThatForm)
{
    const QString stored = QString::fromLatin1(GetParam().stored);
    const QString shown = QString::fromLatin1(GetParam().shown);
    writeSettingsFile({{QStringLiteral("txtAmountAssets3"), stored}, {QStringLiteral("txtAmountL4"), stored}});
    Form1 window;
    EXPECT_EQ(window.txtAmountAssets[3]->text(), shown);
    EXPECT_EQ(window.txtAmountL[4]->text(), shown);
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets3")), shown);
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL4")), shown);
    EXPECT_EQ(window.txtAmountAssets[2]->text(), QStringLiteral("$0"));
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Stored, RestoresAmount,
    ::testing::Values(GoodAmount{"CurrencyText", "$43,000", "$43,000"}, GoodAmount{"PlainDigits", "43000", "$43,000"},
                      GoodAmount{"Decimals", "1234.56", "$1,235"}, GoodAmount{"HalfRoundsUp", "1234.5", "$1,235"},
                      GoodAmount{"Empty", "", "$0"}, GoodAmount{"Zero", "0", "$0"},
                      GoodAmount{"MinusSign", "-$500", "($500)"}, GoodAmount{"Parentheses", "($500)", "($500)"},
                      GoodAmount{"Millions", "$1,234,567", "$1,234,567"}),
    [](const auto& instance) { return std::string(instance.param.name); });

namespace {

struct BadAmount {
    const char* name;
    const char* stored;
    int assetLine;
    int liabilityLine;
};

void PrintTo(const BadAmount& c, std::ostream* os)
{
    *os << "stored \"" << c.stored << "\"";
}

class RefusesStoredAmount : public ::testing::TestWithParam<BadAmount> {
protected:
    // One report, "Type mismatch..." then the location and step.
    void expectOneReport(int line)
    {
        ASSERT_EQ(messages().size(), 1);
        const auto& shown = messages().first();
        EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
        EXPECT_EQ(shown.icon, services::MessageIcon::Warning);
        EXPECT_TRUE(shown.text.startsWith(QStringLiteral("Type mismatch"))) << shown.text.toStdString();
        EXPECT_TRUE(shown.text.endsWith(reportTail(QStringLiteral("Form1.Form_Load"), line)))
            << shown.text.toStdString();
        // The description is one line: the tail starts at the first CR.
        EXPECT_EQ(shown.text.indexOf(u'\r'),
                  shown.text.size() - reportTail(QStringLiteral("Form1.Form_Load"), line).size());
    }

    // The steps after the failing one still ran.
    void expectRestOfStartUpRan(Form1& window)
    {
        EXPECT_EQ(window.txtAmountAssets[13]->text(), QStringLiteral("$0"));
        EXPECT_EQ(window.txtAmountL[9]->text(), QStringLiteral("$0"));
        EXPECT_EQ(window.txtLiabilities[9]->text(), QStringLiteral(" Capital stock"));
        EXPECT_EQ(storedValue(QStringLiteral("txtAmountL9")), QStringLiteral("$0"));
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvantis"));
        ASSERT_FALSE(window.tabOrder().order().isEmpty());
        EXPECT_EQ(window.tabOrder().order().first(), window.PushButton22);
    }
};

} // namespace

TEST_P(RefusesStoredAmount, OnTheAssetsSide)
{
    const QString stored = QString::fromLatin1(GetParam().stored);
    writeSettingsFile(
        {{QStringLiteral("txtAmountAssets5"), stored}, {QStringLiteral("txtAssets6"), QStringLiteral("Kept")}});
    Form1 window;
    expectOneReport(GetParam().assetLine);
    EXPECT_EQ(window.txtAmountAssets[5]->text(), QString());
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountAssets5")), stored);
    EXPECT_EQ(window.txtAmountAssets[4]->text(), QStringLiteral("$0"));
    EXPECT_EQ(window.txtAmountAssets[6]->text(), QStringLiteral("$0"));
    EXPECT_EQ(window.txtAssets[6]->text(), QStringLiteral("Kept"));
    expectRestOfStartUpRan(window);
}

TEST_P(RefusesStoredAmount, OnTheLiabilitiesSide)
{
    const QString stored = QString::fromLatin1(GetParam().stored);
    writeSettingsFile({{QStringLiteral("txtAmountL3"), stored}});
    Form1 window;
    expectOneReport(GetParam().liabilityLine);
    EXPECT_EQ(window.txtAmountL[3]->text(), QString());
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL3")), stored);
    EXPECT_EQ(window.txtAmountL[4]->text(), QStringLiteral("$0"));
    expectRestOfStartUpRan(window);
}

TEST_P(RefusesStoredAmount, AgainAtTheNextStart)
{
    const QString stored = QString::fromLatin1(GetParam().stored);
    writeSettingsFile({{QStringLiteral("txtAmountAssets0"), stored}});
    {
        Form1 first;
    }
    ASSERT_EQ(messages().size(), 1);
    Form1 second;
    ASSERT_EQ(messages().size(), 2);
    EXPECT_EQ(messages()[1].text, messages()[0].text);
}

INSTANTIATE_TEST_SUITE_P(Stored, RefusesStoredAmount,
                         ::testing::Values(BadAmount{"Letters", "abc", 156, 190},
                                           BadAmount{"CurrencySignAlone", "$", 156, 190},
                                           BadAmount{"DigitThenLetter", "12a", 142, 178},
                                           BadAmount{"LetterBetweenDigits", "1a2", 140, 176}),
                         [](const auto& instance) { return std::string(instance.param.name); });

// ---------------------------------------------------------------- date restore

TEST(StoredDate, IsShownInThePicker)
{
    writeSettingsFile({{QStringLiteral("dtpFrom"), QStringLiteral("3/15/2024")}});
    Form1 window;
    EXPECT_EQ(window.dtpFrom->date(), QDate(2024, 3, 15));
    EXPECT_TRUE(messages().isEmpty());
}

// A short date with a two-digit year is read with the C library's century
// rule (69 to 99 are 19xx, 00 to 68 are 20xx) and stored back with four digits.
struct TwoDigitYear {
    const char* name;
    const char* stored;
    QDate date;
    const char* rewritten;
};

class StoredTwoDigitYear : public ::testing::TestWithParam<TwoDigitYear> {};

TEST_P(StoredTwoDigitYear, IsReadAndWrittenBackWithFourDigits)
{
    const TwoDigitYear& c = GetParam();
    writeSettingsFile({{QStringLiteral("dtpFrom"), QLatin1String(c.stored)}});
    Form1 window;
    EXPECT_EQ(window.dtpFrom->date(), c.date);
    if (!c.rewritten) {
        EXPECT_EQ(messages().size(), 1); // no such day: refused as before
        return;
    }
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), QLatin1String(c.rewritten));
}

INSTANTIATE_TEST_SUITE_P(StoredDate, StoredTwoDigitYear,
                         ::testing::Values(TwoDigitYear{"Year24", "3/15/24", QDate(2024, 3, 15), "3/15/2024"},
                                           TwoDigitYear{"Year99", "12/31/99", QDate(1999, 12, 31), "12/31/1999"},
                                           TwoDigitYear{"Year68", "1/1/68", QDate(2068, 1, 1), "1/1/2068"},
                                           TwoDigitYear{"Year69", "1/1/69", QDate(1969, 1, 1), "1/1/1969"},
                                           TwoDigitYear{"LeapDay00", "2/29/00", QDate(2000, 2, 29), "2/29/2000"},
                                           TwoDigitYear{"NoSuchDay", "2/29/01", QDate(2010, 1, 21), nullptr}),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(StoredDate, ReadsBackAsTheSameDateAfterAChange)
{
    {
        Form1 first;
        first.dtpFrom->setDate(QDate(1999, 12, 31));
        EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), QStringLiteral("12/31/1999"));
    }
    Form1 second;
    EXPECT_EQ(second.dtpFrom->date(), QDate(1999, 12, 31));
    EXPECT_TRUE(messages().isEmpty());
}

TEST(StoredDate, UnreadableIsReportedAtStep130AndThePickerKeepsItsDesignDate)
{
    writeSettingsFile({{QStringLiteral("dtpFrom"), QStringLiteral("the day after tomorrow")}});
    Form1 window;
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0].title, QStringLiteral("Application Error"));
    EXPECT_TRUE(messages()[0].text.endsWith(reportTail(QStringLiteral("Form1.Form_Load"), 130)))
        << messages()[0].text.toStdString();
    EXPECT_EQ(window.dtpFrom->date(), QDate(2010, 1, 21));
    EXPECT_EQ(window.dtpFrom->text(), QStringLiteral("21-Jan-2010"));
    EXPECT_EQ(storedValue(QStringLiteral("dtpFrom")), QStringLiteral("the day after tomorrow"));
    // The line items after the date still came in.
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$0"));
}

// ---------------------------------------------------------------- captions

TEST(StoredCaption, EmptyStaysEmpty)
{
    writeSettingsFile({{QStringLiteral("txtAssets2"), QString()}, {QStringLiteral("txtLiabilities8"), QString()}});
    Form1 window;
    EXPECT_EQ(window.txtAssets[2]->text(), QString());
    EXPECT_EQ(window.txtLiabilities[8]->text(), QString());
    EXPECT_TRUE(isStored(QStringLiteral("txtAssets2")));
    EXPECT_EQ(window.txtAssets[3]->text(), QStringLiteral(" Inventory"));
}

TEST(StoredCaption, ClearedByTheUserStaysEmptyAtTheNextStart)
{
    {
        Form1 first;
        first.txtLiabilities[5]->clear();
        EXPECT_TRUE(isStored(QStringLiteral("txtLiabilities5")));
    }
    Form1 second;
    EXPECT_EQ(second.txtLiabilities[5]->text(), QString());
}

TEST(StoredCaption, NonLatinTextRestoresExactly)
{
    const QString caption = QStringLiteral(
        " Kassenbestand \u00fc\u00df \u73fe\u91d1 \u0646\u0642\u062f \u0414\u0435\u043d\u044c\u0433\u0438 \U0001F4B0 ");
    writeSettingsFile({{QStringLiteral("txtAssets0"), caption}});
    Form1 window;
    EXPECT_EQ(window.txtAssets[0]->text(), caption);
}

TEST(StoredCaption, FiftyThousandCharactersRestoreExactly)
{
    QString caption;
    for (int i = 0; caption.size() < 50000; ++i)
        caption += QString::number(i % 997) + u' ';
    caption.truncate(50000);
    writeSettingsFile({{QStringLiteral("txtLiabilities3"), caption}});
    Form1 window;
    EXPECT_EQ(window.txtLiabilities[3]->text().size(), 50000);
    EXPECT_EQ(window.txtLiabilities[3]->text(), caption);
}

TEST(StoredCaption, TypedLongNonLatinTextIsStoredAsTyped)
{
    Form1 window;
    const QString caption = QString(20000, QChar(0x65E5)) + QStringLiteral("  end  ");
    window.txtAssets[4]->setText(caption);
    EXPECT_EQ(storedValue(QStringLiteral("txtAssets4")), caption);
}

// ---------------------------------------------------------------- rows and keys

TEST(RowKeys, MortgageRowStoresCaptionUnder7AndAmountUnder6)
{
    Form1 window;
    QLineEdit* caption = nullptr;
    for (QLineEdit* box : window.txtLiabilities) {
        if (box->text() == QStringLiteral(" Mortgage"))
            caption = box;
    }
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption, window.txtLiabilities[7]);
    QLineEdit* amount = nullptr;
    for (QLineEdit* box : window.txtAmountL) {
        if (box->geometry().top() == caption->geometry().top())
            amount = box;
    }
    ASSERT_NE(amount, nullptr);
    EXPECT_EQ(amount, window.txtAmountL[6]);

    QTest::keyClicks(caption, QStringLiteral(" loan"));
    EXPECT_EQ(storedValue(QStringLiteral("txtLiabilities7")), QStringLiteral(" Mortgage loan"));
    EXPECT_FALSE(isStored(QStringLiteral("txtLiabilities6")));

    amount->clear();
    QTest::keyClicks(amount, QStringLiteral("250000"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL6")), QStringLiteral("250000"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL7")), QStringLiteral("$0"));
}

TEST(RowKeys, Row12CaptionIsStoredUnderIndex13)
{
    Form1 window;
    QList<QLineEdit*> byRow(window.txtAssets.begin(), window.txtAssets.end());
    std::stable_sort(byRow.begin(), byRow.end(),
                     [](QLineEdit* a, QLineEdit* b) { return a->geometry().top() < b->geometry().top(); });
    QLineEdit* row12 = byRow[11];
    EXPECT_EQ(row12, window.txtAssets[13]);
    row12->setText(QStringLiteral("Vehicles"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAssets13")), QStringLiteral("Vehicles"));
    EXPECT_FALSE(isStored(QStringLiteral("txtAssets11")));
    EXPECT_FALSE(isStored(QStringLiteral("txtAssets12")));
}

TEST(RowKeys, CaptionsAndAmountsPairUpOnTheirRows)
{
    Form1 window;
    // Caption box index on each row from the top, and the row tops in pixels.
    const int assetCaptionOnRow[14] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 12, 11};
    const int assetTop[14] = {107, 128, 149, 170, 191, 212, 255, 276, 297, 318, 339, 360, 381, 402};
    const int liabilityCaptionOnRow[10] = {0, 1, 2, 3, 4, 5, 7, 6, 9, 8};
    const int liabilityTop[10] = {107, 128, 149, 170, 191, 212, 255, 276, 318, 339};
    for (int row = 0; row < 14; ++row) {
        EXPECT_EQ(window.txtAmountAssets[row]->geometry(), QRect(211, assetTop[row], 104, 22))
            << "asset row " << row + 1;
        EXPECT_EQ(window.txtAssets[assetCaptionOnRow[row]]->geometry(), QRect(18, assetTop[row], 194, 22))
            << "asset row " << row + 1;
    }
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(window.txtAmountL[row]->geometry(), QRect(519, liabilityTop[row], 106, 22))
            << "liability row " << row + 1;
        EXPECT_EQ(window.txtLiabilities[liabilityCaptionOnRow[row]]->geometry(), QRect(315, liabilityTop[row], 205, 22))
            << "liability row " << row + 1;
    }
    for (QLineEdit* box : entry_tests::captionBoxes(window) + amountBoxes(window))
        EXPECT_EQ(box->parentWidget(), window.Frame1);
}

// ---------------------------------------------------------------- the window

TEST(Window, ClientAreaIsFixedAt656By520)
{
    Form1 window;
    EXPECT_EQ(window.size(), QSize(656, 520));
    EXPECT_EQ(window.minimumSize(), QSize(656, 520));
    EXPECT_EQ(window.maximumSize(), QSize(656, 520));
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST(Window, OpensCentredOnTheScreen)
{
    Form1 window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect area = window.screen()->availableGeometry();
    const QPoint offset = window.frameGeometry().center() - area.center();
    EXPECT_LE(std::abs(offset.x()), 1);
    EXPECT_LE(std::abs(offset.y()), 1);
}

TEST(Window, TitleButtonsAndFrameTexts)
{
    Form1 window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvantis"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.PushButton22->text(), QStringLiteral("Start Creating Template"));
    EXPECT_EQ(window.PushButton1->text(), QStringLiteral("Clear/Reset Amounts"));
    EXPECT_EQ(window.PushButton2->text(), QStringLiteral("Load Sample/Example Amounts"));
    EXPECT_EQ(window.Frame1->title(), QStringLiteral("Balance Sheet"));
    EXPECT_EQ(window.Label5->text(), QStringLiteral("Date:"));
    EXPECT_EQ(window.dtpFrom->displayFormat(), QStringLiteral("dd-MMM-yyyy"));
}

// Each drawing at its own size; sizes between are scaled from the next larger.
// The 256 drawing is the icon theme's alone: the window manager rereads the
// window's drawings at every map.
TEST(Window, IconHasItsThreeDrawings)
{
    const QIcon icon = Form1().windowIcon();
    EXPECT_EQ(icon.availableSizes(), (QList<QSize>{{32, 32}, {48, 48}, {128, 128}}));
    for (const int side : {32, 48, 128})
        EXPECT_EQ(icon.pixmap(side).toImage(),
                  QImage(QStringLiteral(":/icons/corvantis-%1.png").arg(side))
                      .convertToFormat(icon.pixmap(side).toImage().format()))
            << side;
    EXPECT_EQ(icon.pixmap(40).size(), QSize(40, 40));
    EXPECT_EQ(icon.pixmap(512).size(), QSize(128, 128));
}

TEST(Window, FontsAreArialBold)
{
    Form1 window;
    EXPECT_EQ(window.font().family(), QStringLiteral("Arial"));
    EXPECT_TRUE(window.font().bold());
    EXPECT_DOUBLE_EQ(window.font().pointSizeF(), 9.0);
    for (QPushButton* button : {window.PushButton22, window.PushButton1, window.PushButton2}) {
        EXPECT_EQ(button->font().family(), QStringLiteral("Arial"));
        EXPECT_TRUE(button->font().bold());
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25);
    }
}

TEST(Window, ControlsStandAtTheirPlacesInPixels)
{
    Form1 window;
    EXPECT_EQ(window.PushButton22->geometry(), QRect(8, 8, 640, 27));
    EXPECT_EQ(window.PushButton1->geometry(), QRect(8, 42, 320, 27));
    EXPECT_EQ(window.PushButton2->geometry(), QRect(336, 42, 312, 27));
    EXPECT_EQ(window.Frame1->geometry(), QRect(8, 72, 640, 440));
    EXPECT_EQ(window.Label5->pos(), QPoint(16, 32));
    EXPECT_EQ(window.dtpFrom->geometry(), QRect(65, 28, 248, 22));
    EXPECT_EQ(window.Picture1->geometry(), QRect(315, 360, 310, 64));
    for (QWidget* inside : {static_cast<QWidget*>(window.Label5), static_cast<QWidget*>(window.dtpFrom),
                            static_cast<QWidget*>(window.Picture1)})
        EXPECT_EQ(inside->parentWidget(), window.Frame1);
}

TEST(Window, HeadingsHaveTheirTextsPlacesAndShades)
{
    Form1 window;
    struct Heading {
        int index;
        const char* text;
        QPoint place;
        int shade;
    };
    const Heading headings[] = {
        {0, "Assets", {18, 64}, 224},
        {1, "Amount", {211, 64}, 224},
        {12, "Liabilities", {315, 64}, 224},
        {13, "Amount", {519, 64}, 224},
        {2, "Current Assets", {18, 86}, 192},
        {3, "Fixed Assets", {18, 234}, 192},
        {4, "Current Liabilities", {315, 86}, 192},
        {5, "Long-term Liabilities", {315, 234}, 192},
        {6, "Shareholders' Equity", {315, 298}, 192},
    };
    for (int missing = 7; missing <= 11; ++missing)
        EXPECT_EQ(window.lblYear[missing], nullptr) << missing;
    for (const Heading& h : headings) {
        QLabel* label = window.lblYear[h.index];
        ASSERT_NE(label, nullptr) << h.index;
        EXPECT_EQ(label->text(), QString::fromLatin1(h.text)) << h.index;
        EXPECT_EQ(label->pos(), h.place) << h.index;
        EXPECT_EQ(label->parentWidget(), window.Frame1);
        EXPECT_TRUE(label->alignment() & Qt::AlignHCenter) << h.index;
        EXPECT_EQ(label->frameShape(), QFrame::Box) << h.index;
        // What is painted, not only what is set: a spot inside the border.
        const QImage painted = label->grab().toImage();
        EXPECT_EQ(painted.pixelColor(3, 3), QColor(h.shade, h.shade, h.shade)) << h.index;
        EXPECT_EQ(label->palette().color(QPalette::WindowText), QApplication::palette().color(QPalette::WindowText));
    }
    EXPECT_EQ(window.lblYear[6]->height(), 21);
}

TEST(Window, BackgroundIsWhiteWithoutTheSkin)
{
    Form1 window;
    const QImage painted = window.grab().toImage();
    EXPECT_EQ(painted.pixelColor(2, 2), QColor(Qt::white));
    // Inside the frame, clear of every control.
    const QPoint inFrame = window.Frame1->mapTo(&window, QPoint(6, 120));
    ASSERT_EQ(window.childAt(inFrame), window.Frame1);
    EXPECT_EQ(window.Frame1->palette().color(QPalette::Window), QColor(Qt::white));
    // The style may tint the inside of a group box a shade; it stays white to the eye.
    EXPECT_GE(painted.pixelColor(inFrame).lightness(), 248);
    EXPECT_EQ(painted.pixelColor(inFrame).saturation(), 0);
}

TEST(Window, SkinFilePaintsWindowAndFrameButLeavesTheHeadings)
{
    writeFileBytes(programDir() + QStringLiteral("/x/o.cjs"), QByteArray("skin"));
    Form1 window;
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    ASSERT_NE(buttonFace, QColor(Qt::white));
    EXPECT_EQ(window.palette().color(QPalette::Window), buttonFace);
    EXPECT_EQ(window.Frame1->palette().color(QPalette::Window), buttonFace);
    EXPECT_EQ(window.Label5->palette().color(QPalette::Window), buttonFace);
    EXPECT_EQ(window.Picture1->palette().color(QPalette::Window), buttonFace);
    const QImage painted = window.grab().toImage();
    EXPECT_EQ(painted.pixelColor(2, 2), buttonFace);
    EXPECT_EQ(window.lblYear[0]->palette().color(QPalette::Window), QColor(224, 224, 224));
    EXPECT_EQ(window.lblYear[5]->palette().color(QPalette::Window), QColor(192, 192, 192));
    EXPECT_EQ(window.lblYear[0]->grab().toImage().pixelColor(3, 3), QColor(224, 224, 224));
    EXPECT_TRUE(messages().isEmpty());
}

// ---------------------------------------------------------------- hand pointer

TEST(HandPointer, FileThatIsNoImageIsReportedAtStep108AndStartUpGoesOn)
{
    writeFileBytes(programDir() + QStringLiteral("/HAND-M.CUR"), QByteArray("this is not a cursor\n"));
    Form1 window;
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages()[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(messages()[0].icon, services::MessageIcon::Warning);
    EXPECT_TRUE(messages()[0].text.endsWith(reportTail(QStringLiteral("Form1.Form_Load"), 108)))
        << messages()[0].text.toStdString();
    EXPECT_FALSE(window.mousePointer().hasCustomCursor());
    EXPECT_EQ(window.txtAmountL[9]->text(), QStringLiteral("$0"));
    EXPECT_EQ(storedValue(QStringLiteral("txtAmountL9")), QStringLiteral("$0"));
}

TEST(HandPointer, CursorFileIsLoadedWithItsHotSpot)
{
    writeFileBytes(programDir() + QStringLiteral("/HAND-M.CUR"), cursorFile(5, 7));
    Form1 window;
    EXPECT_TRUE(messages().isEmpty()) << messages().value(0).text.toStdString();
    ASSERT_TRUE(window.mousePointer().hasCustomCursor());
    window.mousePointer().set(99);
    const QCursor shown = window.PushButton1->cursor();
    EXPECT_EQ(shown.shape(), Qt::BitmapCursor);
    EXPECT_EQ(shown.hotSpot(), QPoint(5, 7));
    EXPECT_EQ(shown.pixmap().size(), QSize(32, 32));
}

TEST(HandPointer, MissingFileIsNoErrorAndLeavesTheArrow)
{
    Form1 window;
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_FALSE(window.mousePointer().hasCustomCursor());
    window.mousePointer().set(99);
    EXPECT_EQ(window.PushButton1->cursor().shape(), Qt::ArrowCursor);
}

// ---------------------------------------------------------------- reg.txt

TEST(Dump, SecondStartListsTheStoredEntries)
{
    {
        Form1 first;
        first.txtAssets[7]->setText(QStringLiteral("  Land and yards "));
    }
    Form1 second;
    QFile dump(programDir() + QStringLiteral("/reg.txt"));
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(dump.readAll());
    ASSERT_TRUE(text.endsWith(QStringLiteral("\r\n")));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& line : lines)
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r')) << line.toStdString();

    QStringList expected{QStringLiteral("dtpFrom: ") + usShortDate(QDate::currentDate()),
                         QStringLiteral("txtAssets7: Land and yards")};
    for (const QString& key : amountKeys())
        expected << key + QStringLiteral(": $0");
    lines.sort();
    expected.sort();
    EXPECT_EQ(lines, expected);
}

TEST(Dump, UncreatableFileIsReportedOnce)
{
    writeSettingsFile({{QStringLiteral("txtAssets0"), QStringLiteral("Cash")},
                       {QStringLiteral("txtAmountAssets0"), QStringLiteral("$10")},
                       {QStringLiteral("dtpFrom"), QStringLiteral("1/2/2020")}});
    ASSERT_TRUE(QDir().mkpath(programDir() + QStringLiteral("/reg.txt")));
    // Nor in the user's state folder, where it goes when not beside the program.
    ASSERT_TRUE(QDir().mkpath(services::userStateFolder() + QStringLiteral("/reg.txt")));
    Form1 window;
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages()[0].text.endsWith(reportTail(QStringLiteral("Main.RegistryCapture"), 102)))
        << messages()[0].text.toStdString();
    EXPECT_EQ(window.txtAmountAssets[0]->text(), QStringLiteral("$10"));
    EXPECT_EQ(window.dtpFrom->date(), QDate(2020, 1, 2));
}

// ---------------------------------------------------------------- closing

TEST(Closing, EndsTheRunningEventLoop)
{
    // Only the entry window's own closing may end the loop here: another
    // window stays open and closing the last window is not enough.
    QApplication::setQuitOnLastWindowClosed(false);
    QWidget other;
    other.show();
    Form1 window;
    window.show();
    QTimer::singleShot(0, &window, [&] { window.close(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(42); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(window.isVisible());
}
