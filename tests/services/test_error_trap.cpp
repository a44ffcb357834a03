#include "services/ErrorTrap.h"
#include "services/Failure.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using services::ErrorTrap;
using services::Failure;
using services::MessageIcon;
using testing_support::recordedDialogs;

namespace {

const QString kDumpLocation = QStringLiteral("in Corvantis2021/08/31.Main.RegistryCapture ");
const QString kLoadLocation = QStringLiteral("in Corvantis2021/08/31.Form1.Form_Load ");

QString screenshotRequest()
{
    return QStringLiteral("Please email screenshot of this message to ") + QLatin1String(services::kSupportEmail);
}

// The whole report of `description` failing at `line` of `location`.
QString reportOf(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line)
        + QStringLiteral("\r\r") + screenshotRequest();
}

QStringList shownTexts()
{
    QStringList texts;
    for (const auto& message : recordedDialogs().messages)
        texts << message.text;
    return texts;
}

// Has no trap of its own, like most routines of the program.
void untrappedRoutineThatFails()
{
    throw Failure(QStringLiteral("Path not found"));
}

// A reporting procedure of its own, called from a step of another one.
void innerProcedure(std::vector<int>& ran)
{
    ErrorTrap inner(services::locationText(QStringLiteral("Main"), QStringLiteral("RegistryCapture")));
    inner.step(100, [&] { ran.push_back(1100); });
    inner.step(102, [&] { throw Failure(QStringLiteral("inner failure")); });
    inner.step(104, [&] { ran.push_back(1104); });
}

// A text box whose change handler fails, as a store that cannot save would.
struct FailingBox {
    QLineEdit box;
    int calls = 0;

    explicit FailingBox(QString description)
    {
        QObject::connect(&box, &QLineEdit::textChanged, &box, [this, description](const QString&) {
            services::runHandler([&] {
                ++calls;
                throw Failure(description);
            });
        });
    }
};

} // namespace

TEST(ErrorTrap, LocationTextEndsInOneBlank)
{
    EXPECT_EQ(services::locationText(QStringLiteral("Main"), QStringLiteral("RegistryCapture")), kDumpLocation);
    EXPECT_EQ(services::locationText(QStringLiteral("Form2"), QStringLiteral("picture1_MouseDown")),
              QStringLiteral("in Corvantis2021/08/31.Form2.picture1_MouseDown "));
}

TEST(ErrorTrap, SupportAddressIsAnAddress)
{
    const QString address = QLatin1String(services::kSupportEmail);
    EXPECT_EQ(address.count(u'@'), 1);
    EXPECT_FALSE(address.startsWith(u'@'));
    EXPECT_FALSE(address.endsWith(u'@'));
    EXPECT_FALSE(address.contains(u' '));
}

TEST(ErrorTrap, ReportTextTitleAndIconAreExact)
{
    {
        ErrorTrap trap(kDumpLocation);
        trap.step(100, [] {});
        trap.step(102, [] {});
        trap.step(104, [] { throw Failure(QStringLiteral("Disk full")); });
    }
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const auto& shown = recordedDialogs().messages.front();
    EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
    EXPECT_EQ(shown.icon, MessageIcon::Warning);
    EXPECT_EQ(shown.text,
              QStringLiteral("Disk full\r\nin Corvantis2021/08/31.Main.RegistryCapture at line 104\r\r")
                  + screenshotRequest());
}

TEST(ErrorTrap, StepNumberIsWrittenInPlainDigits)
{
    EXPECT_EQ(services::errorReportText(QStringLiteral("Bad name"), kLoadLocation, 1000),
              QStringLiteral("Bad name\r\nin Corvantis2021/08/31.Form1.Form_Load at line 1000\r\r")
                  + screenshotRequest());
}

TEST(ErrorTrap, FailureInFirstStepReports100)
{
    ErrorTrap trap(kDumpLocation);
    EXPECT_FALSE(trap.step(100, [] { throw Failure(QStringLiteral("Object required")); }));
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages.front().text, reportOf(QStringLiteral("Object required"), kDumpLocation, 100));
}

