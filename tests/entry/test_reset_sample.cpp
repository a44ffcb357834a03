// "Clear/Reset Amounts" and "Load Sample/Example Amounts": the texts they put
// into each amount box, what gets stored, and how a failing store is reported.
#include "entry/Form1.h"
#include "services/SettingsStore.h"
#include "tests/entry/EntryTestSupport.h"

#include <QDateEdit>
#include <QPushButton>

using entry::Form1;
using entry_tests::amountBoxes;
using entry_tests::captionBoxes;
using entry_tests::messages;
using entry_tests::reportTail;
using testing_support::storedValue;

namespace {

// The sample by amount box index: 14 assets, then 10 liabilities.
const char* const kSample[24] = {
    "$100,000", "$300,000", "$40,000",  "$150,000", "$50,000", "$88,000", "$200,000", "$120,000",
    "$550,000", "$43,000",  "$110,000", "$8,000",   "$30,000", "$5,000",  "$58,000",  "$10,000",
    "$5,000",   "$10,000",  "$72,000",  "$44,000",  "$0",      "$0",      "$248,000", "$110,000",
};

QStringList textsOf(const QList<QLineEdit*>& boxes)
{
    QStringList texts;
    for (QLineEdit* box : boxes)
        texts << box->text();
    return texts;
}

// Everything but the amounts, as the window shows it and as it is stored.
struct Untouched {
    QStringList captions;
    QDate date;
    QString storedDate;
    QStringList storedCaptions;

    static Untouched of(Form1& window)
    {
        Untouched u;
        u.captions = textsOf(captionBoxes(window));
        u.date = window.dtpFrom->date();
        u.storedDate = storedValue(QStringLiteral("dtpFrom"));
        for (QLineEdit* box : captionBoxes(window))
            u.storedCaptions << storedValue(box->objectName());
        return u;
    }
    bool operator==(const Untouched&) const = default;
};

class ResetSampleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Some entries of the user's that the buttons must leave alone.
        window.txtAssets[3]->setText(QStringLiteral("Stock on hand"));
        window.txtLiabilities[7]->clear();
        window.dtpFrom->setDate(QDate(2021, 8, 31));
        const QList<QLineEdit*> boxes = amountBoxes(window);
        for (int i = 0; i < boxes.size(); ++i)
            boxes[i]->setText(QStringLiteral("$%1").arg(i + 1));
        before = Untouched::of(window);
    }

    void expectSample()
    {
        QStringList sample;
        for (const char* text : kSample)
            sample << QString::fromLatin1(text);
        entry_tests::expectAmountsShownAndStored(window, sample);
    }

    void expectZeros() { entry_tests::expectEveryAmountShownAndStored(window, QStringLiteral("$0")); }

    // A second click on the button puts in the same texts as the first.
    void expectSecondClickChangesNothing(QPushButton* button)
    {
        button->click();
        const QStringList once = textsOf(amountBoxes(window));
        button->click();
        EXPECT_EQ(textsOf(amountBoxes(window)), once);
    }

    // The amount box standing on the same row as a caption box.
    QLineEdit* amountBesideCaption(QLineEdit* caption, const QList<QLineEdit*>& amounts)
    {
        for (QLineEdit* box : amounts) {
            if (box->geometry().top() == caption->geometry().top())
                return box;
        }
        return nullptr;
    }

    Form1 window;
    Untouched before;
};

// Makes the settings file unwritable: its folder becomes a plain file.
// (Tests run as root, so permission bits would not stop a write.)
void breakTheStore()
{
    const QString folder = testing_support::configHome() + QStringLiteral("/Quillmere");
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
}

} // namespace

