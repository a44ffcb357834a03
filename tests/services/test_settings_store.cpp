#include "services/Failure.h"
#include "services/SettingsStore.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryFile>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

using services::reopenSettingsStoreForTesting;
using services::settingsStore;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;
using testing_support::configHome;
using testing_support::readFileBytes;
using testing_support::recordedDialogs;
using testing_support::settingsFilePath;
using testing_support::writeFileBytes;

namespace {

QString companyFolder()
{
    return configHome() + QStringLiteral("/Quillmere");
}

// Names of the copies kept aside beside the settings file.
QStringList keptCopies()
{
    return QDir(companyFolder())
        .entryList({QStringLiteral("Corvantis.ini.damaged-*")}, QDir::AllEntries | QDir::Hidden | QDir::System,
                   QDir::Name);
}

// QSettings in one process shares its parsed copy of a file by name, pending
// changes included; what is really on disk shows only in a private copy.
class DiskCopy {
public:
    DiskCopy()
    {
        copy_.open();
        copy_.write(readFileBytes(settingsFilePath()));
        copy_.flush();
        settings_ = std::make_unique<QSettings>(copy_.fileName(), QSettings::IniFormat);
    }

    QSettings::Status status() const { return settings_->status(); }
    QString value(const QString& key) const
    {
        const QVariant value = settings_->value(QStringLiteral("Corvantis/") + key);
        return value.isValid() ? value.toString() : QStringLiteral("<missing>");
    }
    QStringList keys() const
    {
        settings_->beginGroup(QStringLiteral("Corvantis"));
        const QStringList keys = settings_->childKeys();
        settings_->endGroup();
        return keys;
    }

private:
    QTemporaryFile copy_;
    std::unique_ptr<QSettings> settings_;
};

std::string text(const QString& value)
{
    return value.toStdString();
}

// A damaged settings file: what is in it, and which entry must survive.
struct Damage {
    const char* name;
    QByteArray bytes;
};

std::ostream& operator<<(std::ostream& out, const Damage& damage)
{
    return out << damage.name;
}

struct StoredValue {
    const char* name;
    QString value;
};

std::ostream& operator<<(std::ostream& out, const StoredValue& stored)
{
    return out << stored.name;
}

QString longMixedText()
{
    const QString pieces = QStringLiteral(u"abc, =;#\"\\ \u00E4\u00F6\u20AC[x]@\t");
    QString value;
    value.reserve(100000);
    while (value.size() < 100000)
        value += pieces;
    value.truncate(100000);
    return value;
}

} // namespace

TEST(SettingsStore, DefaultOnlyForAMissingKey)
{
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets0"), QStringLiteral("Cash")), QStringLiteral("Cash"));
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Bank"));
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets0"), QStringLiteral("Cash")), QStringLiteral("Bank"));
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets1"), QStringLiteral("0")), QStringLiteral("0"));
}

TEST(SettingsStore, ExistingEmptyValueReadsAsEmpty)
{
    settingsStore().write(QStringLiteral("txtAmountAssets0"), QString());
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAmountAssets0"), QStringLiteral("0")), QString());
    reopenSettingsStoreForTesting();
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAmountAssets0"), QStringLiteral("0")), QString());
}