TEST(ErrorTrap, TwoFailingStepsGiveTwoReportsAndTheOtherStepsRun)
{
    std::vector<int> ran;
    {
        ErrorTrap trap(kDumpLocation);
        EXPECT_TRUE(trap.step(100, [&] { ran.push_back(100); }));
        EXPECT_FALSE(trap.step(102, [&] {
            throw Failure(QStringLiteral("first"));
            ran.push_back(102); // the rest of a failing step never runs
        }));
        EXPECT_TRUE(trap.step(104, [&] { ran.push_back(104); }));
        EXPECT_FALSE(trap.step(106, [&] { throw Failure(QStringLiteral("second")); }));
        EXPECT_TRUE(trap.step(108, [&] { ran.push_back(108); }));
    }
    EXPECT_EQ(ran, (std::vector<int>{100, 104, 108}));
    EXPECT_EQ(shownTexts(),
              (QStringList{reportOf(QStringLiteral("first"), kDumpLocation, 102),
                           reportOf(QStringLiteral("second"), kDumpLocation, 106)}));
}

TEST(ErrorTrap, SameStepFailingInEveryRoundOfALoopIsReportedEachTime)
{
    ErrorTrap trap(kDumpLocation);
    int rounds = 0;
    for (int i = 0; i < 3; ++i) {
        trap.step(110, [&] {
            ++rounds;
            throw Failure(QStringLiteral("round %1").arg(i));
        });
    }
    EXPECT_EQ(rounds, 3);
    ASSERT_EQ(recordedDialogs().messages.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(recordedDialogs().messages[i].text.startsWith(QStringLiteral("round %1\r\n").arg(i) + kDumpLocation
                                                                  + QStringLiteral("at line 110\r\r")));
}

TEST(ErrorTrap, FailureInLastStepEndsTheProcedureWithOneReport)
{
    bool returned = false;
    auto procedure = [&] {
        ErrorTrap trap(kDumpLocation);
        trap.step(100, [] {});
        trap.step(102, [] { throw Failure(QStringLiteral("last")); });
        returned = true;
    };
    procedure();
    EXPECT_TRUE(returned);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages.front().text.startsWith(QStringLiteral("last\r\n") + kDumpLocation
                                                                   + QStringLiteral("at line 102\r\r")));
}

TEST(ErrorTrap, EmptyDescriptionStartsTheTextWithTheLineBreak)
{
    ErrorTrap trap(kLoadLocation);
    trap.step(100, [] { throw Failure(QString()); });
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages.front().text,
              QStringLiteral("\r\nin Corvantis2021/08/31.Form1.Form_Load at line 100\r\r") + screenshotRequest());
}

TEST(ErrorTrap, StandardExceptionTextIsShownAsUtf8)
{
    ErrorTrap trap(kLoadLocation);
    trap.step(130, [] {
        throw std::runtime_error("\xC3\x9C"
                                 "berlauf");
    });
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages.front().text.startsWith(QStringLiteral(u"\u00DCberlauf\r\n") + kLoadLocation
                                                                   + QStringLiteral("at line 130")));
}

