// The hand pointer file the build writes beside the program, and the tool
// that writes it from its text picture.
#include "services/MousePointer.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

using testing_support::readFileBytes;
using testing_support::testRoot;
using testing_support::writeFileBytes;

namespace {

constexpr QRgb kClear = 0x00000000;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kWhite = 0xFFFFFFFF;

// The picture's rows, comment lines ("# ...") left out.
QStringList pictureRows(const QByteArray& text)
{
    QStringList rows;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("# ") && line != "#")
            rows << QString::fromLatin1(line);
    }
    return rows;
}

QRgb colourOf(QChar pixel)
{
    return pixel == u'.' ? kClear : pixel == u'o' ? kWhite : kBlack;
}

struct Decoded {
    QImage image;
    QPoint hotSpot;
};

Decoded decode(const QByteArray& cursorFile)
{
    const QCursor cursor = services::cursorFromBytes(cursorFile, QStringLiteral("HAND-M.CUR"));
    return {QImage::fromData(cursorFile, "CUR").convertToFormat(QImage::Format_ARGB32), cursor.hotSpot()};
}

// The tool's exit code and what it said; `written` is the file it made.
struct ToolRun {
    int exitCode;
    QString said;
};

ToolRun writeCursor(const QByteArray& picture, const QString& written)
{
    const QString source = testRoot() + QStringLiteral("/picture.txt");
    writeFileBytes(source, picture);
    QProcess tool;
    tool.start(QStringLiteral(WRITE_CURSOR), {source, written});
    if (!tool.waitForFinished(30000))
        return {-1, QStringLiteral("did not end")};
    return {tool.exitCode(), QString::fromLocal8Bit(tool.readAllStandardError())};
}

QByteArray pictureOf(QList<QByteArray> rows)
{
    return "# a test picture\n" + rows.join('\n') + '\n';
}

QList<QByteArray> clearRows(int count)
{
    return QList<QByteArray>(count, QByteArray(32, '.'));
}

} // namespace

TEST(HandCursor, TheBuiltFileIsThePictureWithItsHotSpotOnTheFingerTip)
{
    const QStringList rows = pictureRows(readFileBytes(QStringLiteral(HAND_PICTURE)));
    ASSERT_EQ(rows.size(), 32);
    const Decoded hand = decode(readFileBytes(QStringLiteral(HAND_CURSOR)));
    ASSERT_EQ(hand.image.size(), QSize(32, 32));
    int black = 0;
    int white = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb wanted = colourOf(rows[y][x]);
            ASSERT_EQ(hand.image.pixel(x, y), wanted) << "at " << x << "," << y;
            black += wanted == kBlack;
            white += wanted == kWhite;
        }
    }
    EXPECT_GT(white, 100) << "a hand, filled";
    EXPECT_GT(black, 40) << "with its outline";
    // The tip: the highest pixel of the pointer, a black one.
    EXPECT_EQ(rows[hand.hotSpot.y()][hand.hotSpot.x()], u'*');
    EXPECT_EQ(hand.image.pixel(hand.hotSpot), kBlack);
    for (int y = 0; y < hand.hotSpot.y(); ++y)
        EXPECT_EQ(rows[y], QString(32, u'.')) << "row " << y << " is above the tip";
}

TEST(HandCursor, AnyPictureIsWrittenWithItsHotSpotAndColours)
{
    QList<QByteArray> rows = clearRows(32);
    rows[4][3] = '*';
    rows[5][3] = 'o';
    rows[31][31] = '#';
    const QString written = testRoot() + QStringLiteral("/small.cur");
    const ToolRun run = writeCursor(pictureOf(rows), written);
    ASSERT_EQ(run.exitCode, 0) << run.said.toStdString();
    const Decoded cursor = decode(readFileBytes(written));
    EXPECT_EQ(cursor.hotSpot, QPoint(3, 4));
    EXPECT_EQ(cursor.image.pixel(3, 4), kBlack);
    EXPECT_EQ(cursor.image.pixel(3, 5), kWhite);
    EXPECT_EQ(cursor.image.pixel(31, 31), kBlack);
    EXPECT_EQ(cursor.image.pixel(0, 0), kClear);
}

struct Refusal {
    const char* name;
    QByteArray picture;
    const char* said;
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    *out << refusal.name;
}

class WriteCursorRefuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(WriteCursorRefuses, APictureItCannotWrite)
{
    const QString written = testRoot() + QStringLiteral("/refused.cur");
    const ToolRun run = writeCursor(GetParam().picture, written);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.said.contains(QLatin1String(GetParam().said))) << run.said.toStdString();
    EXPECT_FALSE(QFile::exists(written));
}

QByteArray withHotSpot(QList<QByteArray> rows)
{
    rows[0][0] = '*';
    return pictureOf(rows);
}

INSTANTIATE_TEST_SUITE_P(Pictures, WriteCursorRefuses,
                         ::testing::Values(Refusal{"NoHotSpot", pictureOf(clearRows(32)), "no hot spot"},
                                           Refusal{"TwoHotSpots",
                                                   [] {
                                                       QList<QByteArray> rows = clearRows(32);
                                                       rows[1][1] = '*';
                                                       return withHotSpot(rows);
                                                   }(),
                                                   "a second hot spot"},
                                           Refusal{"NarrowRow",
                                                   [] {
                                                       QList<QByteArray> rows = clearRows(32);
                                                       rows[7].chop(1);
                                                       return withHotSpot(rows);
                                                   }(),
                                                   "32 pixels wide"},
                                           Refusal{"UnknownPixel",
                                                   [] {
                                                       QList<QByteArray> rows = clearRows(32);
                                                       rows[3][9] = 'x';
                                                       return withHotSpot(rows);
                                                   }(),
                                                   "unknown pixel 'x'"},
                                           Refusal{"TooFewRows", withHotSpot(clearRows(31)), "32 rows high"},
                                           Refusal{"TooManyRows", withHotSpot(clearRows(33)), "more than 32 rows"}),
                         [](const ::testing::TestParamInfo<Refusal>& instance) {
                             return std::string(instance.param.name);
                         });