TEST(SettingsStore, ValueOfAnEarlierRunIsRead)
{
    testing_support::writeSettingsFile({{QStringLiteral("txtLiabilities3"), QStringLiteral("Taxes payable")}});
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtLiabilities3"), QString()), QStringLiteral("Taxes payable"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(SettingsStore, HandEditedValueWithBareCommasReadsAsWritten)
{
    writeFileBytes(settingsFilePath(), "[Corvantis]\ntxtAmountAssets0=$43,000\ntxtAmountL1=1,234,567\n");
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAmountAssets0"), QString()), QStringLiteral("$43,000"));
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAmountL1"), QString()), QStringLiteral("1,234,567"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

TEST(SettingsStore, KeysLiveInSectionCorvantisOfTheCompanyFile)
{
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    EXPECT_EQ(settingsStore().filePath(), settingsFilePath());
    EXPECT_TRUE(QFileInfo(settingsFilePath()).isFile());
    const QByteArray bytes = readFileBytes(settingsFilePath());
    EXPECT_TRUE(bytes.startsWith("[Corvantis]\n")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\ntxtAssets0=Cash\n")) << bytes.constData();
    EXPECT_EQ(DiskCopy().value(QStringLiteral("txtAssets0")), QStringLiteral("Cash"));
}

TEST(SettingsStore, PairsListEveryStoredEntry)
{
    EXPECT_TRUE(settingsStore().pairs().isEmpty());
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    settingsStore().write(QStringLiteral("txtAmountAssets0"), QStringLiteral("$43,000"));
    settingsStore().write(QStringLiteral("dtpFrom"), QStringLiteral("8/31/2021"));
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash at bank"));
    reopenSettingsStoreForTesting();
    EXPECT_THAT(settingsStore().pairs(),
                UnorderedElementsAre(Pair(QStringLiteral("txtAssets0"), QStringLiteral("Cash at bank")),
                                     Pair(QStringLiteral("txtAmountAssets0"), QStringLiteral("$43,000")),
                                     Pair(QStringLiteral("dtpFrom"), QStringLiteral("8/31/2021"))));
}

class StoredValueRoundTrip : public ::testing::TestWithParam<StoredValue> {};

TEST_P(StoredValueRoundTrip, ReadsBackExactlyAfterAFreshStart)
{
    const QString& value = GetParam().value;
    settingsStore().write(QStringLiteral("txtAssets7"), value);
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets7"), QStringLiteral("missing")), value);
    reopenSettingsStoreForTesting();
    const QString back = settingsStore().read(QStringLiteral("txtAssets7"), QStringLiteral("missing"));
    EXPECT_EQ(back.size(), value.size());
    EXPECT_TRUE(back == value) << "stored \"" << text(value.left(80)) << "\", read \"" << text(back.left(80)) << '"';
    const DiskCopy disk;
    EXPECT_EQ(disk.status(), QSettings::NoError);
    EXPECT_TRUE(disk.value(QStringLiteral("txtAssets7")) == value) << "as the next start reads the file";
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, StoredValueRoundTrip,
    ::testing::Values(
        StoredValue{"Blanks", QStringLiteral("  Cash at bank  ")}, StoredValue{"OnlyBlanks", QStringLiteral("   ")},
        StoredValue{"Amount", QStringLiteral("$43,000")}, StoredValue{"Commas", QStringLiteral("a,b,,c,")},
        StoredValue{"CommaAndBlank", QStringLiteral("Salaries, wages")},
        StoredValue{"Quotes", QStringLiteral("\"Cash\" and 'bank'")}, StoredValue{"LoneQuote", QStringLiteral("\"")},
        StoredValue{"Equals", QStringLiteral("a=b==")}, StoredValue{"Semicolon", QStringLiteral(";comment? no")},
        StoredValue{"Hash", QStringLiteral("#1 item")},
        StoredValue{"Backslashes", QStringLiteral("C:\\Temp\\vetrik\\")},
        StoredValue{"EscapeLookalike", QStringLiteral("\\n\\x41\\\"")},
        StoredValue{"LineBreaks", QStringLiteral("one\r\ntwo\nthree\tfour")},
        StoredValue{"SectionLookalike", QStringLiteral("[Corvantis]")},
        StoredValue{"VariantLookalike", QStringLiteral("@ByteArray(abc)")}, StoredValue{"AtSign", QStringLiteral("@")},
        StoredValue{"NonLatin",
                    QStringLiteral(u"\u0411\u0430\u043B\u0430\u043D\u0441 \u8CC7\u7523 \u00C9l\u00E8ve \U0001F4B0")},
        StoredValue{"NoBreakSpaces", QStringLiteral(u"1\u202F234\u00A0\u20AC")}, StoredValue{"Long", longMixedText()}),
    [](const ::testing::TestParamInfo<StoredValue>& instance) { return std::string(instance.param.name); });

// A file that cannot be read whole is kept aside untouched, the user is told
// once where, and what could be read is used.
class DamagedFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFile, IsKeptAsideAndTheReadableEntriesSurvive)
{
    const QByteArray damaged = GetParam().bytes;
    writeFileBytes(settingsFilePath(), damaged);

    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets0"), QStringLiteral("missing")), QStringLiteral("Cash"));
    settingsStore(); // a second use must not tell again

    const QStringList copies = keptCopies();
    ASSERT_EQ(copies.size(), 1) << text(copies.join(u' '));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Corvantis\\.ini\\.damaged-\\d{8}-\\d{6}$"))
                    .match(copies.front())
                    .hasMatch())
        << text(copies.front());
    const QString copy = companyFolder() + u'/' + copies.front();
    EXPECT_TRUE(readFileBytes(copy) == damaged) << "the copy must hold the damaged bytes unchanged";
    EXPECT_EQ(settingsStore().keptAsidePath(), copy);

    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    const QString shown = recordedDialogs().messages.front().text;
    EXPECT_TRUE(shown.contains(settingsFilePath())) << text(shown);
    EXPECT_TRUE(shown.contains(copy)) << text(shown);
    EXPECT_EQ(recordedDialogs().messages.front().icon, services::MessageIcon::Warning);

    // The new file is whole, and a second start has nothing to say.
    EXPECT_EQ(DiskCopy().status(), QSettings::NoError);
    settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));
    reopenSettingsStoreForTesting();
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets0"), QStringLiteral("missing")), QStringLiteral("Cash"));
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets1"), QStringLiteral("missing")),
              QStringLiteral("Receivables"));
    EXPECT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_EQ(keptCopies().size(), 1);
    EXPECT_TRUE(readFileBytes(copy) == damaged);
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStore, DamagedFile,
    ::testing::Values(
        Damage{"BinaryGarbage",
               QByteArrayLiteral("[Corvantis]\ntxtAssets0=Cash\n")
                   + QByteArray("\x00\x01\xFF\xFE\x80junk\x00\x7F", 11)},
        Damage{"InvalidUtf8", QByteArrayLiteral("[Corvantis]\ntxtAssets0=Cash\ntxtAssets5=Caf\xE9 au lait\n")},
        Damage{"BrokenSectionLine", QByteArrayLiteral("[Corvantis]\ntxtAssets0=Cash\n[Corvan\ntxtAssets5=Other\n")}),
    [](const ::testing::TestParamInfo<Damage>& instance) { return std::string(instance.param.name); });