TEST(ErrorTrap, ForeignExceptionIsReportedAndTheProcedureGoesOn)
{
    bool nextRan = false;
    {
        ErrorTrap trap(kLoadLocation);
        EXPECT_FALSE(trap.step(100, [] { throw 42; }));
        trap.step(102, [&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString text = recordedDialogs().messages.front().text;
    EXPECT_TRUE(text.contains(QStringLiteral("\r\n") + kLoadLocation + QStringLiteral("at line 100\r\r")));
    EXPECT_FALSE(text.startsWith(QStringLiteral("\r\n"))) << "a foreign failure still gets a description";
}

TEST(ErrorTrap, FailureInUntrappedRoutineNamesTheCallersPlaceAndStep)
{
    bool nextRan = false;
    {
        ErrorTrap trap(kLoadLocation);
        trap.step(104, [] {});
        trap.step(106, [] { untrappedRoutineThatFails(); });
        trap.step(108, [&] { nextRan = true; });
    }
    EXPECT_TRUE(nextRan);
    EXPECT_EQ(shownTexts(),
              QStringList{QStringLiteral("Path not found\r\nin Corvantis2021/08/31.Form1.Form_Load "
                                         "at line 106\r\r")
                          + screenshotRequest()});
}

TEST(ErrorTrap, NestedTrapReportsItsOwnPlaceAndTheOuterGoesOn)
{
    std::vector<int> ran;
    {
        ErrorTrap outer(kLoadLocation);
        EXPECT_TRUE(outer.step(126, [&] { innerProcedure(ran); }));
        EXPECT_FALSE(outer.step(128, [&] { throw Failure(QStringLiteral("outer failure")); }));
        outer.step(130, [&] { ran.push_back(130); });
    }
    EXPECT_EQ(ran, (std::vector<int>{1100, 1104, 130}));
    EXPECT_EQ(shownTexts(),
              (QStringList{reportOf(QStringLiteral("inner failure"), kDumpLocation, 102),
                           reportOf(QStringLiteral("outer failure"), kLoadLocation, 128)}));
}

TEST(ErrorTrap, ActiveTrapIsTheInnermostAndEndsWithItsProcedure)
{
    EXPECT_EQ(ErrorTrap::active(), nullptr);
    {
        ErrorTrap outer(kLoadLocation);
        outer.step(100, [&] {
            EXPECT_EQ(ErrorTrap::active(), &outer);
            ErrorTrap inner(kDumpLocation);
            inner.step(100, [&] { EXPECT_EQ(ErrorTrap::active(), &inner); });
        });
        outer.step(102, [&] { EXPECT_EQ(ErrorTrap::active(), &outer); });
    }
    EXPECT_EQ(ErrorTrap::active(), nullptr);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(ErrorTrap, HandlerFailureIsReportedWithTheStepThatCausedTheSignal)
{
    FailingBox failing(QStringLiteral("The setting could not be saved"));
    std::vector<int> ran;
    {
        ErrorTrap trap(kLoadLocation);
        EXPECT_TRUE(trap.step(100, [&] { ran.push_back(100); }));
        EXPECT_FALSE(trap.step(102, [&] { failing.box.setText(QStringLiteral("Cash")); }));
        EXPECT_TRUE(trap.step(104, [&] { ran.push_back(104); })) << "the failure belongs to step 102 only";
    }
    EXPECT_EQ(failing.calls, 1);
    EXPECT_EQ(ran, (std::vector<int>{100, 104}));
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages.front().title, QStringLiteral("Application Error"));
    EXPECT_EQ(recordedDialogs().messages.front().text,
              reportOf(QStringLiteral("The setting could not be saved"), kLoadLocation, 102));
}

TEST(ErrorTrap, HandlerFailureInsideANestedProcedureGoesToTheInnerTrap)
{
    FailingBox failing(QStringLiteral("store refused"));
    {
        ErrorTrap outer(kLoadLocation);
        outer.step(126, [&] {
            ErrorTrap inner(kDumpLocation);
            inner.step(110, [&] { failing.box.setText(QStringLiteral("a")); });
        });
        outer.step(128, [&] { failing.box.setText(QStringLiteral("b")); });
    }
    EXPECT_EQ(shownTexts(),
              (QStringList{reportOf(QStringLiteral("store refused"), kDumpLocation, 110),
                           reportOf(QStringLiteral("store refused"), kLoadLocation, 128)}));
}

TEST(ErrorTrap, FirstFailureOfAStepIsTheOneReported)
{
    FailingBox first(QStringLiteral("first handler"));
    FailingBox second(QStringLiteral("second handler"));
    {
        ErrorTrap trap(kLoadLocation);
        trap.step(134, [&] {
            first.box.setText(QStringLiteral("x"));
            second.box.setText(QStringLiteral("y"));
        });
        trap.step(136, [&] {
            first.box.setText(QStringLiteral("z"));
            throw Failure(QStringLiteral("the step's own failure"));
        });
    }
    EXPECT_EQ(shownTexts(),
              (QStringList{reportOf(QStringLiteral("first handler"), kLoadLocation, 134),
                           reportOf(QStringLiteral("first handler"), kLoadLocation, 136)}));
}

TEST(ErrorTrap, HandlerFailureOutsideAnyStepIsReportedAtOnceUnderTheLastStep)
{
    FailingBox failing(QStringLiteral("between steps"));
    {
        ErrorTrap trap(kLoadLocation);
        trap.step(106, [] {});
        failing.box.setText(QStringLiteral("typed")); // between two steps
        EXPECT_EQ(recordedDialogs().messages.size(), 1) << "reported when it happened";
        EXPECT_TRUE(trap.step(108, [] {})) << "a sound step must not inherit an earlier failure";
    }
    EXPECT_EQ(shownTexts(), QStringList{reportOf(QStringLiteral("between steps"), kLoadLocation, 106)});
}

TEST(ErrorTrap, HandlerFailureIsNeverLostWhenNoStepFollows)
{
    FailingBox failing(QStringLiteral("late failure"));
    {
        ErrorTrap trap(kLoadLocation);
        trap.step(100, [] {});
        failing.box.setText(QStringLiteral("typed"));
    }
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages.front().text.startsWith(QStringLiteral("late failure\r\n")));
}

TEST(ErrorTrap, HandlerFailureWithNoTrapIsShownAtOnce)
{
    FailingBox failing(QStringLiteral("Could not store the amount"));
    ASSERT_EQ(ErrorTrap::active(), nullptr);
    failing.box.setText(QStringLiteral("500"));
    EXPECT_EQ(failing.box.text(), QStringLiteral("500"));
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const auto& shown = recordedDialogs().messages.front();
    EXPECT_EQ(shown.title, QStringLiteral("Application Error"));
    EXPECT_EQ(shown.icon, MessageIcon::Warning);
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("Could not store the amount\r")));
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("\r\r") + screenshotRequest()));
    EXPECT_FALSE(shown.text.contains(QStringLiteral("at line")));

    // The next change fails and is shown again: nothing was left pending.
    failing.box.setText(QStringLiteral("600"));
    EXPECT_EQ(recordedDialogs().messages.size(), 2);
}