TEST_F(ResetSampleTest, ResetPutsZeroInEveryAmountAndStoresIt)
{
    window.PushButton1->click();
    expectZeros();
    EXPECT_TRUE(Untouched::of(window) == before);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(ResetSampleTest, ResetTwiceGivesTheSameTexts)
{
    expectSecondClickChangesNothing(window.PushButton1);
    expectZeros();
}

TEST_F(ResetSampleTest, SamplePutsItsTextIntoEachAmountBoxAndStoresIt)
{
    window.PushButton2->click();
    expectSample();
    EXPECT_TRUE(Untouched::of(window) == before);
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(ResetSampleTest, SampleGoesByAmountBoxNotByCaption)
{
    window.PushButton2->click();
    const QList<QLineEdit*> assets(window.txtAmountAssets.begin(), window.txtAmountAssets.end());
    const QList<QLineEdit*> liabilities(window.txtAmountL.begin(), window.txtAmountL.end());
    // Row 12 holds caption box 13 and amount box 11; row 14 the reverse.
    QLineEdit* row12 = amountBesideCaption(window.txtAssets[13], assets);
    QLineEdit* row14 = amountBesideCaption(window.txtAssets[11], assets);
    ASSERT_EQ(row12, window.txtAmountAssets[11]);
    ASSERT_EQ(row14, window.txtAmountAssets[13]);
    EXPECT_EQ(row12->text(), QStringLiteral("$8,000"));
    EXPECT_EQ(row14->text(), QStringLiteral("$5,000"));
    // The Mortgage row and the row below it both get zero.
    EXPECT_EQ(amountBesideCaption(window.txtLiabilities[7], liabilities)->text(), QStringLiteral("$0"));
    EXPECT_EQ(amountBesideCaption(window.txtLiabilities[6], liabilities)->text(), QStringLiteral("$0"));
    // Capital stock sits on row 9 beside amount box 8.
    EXPECT_EQ(amountBesideCaption(window.txtLiabilities[9], liabilities)->text(), QStringLiteral("$248,000"));
}

TEST_F(ResetSampleTest, SampleTwiceGivesTheSameTexts)
{
    expectSecondClickChangesNothing(window.PushButton2);
    expectSample();
}

TEST_F(ResetSampleTest, SampleThenResetLeavesZeros)
{
    window.PushButton2->click();
    window.PushButton1->click();
    expectZeros();
}

TEST_F(ResetSampleTest, RealClicksOnTheButtonsRunThem)
{
    ASSERT_TRUE(entry_tests::showActive(window));
    entry_tests::click(window.PushButton2);
    expectSample();
    entry_tests::click(window.PushButton1);
    expectZeros();
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(ResetSampleTest, SampleTextsAreNotCheckedWhenPutIn)
{
    // The sample goes in as it stands and the focus stays where it was.
    ASSERT_TRUE(entry_tests::showActive(window));
    window.txtAssets[0]->setFocus(Qt::OtherFocusReason);
    entry_tests::settle();
    window.PushButton2->click();
    EXPECT_EQ(QApplication::focusWidget(), window.txtAssets[0]);
    EXPECT_TRUE(messages().isEmpty());
}

// A store that cannot be written is reported once, at the first box, not
// for each of the 24; every box still gets its text.
TEST_F(ResetSampleTest, FailingStoreIsReportedOnceForTheResetAndTheSample)
{
    breakTheStore();
    const struct {
        QPushButton* button;
        const char* procedure;
    } commands[] = {{window.PushButton1, "Form1.PushButton1_Click"}, {window.PushButton2, "Form1.PushButton2_Click"}};
    for (const auto& command : commands) {
        services::reopenSettingsStoreForTesting();
        messages().clear();
        command.button->click();
        ASSERT_EQ(messages().size(), 1) << command.procedure;
        const auto& shown = messages()[0];
        EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
        EXPECT_EQ(shown.icon, services::MessageIcon::Warning);
        EXPECT_TRUE(shown.text.endsWith(reportTail(QLatin1String(command.procedure), 100))) << shown.text.toStdString();
        EXPECT_TRUE(shown.text.contains(testing_support::settingsFilePath())) << "the report names the file";
    }
    const QList<QLineEdit*> boxes = amountBoxes(window);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(boxes[i]->text(), QString::fromLatin1(kSample[i])) << boxes[i]->objectName().toStdString();
}