TEST(SettingsStore, SecondDamagedFileGetsItsOwnCopy)
{
    const QByteArray first = QByteArrayLiteral("[Corvantis]\ntxtAssets0=Cash\n\xFF first\n");
    const QByteArray second = QByteArrayLiteral("[Corvantis]\ntxtAssets0=Cash\n\xFF second\n");
    writeFileBytes(settingsFilePath(), first);
    settingsStore();
    reopenSettingsStoreForTesting();
    writeFileBytes(settingsFilePath(), second);
    settingsStore();

    const QStringList copies = keptCopies();
    ASSERT_EQ(copies.size(), 2);
    QList<QByteArray> contents;
    for (const QString& name : copies)
        contents << readFileBytes(companyFolder() + u'/' + name);
    EXPECT_THAT(contents, UnorderedElementsAre(first, second));
    EXPECT_EQ(recordedDialogs().messages.size(), 2);
}

TEST(SettingsStore, FolderInPlaceOfTheFileIsMovedAsideAndWritesWork)
{
    ASSERT_TRUE(QDir().mkpath(settingsFilePath()));
    writeFileBytes(settingsFilePath() + QStringLiteral("/note.txt"), "someone's note");

    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));

    const QStringList copies = keptCopies();
    ASSERT_EQ(copies.size(), 1);
    const QString copy = companyFolder() + u'/' + copies.front();
    EXPECT_TRUE(QFileInfo(copy).isDir());
    EXPECT_EQ(readFileBytes(copy + QStringLiteral("/note.txt")), QByteArrayLiteral("someone's note"));
    ASSERT_EQ(recordedDialogs().messages.size(), 1);
    EXPECT_TRUE(recordedDialogs().messages.front().text.contains(copy));
    EXPECT_TRUE(recordedDialogs().messages.front().text.contains(settingsFilePath()));

    EXPECT_TRUE(QFileInfo(settingsFilePath()).isFile());
    reopenSettingsStoreForTesting();
    EXPECT_EQ(settingsStore().read(QStringLiteral("txtAssets0"), QString()), QStringLiteral("Cash"));
    EXPECT_EQ(recordedDialogs().messages.size(), 1);
}