TEST(ErrorTrap, HandlerThatSucceedsLeavesNoTrace)
{
    QLineEdit box;
    int calls = 0;
    QObject::connect(&box, &QLineEdit::textChanged, &box,
                     [&](const QString&) { services::runHandler([&] { ++calls; }); });
    {
        ErrorTrap trap(kLoadLocation);
        EXPECT_TRUE(trap.step(100, [&] { box.setText(QStringLiteral("x")); }));
    }
    box.setText(QStringLiteral("y"));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

// ---------------------------------------------------------------- long descriptions

namespace {

QString linesJoined(int count, const QString& lineBreak)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines.join(lineBreak);
}

const QString kMoneyBag = QStringLiteral(u"\U0001F4B0"); // two UTF-16 units

struct Elision {
    const char* name;
    QString description;
    QString shown;
};

void PrintTo(const Elision& c, std::ostream* os)
{
    *os << c.name;
}

const QString kEllipsis = QString(QChar(0x2026));

class ElidedDescription : public ::testing::TestWithParam<Elision> {};

} // namespace

// The box shows the start and the end of a long description; a readable one
// is shown as it is.
TEST_P(ElidedDescription, InTheReport)
{
    EXPECT_EQ(services::errorReportText(GetParam().description, kLoadLocation, 140),
              reportOf(GetParam().shown, kLoadLocation, 140));
}

