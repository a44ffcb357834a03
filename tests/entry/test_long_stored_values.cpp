// Stored values far longer than anyone types, as a damaged or hand-edited
// settings file can hold: start-up reads each in bounded time, reports what
// it cannot restore in a box of readable size, and never stores a cut copy
// over the whole value.
#include "entry/Form1.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDate>
#include <QDateEdit>
#include <QElapsedTimer>

using entry::Form1;
using entry_tests::messages;
using entry_tests::reportTail;
using testing_support::storedValue;
using testing_support::writeSettingsFile;

namespace {

constexpr int kTenMegabytes = 10 * 1024 * 1024;
constexpr int kBoxMaximum = 1 << 20;
// Start-up with a 10 MB value takes a second or two, several under the
// sanitizers; this bound only catches work that grows faster than the value.
constexpr qint64 kGenerousMilliseconds = 60000;

QString usShortDate(const QDate& date)
{
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year());
}

// An earlier run's file: every entry start-up stores already in its stored
// form, and the long values.
void writeEarlierRunsFile(const QList<std::pair<QString, QString>>& longValues)
{
    QList<std::pair<QString, QString>> values;
    for (const QString& amountKey : entry_tests::amountKeys())
        values.append({amountKey, QStringLiteral("$0")});
    values.append({QStringLiteral("dtpFrom"), usShortDate(QDate::currentDate())});
    values.append(longValues); // the last value of a key wins
    writeSettingsFile(values);
}

// What the control stored under `key` shows: a box's text, a picker's date.
QString shownIn(Form1& window, const QString& key)
{
    if (auto* picker = window.findChild<QDateEdit*>(key))
        return picker->date().toString(Qt::ISODate);
    if (auto* box = window.findChild<QLineEdit*>(key))
        return box->text();
    return QStringLiteral("<no control named %1>").arg(key);
}

// lead, then unit repeated up to 10 MB, then tail.
struct LongValue {
    const char* name;
    const char* key;
    const char* lead;
    const char* unit;
    const char* tail;
    int line;
    const char* descriptionStart;
    const char* descriptionEnd;
    const char* shown;
};

void PrintTo(const LongValue& c, std::ostream* os)
{
    *os << c.name;
}

QString tenMegabytesOf(const LongValue& c)
{
    const QString unit = QLatin1String(c.unit);
    return QLatin1String(c.lead) + unit.repeated(kTenMegabytes / unit.size()) + QLatin1String(c.tail);
}

class TenMegabyteStoredValue : public ::testing::TestWithParam<LongValue> {};

} // namespace

TEST_P(TenMegabyteStoredValue, IsReportedShortAndLeftAsStored)
{
    const LongValue& c = GetParam();
    const QString key = QLatin1String(c.key);
    const QString value = tenMegabytesOf(c);
    writeEarlierRunsFile({{key, value}});

    QElapsedTimer clock;
    clock.start();
    Form1 window;
    EXPECT_LT(clock.elapsed(), kGenerousMilliseconds);

    ASSERT_EQ(messages().size(), 1);
    const QString text = messages().first().text;
    const QString tail = QLatin1String(c.descriptionEnd) + reportTail(QStringLiteral("Form1.Form_Load"), c.line);
    EXPECT_TRUE(text.startsWith(QLatin1String(c.descriptionStart))) << text.left(200).toStdString();
    EXPECT_TRUE(text.endsWith(tail)) << text.right(200).toStdString();
    EXPECT_LE(text.size(), 1000 + tail.size()) << "the description is shown elided";
    EXPECT_EQ(shownIn(window, key), QLatin1String(c.shown));
    EXPECT_TRUE(storedValue(key) == value) << "the stored value changed";
    // The rest of start-up went on.
    EXPECT_EQ(window.txtAmountL[9]->text(), QStringLiteral("$0"));
    EXPECT_EQ(window.txtLiabilities[9]->text(), QStringLiteral(" Capital stock"));
}

INSTANTIATE_TEST_SUITE_P(
    Stored, TenMegabyteStoredValue,
    ::testing::Values(
        LongValue{"AmountOfOneAndZeros", "txtAmountAssets3", "1", "0", "", 140, "Type mismatch: \"1000",
                  "000\" is not a number.", ""},
        LongValue{"AmountOfDigitsEndingInALetter", "txtAmountL4", "", "7", "x", 178, "Type mismatch: \"777",
                  "77x\" is not a number.", ""},
        LongValue{"AmountOfWords", "txtAmountAssets0", "", "Lorem ipsum ", "", 156, "Type mismatch: \"orem ipsum",
                  "ipsum \" is not a number.", ""},
        LongValue{"Date", "dtpFrom", "3/15/2024", "9", "", 130, "\"3/15/20249999", "999\" is not a date.",
                  "2010-01-21"},
        LongValue{"AssetCaption", "txtAssets3", "", "Inventory ", "", 134,
                  "The stored text of \"txtAssets3\" is 10485760 characters long; the box holds at most 1048576, "
                  "so it was left as stored.",
                  "", " Inventory"},
        LongValue{"LiabilityCaption", "txtLiabilities7", "", "Mortgage", "", 170,
                  "The stored text of \"txtLiabilities7\" is 10485760 characters long; the box holds at most "
                  "1048576, so it was left as stored.",
                  "", " Mortgage"}),
    [](const auto& instance) { return std::string(instance.param.name); });

// The box's own limit decides: as long as it holds is restored whole, one
// character more stays out of the box.
TEST(LongStoredCaption, AsLongAsTheBoxHoldsIsRestoredAndOneMoreIsLeftAsStored)
{
    const QString fits = QStringLiteral("Cash ").repeated(kBoxMaximum / 5) + QString(kBoxMaximum % 5, u'.');
    const QString tooLong = fits + u'!';
    ASSERT_EQ(fits.size(), kBoxMaximum);
    writeEarlierRunsFile({{QStringLiteral("txtAssets0"), fits}, {QStringLiteral("txtLiabilities2"), tooLong}});
    Form1 window;
    EXPECT_TRUE(window.txtAssets[0]->text() == fits);
    EXPECT_EQ(window.txtLiabilities[2]->text(), QStringLiteral(" Current portion of long-term notes"));
    EXPECT_TRUE(storedValue(QStringLiteral("txtAssets0")) == fits);
    EXPECT_TRUE(storedValue(QStringLiteral("txtLiabilities2")) == tooLong);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages().first().text,
              QStringLiteral("The stored text of \"txtLiabilities2\" is 1048577 characters long; the box holds at "
                             "most 1048576, so it was left as stored.")
                  + reportTail(QStringLiteral("Form1.Form_Load"), 170));
}