TEST(SettingsStore, WriteThatCannotReachTheDiskNamesTheKey)
{
    ASSERT_TRUE(QDir(companyFolder()).removeRecursively());
    writeFileBytes(companyFolder(), "not a folder");
    settingsStore();
    try {
        settingsStore().write(QStringLiteral("txtAmountL4"), QStringLiteral("$500"));
        FAIL() << "the write claimed success";
    } catch (const services::Failure& failure) {
        EXPECT_TRUE(failure.description().contains(QStringLiteral("txtAmountL4"))) << text(failure.description());
    }
    EXPECT_TRUE(recordedDialogs().messages.isEmpty()) << "the caller reports";
}

TEST(SettingsStore, AFailingFileIsReportedOnceAndWhatWasTypedMeanwhileIsStoredLater)
{
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    ASSERT_TRUE(QDir(companyFolder()).removeRecursively());
    writeFileBytes(companyFolder(), "not a folder");
    EXPECT_THROW(settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Bank")), services::Failure);
    EXPECT_NO_THROW(settingsStore().write(QStringLiteral("txtAssets2"), QStringLiteral("Stock")));

    ASSERT_TRUE(QFile::remove(companyFolder()));
    EXPECT_NO_THROW(settingsStore().write(QStringLiteral("txtAssets3"), QStringLiteral("Land")));
    const DiskCopy disk;
    EXPECT_EQ(disk.status(), QSettings::NoError);
    for (const auto& [key, value] : {std::pair{"txtAssets1", "Bank"}, {"txtAssets2", "Stock"}, {"txtAssets3", "Land"}})
        EXPECT_EQ(disk.value(QLatin1String(key)), QLatin1String(value)) << key;
    // The failure is over: a new one is reported again.
    ASSERT_TRUE(QDir(companyFolder()).removeRecursively());
    writeFileBytes(companyFolder(), "not a folder");
    EXPECT_THROW(settingsStore().write(QStringLiteral("txtAssets4"), QStringLiteral("Plant")), services::Failure);
}

// A file the store would not write back whole: another program's file behind
// a link, or lines of the user's own (comments, other sections). It is kept
// aside before the first write, the user is told once, and a link's target
// is never rewritten.
TEST(SettingsStore, WhatAWriteWouldDropIsKeptAsideFirst)
{
    const QString shell = configHome() + QStringLiteral("/bashrc");
    const QByteArray shellText("# ~/.bashrc\nexport PATH=$HOME/bin:$PATH\nalias ll='ls -l'\n");
    const QByteArray commented("; my notes\n[Corvantis]\ntxtAssets0=Cash\n[Other]\nkey=value\n");
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "link" : "comments");
        reopenSettingsStoreForTesting();
        recordedDialogs() = {};
        QDir(companyFolder()).removeRecursively();
        QDir().mkpath(companyFolder());
        if (link) {
            writeFileBytes(shell, shellText);
            ASSERT_TRUE(QFile::link(shell, settingsFilePath()));
        } else {
            writeFileBytes(settingsFilePath(), commented);
        }
        settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));

        ASSERT_EQ(keptCopies().size(), 1);
        const QString copy = companyFolder() + u'/' + keptCopies().front();
        EXPECT_EQ(readFileBytes(copy), link ? shellText : commented);
        ASSERT_EQ(recordedDialogs().messages.size(), 1);
        EXPECT_TRUE(recordedDialogs().messages.front().text.contains(copy));
        EXPECT_FALSE(QFileInfo(settingsFilePath()).isSymLink());
        EXPECT_EQ(DiskCopy().value(QStringLiteral("txtAssets1")), QStringLiteral("Receivables"));
        if (link)
            EXPECT_EQ(readFileBytes(shell), shellText);
        else
            EXPECT_EQ(DiskCopy().value(QStringLiteral("txtAssets0")), QStringLiteral("Cash"));
    }
}