INSTANTIATE_TEST_SUITE_P(
    ErrorTrap, ElidedDescription,
    ::testing::Values(Elision{"ThousandCharactersWhole", QString(1000, u'a'), QString(1000, u'a')},
                      Elision{"OneMoreLosesItsMiddle", QString(700, u'h') + QString(51, u'm') + QString(250, u't'),
                              QString(700, u'h') + kEllipsis + QString(250, u't')},
                      Elision{"FifteenLinesWhole", linesJoined(15, QStringLiteral("\r\n")),
                              linesJoined(15, QStringLiteral("\r\n"))},
                      Elision{"SixteenLinesKeepTheFirstTenAndLastFour", linesJoined(16, QStringLiteral("\n")),
                              linesJoined(10, QStringLiteral("\n")) + kEllipsis
                                  + QStringLiteral("line 13\nline 14\nline 15\nline 16")},
                      Elision{"NoLineBreakBesideTheMark", linesJoined(16, QStringLiteral("\r\n")),
                              linesJoined(10, QStringLiteral("\r\n")) + kEllipsis
                                  + QStringLiteral("line 13\r\nline 14\r\nline 15\r\nline 16")},
                      Elision{"CarriageReturnsAloneBreakLinesToo", linesJoined(30, QStringLiteral("\r")),
                              linesJoined(10, QStringLiteral("\r")) + kEllipsis
                                  + QStringLiteral("line 27\rline 28\rline 29\rline 30")},
                      Elision{"NoCharacterIsHalved", u'x' + kMoneyBag.repeated(600) + u'y',
                              u'x' + kMoneyBag.repeated(349) + kEllipsis + kMoneyBag.repeated(124) + u'y'}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(ErrorTrap, TenMegabyteDescriptionIsReportedWithItsStartAndEnd)
{
    const QString value = u'1' + QString(10 * 1024 * 1024, u'0');
    ErrorTrap trap(kLoadLocation);
    trap.step(140, [&] { throw Failure(QStringLiteral("Type mismatch: \"%1\" is not a number.").arg(value)); });
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(recordedDialogs().messages.front().text,
              reportOf(QStringLiteral("Type mismatch: \"1") + QString(683, u'0') + kEllipsis + QString(232, u'0')
                           + QStringLiteral("\" is not a number."),
                       kLoadLocation, 140));
}

TEST(ErrorTrap, FailureWithNoTrapIsElidedAlike)
{
    QLineEdit box;
    QObject::connect(&box, &QLineEdit::textChanged, &box,
                     [](const QString& text) { services::runHandler([&] { throw Failure(text); }); });
    box.setText(QString(700, u'h') + QString(5000, u'm') + QString(250, u't'));
    EXPECT_EQ(shownTexts(),
              QStringList{QString(700, u'h') + kEllipsis + QString(250, u't') + QStringLiteral("\r\r")
                          + screenshotRequest()});
}

// The real box gets the same elided text the recording host gets, shows it
// as plain text, fits on the screen and comes up without delay.
TEST(ErrorReportBox, TenMegabyteDescriptionFitsTheScreen)
{
    const QString description = QStringLiteral("<b>\"") + QString(10 * 1024 * 1024, u'7') + QStringLiteral("\"</b>");
    services::showErrorReport(description, kLoadLocation, 142);
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString recorded = recordedDialogs().messages.front().text;

    services::setDialogHost(nullptr);
    const auto restoreHost = qScopeGuard([] { services::setDialogHost(&recordedDialogs()); });
    QString shownText;
    Qt::TextFormat format = Qt::AutoText;
    QSize size;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            format = box->textFormat();
            size = box->size();
            box->accept();
        }
    });
    poll.start(10);
    QElapsedTimer clock;
    clock.start();
    services::showErrorReport(description, kLoadLocation, 142);
    EXPECT_LT(clock.elapsed(), 20000);

    EXPECT_EQ(shownText, recorded);
    EXPECT_EQ(format, Qt::PlainText);
    const QSize screen = QApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(size.width(), screen.width());
    EXPECT_LE(size.height(), screen.height());
}