TEST(SettingsStore, ALinkToASettingsFileStaysALink)
{
    const QString elsewhere = configHome() + QStringLiteral("/synced/Corvantis.ini");
    writeFileBytes(elsewhere, "[Corvantis]\ntxtAssets0=Cash\n");
    QDir().mkpath(companyFolder());
    ASSERT_TRUE(QFile::link(elsewhere, settingsFilePath()));
    settingsStore().write(QStringLiteral("txtAssets1"), QStringLiteral("Receivables"));
    EXPECT_TRUE(QFileInfo(settingsFilePath()).isSymLink());
    EXPECT_EQ(readFileBytes(elsewhere), QByteArray("[Corvantis]\ntxtAssets0=Cash\ntxtAssets1=Receivables\n"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
    EXPECT_TRUE(keptCopies().isEmpty());
}

// A value that is already stored writes nothing: a start that changes
// nothing leaves the file alone.
TEST(SettingsStore, StoringTheSameValueAgainWritesNothing)
{
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    QFile::remove(settingsFilePath());
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Cash"));
    EXPECT_FALSE(QFileInfo::exists(settingsFilePath())) << "the same value was written again";
    settingsStore().write(QStringLiteral("txtAssets0"), QStringLiteral("Bank"));
    EXPECT_EQ(DiskCopy().value(QStringLiteral("txtAssets0")), QStringLiteral("Bank"));
}

// The writer is killed at a chosen moment; every setting it acknowledged
// must be in a file that still reads whole.
class KilledWriter : public ::testing::TestWithParam<int> {};

TEST_P(KilledWriter, LosesNothingAcknowledged)
{
    const int wanted = GetParam();
    QProcess writer;
    writer.setProgram(QStringLiteral(SETTINGS_WRITER));
    writer.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    const QByteArray output =
        testing_support::outputUntilKilled(writer, [&](const QByteArray& out) { return out.count('\n') >= wanted; });
    ASSERT_GE(output.count('\n'), wanted) << "the writer stopped early";

    // Only whole lines are acknowledgements.
    const QList<QByteArray> acknowledged = output.left(output.lastIndexOf('\n') + 1).split('\n');
    int count = 0;
    for (const QByteArray& line : acknowledged) {
        if (line.isEmpty())
            continue;
        ASSERT_EQ(line, QByteArray::number(count)) << "acknowledgements come in order";
        ++count;
    }
    ASSERT_GE(count, wanted);

    const DiskCopy file;
    ASSERT_EQ(file.status(), QSettings::NoError);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(file.value(QStringLiteral("k%1").arg(i)), QStringLiteral("value %1").arg(i)) << i;
    // Nothing else, beyond at most the one write under way.
    for (const QString& key : file.keys()) {
        bool isNumber = false;
        const int i = key.mid(1).toInt(&isNumber);
        EXPECT_TRUE(key.startsWith(u'k') && isNumber && i <= count) << text(key);
        EXPECT_EQ(file.value(key), QStringLiteral("value %1").arg(i)) << text(key);
    }

    // The program itself opens what was left without complaint.
    reopenSettingsStoreForTesting();
    EXPECT_EQ(settingsStore().read(QStringLiteral("k0"), QString()), QStringLiteral("value 0"));
    EXPECT_TRUE(recordedDialogs().messages.isEmpty());
    EXPECT_TRUE(keptCopies().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(SettingsStore, KilledWriter, ::testing::Values(1, 5, 37, 200),
                         [](const ::testing::TestParamInfo<int>& instance) {
                             return "After" + std::to_string(instance.param) + "Acks";
                         });
