// The compound-document layer: what it writes reads back, other readers
// agree with it, its output does not vary, and hostile files end in a
// FileFormatError that says what is wrong.
#include "spreadsheet/CompoundFile.h"
#include "spreadsheet/Value.h"
#include "tests/support/TestSupport.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <QtEndian>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

using spreadsheet::CompoundDocument;
using spreadsheet::DocumentProperties;
using spreadsheet::FileFormatError;
using spreadsheet::readCompoundDocument;
using spreadsheet::writeCompoundDocument;
using testing::HasSubstr;

namespace {

QByteArray noise(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random.generate() & 0xFF);
    return bytes;
}

// The workbook stream as it is stored: never shorter than 4096 bytes, so
// never in the mini stream; zeros follow the records.
QByteArray storedWorkbook(const QByteArray& workbook)
{
    return workbook.size() >= 4096 ? workbook : workbook + QByteArray(4096 - workbook.size(), '\0');
}

CompoundDocument documentWithWorkbook(const QByteArray& workbook)
{
    CompoundDocument document;
    document.workbook = workbook;
    document.properties.applicationName = QStringLiteral("Microsoft Excel");
    return document;
}

DocumentProperties latinProperties()
{
    DocumentProperties p;
    p.title = QStringLiteral("Quarterly report");
    p.subject = QStringLiteral("Accounts");
    p.author = QStringLiteral("Ann Example");
    p.keywords = QStringLiteral("money, figures");
    p.comments = QStringLiteral("Draft — not for release"); // an em dash is in code page 1252
    p.lastSavedBy = QStringLiteral("Bob Example");
    p.applicationName = QStringLiteral("Microsoft Excel");
    p.created = QDateTime(QDate(2019, 3, 4), QTime(5, 6, 7), Qt::UTC);
    p.lastSaved = QDateTime(QDate(2024, 11, 30), QTime(23, 59, 58), Qt::UTC);
    p.company = QStringLiteral("Example Ltd");
    p.manager = QStringLiteral("Carol Example");
    p.category = QStringLiteral("Finance");
    p.worksheetTitles = {QStringLiteral("Sheet1"), QStringLiteral("Notes"), QStringLiteral("Data 2024")};
    p.customTexts = {{QStringLiteral("_TemplateID"), QStringLiteral("TC101234561033")},
                     {QStringLiteral("Department"), QStringLiteral("Accounts")},
                     {QStringLiteral("Zone"), QString()}};
    p.codepage = 1252;
    return p;
}

DocumentProperties nonLatinProperties()
{
    DocumentProperties p = latinProperties();
    p.title = QStringLiteral("Бюджет на 2024 год");
    p.subject = QStringLiteral("予算と決算");
    p.author = QStringLiteral("Zoë Ångström");
    p.comments = QStringLiteral("Ελληνικά και עברית");
    p.worksheetTitles = {QStringLiteral("Лист1"), QStringLiteral("表2")};
    p.customTexts = {{QStringLiteral("Abteilung"), QStringLiteral("Финансы")},
                     {QStringLiteral("_TemplateID"), QStringLiteral("TC101234561033")},
                     {QStringLiteral("Ключ"), QStringLiteral("значение 😀")}};
    return p;
}

// Custom texts come back sorted by name.
DocumentProperties expectedAfterReading(DocumentProperties p, int codepage)
{
    std::sort(p.customTexts.begin(), p.customTexts.end(),
              [](const auto& a, const auto& b) { return a.first.toUtf8() < b.first.toUtf8(); });
    p.codepage = codepage;
    return p;
}

std::string readError(const QByteArray& bytes)
{
    try {
        readCompoundDocument(bytes);
    } catch (const FileFormatError& error) {
        return error.what();
    }
    return "<read without error>";
}

quint16 u16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 u32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

void putU32(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + at);
}

QByteArray utf16Name(const char* name)
{
    QByteArray out;
    for (const char* c = name; *c; ++c) {
        out.append(*c);
        out.append('\0');
    }
    return out;
}

// The directory entry of a top-level stream in a file our writer made.
qsizetype directoryEntry(const QByteArray& file, const char* name)
{
    const QByteArray wanted = utf16Name(name) + QByteArray(2, '\0');
    for (qsizetype at = file.indexOf(wanted); at >= 0; at = file.indexOf(wanted, at + 1)) {
        if (at % 128 == 0 && u16(file, at + 0x40) == wanted.size())
            return at;
    }
    return -1;
}

// A compound document made straight with libgsf, for layouts our writer
// never makes.
QByteArray craft(const std::function<void(GsfOutfile*)>& fill, guint sectorSize = 512)
{
    gsf_init();
    GsfOutput* sink = gsf_output_memory_new();
    GsfOutfile* root = gsf_outfile_msole_new_full(sink, sectorSize, 64);
    fill(root);
    EXPECT_TRUE(gsf_output_close(GSF_OUTPUT(root)));
    const QByteArray bytes(reinterpret_cast<const char*>(gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink))),
                           qsizetype(gsf_output_size(sink)));
    g_object_unref(root);
    g_object_unref(sink);
    return bytes;
}

void addStream(GsfOutfile* parent, const char* name, const QByteArray& data)
{
    GsfOutput* child = gsf_outfile_new_child(parent, name, FALSE);
    ASSERT_NE(child, nullptr);
    if (!data.isEmpty()) {
        EXPECT_TRUE(gsf_output_write(child, size_t(data.size()), reinterpret_cast<const guint8*>(data.constData())));
    }
    EXPECT_TRUE(gsf_output_close(child));
    g_object_unref(child);
}

// What olefile, a reader that shares no code with libgsf, makes of a file.
const char* const kOlefileScript = R"PY(
import base64, json, sys
try:
    import olefile
except ImportError:
    sys.stderr.write("python3-olefile is not installed\n")
    sys.exit(3)
ole = olefile.OleFileIO(sys.argv[1])
meta = ole.get_metadata()
cp = (meta.codepage & 0xFFFF) if meta.codepage is not None else 1252
enc = 'utf-8' if cp == 65001 else 'cp%d' % cp
def text(v):
    return v.decode(enc) if isinstance(v, bytes) else v
def when(v):
    return v.isoformat() if v is not None else None
streams = sorted('/'.join(p) for p in ole.listdir(streams=True, storages=True))
def head(name):
    return ole.openstream(name).read()[:48].hex()
print(json.dumps({
    'streams': streams,
    'workbook': base64.b64encode(ole.openstream('Workbook').read()).decode('ascii'),
    'codepage': meta.codepage, 'codepageDoc': meta.codepage_doc,
    'title': text(meta.title), 'subject': text(meta.subject), 'author': text(meta.author),
    'keywords': text(meta.keywords), 'comments': text(meta.comments),
    'lastSavedBy': text(meta.last_saved_by), 'application': text(meta.creating_application),
    'company': text(meta.company), 'manager': text(meta.manager), 'category': text(meta.category),
    'created': when(meta.create_time), 'lastSaved': when(meta.last_saved_time),
    'rootClsid': ole.root.clsid,
    'entryTimes': [when(t) for s in streams for t in (ole.getctime(s), ole.getmtime(s))]
                  + [when(ole.root.getctime()), when(ole.root.getmtime())],
    'summaryHead': head('\x05SummaryInformation'),
    'documentSummaryHead': head('\x05DocumentSummaryInformation'),
    'major': ole.dll_version, 'minor': ole.minor_version,
    'sectorSize': ole.sector_size, 'miniSectorSize': ole.mini_sector_size,
    'cutoff': ole.mini_stream_cutoff_size,
}))
)PY";

QJsonObject olefileView(const QByteArray& file)
{
    const QString path = testing_support::testRoot() + QStringLiteral("/olefile-view.xls");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return {};
    }
    out.close();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(kOlefileScript), path});
    if (!python.waitForFinished(60000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        ADD_FAILURE() << "/usr/bin/python3 with olefile failed (exit " << python.exitCode()
                      << "): " << python.readAllStandardError().toStdString();
        return {};
    }
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(python.readAllStandardOutput(), &error);
    if (error.error != QJsonParseError::NoError)
        ADD_FAILURE() << "olefile's answer is no JSON: " << error.errorString().toStdString();
    return json.object();
}

// ---------------------------------------------------------------------------

TEST(CompoundFile, SmallWorkbookReadsBack)
{
    const QByteArray workbook = noise(300, 1);
    const CompoundDocument read = readCompoundDocument(writeCompoundDocument(documentWithWorkbook(workbook)));
    ASSERT_EQ(read.workbook.size(), 4096);
    EXPECT_EQ(read.workbook.first(300), workbook);
    EXPECT_EQ(read.workbook.sliced(300), QByteArray(4096 - 300, '\0'));
    EXPECT_TRUE(read.otherStreams.isEmpty());
    EXPECT_EQ(read.properties.applicationName, QStringLiteral("Microsoft Excel"));
}

TEST(CompoundFile, WorkbookSizesAroundTheMiniStreamCutOffReadBack)
{
    // Streams under 4096 bytes would live in the mini stream, where strict
    // readers do not look for the workbook; it is padded to stay in whole
    // sectors, right after the header.
    for (qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(63), qsizetype(64), qsizetype(4095), qsizetype(4096),
                           qsizetype(4097), qsizetype(100 * 1024 + 7)}) {
        SCOPED_TRACE(size);
        const QByteArray workbook = noise(size, quint32(size));
        const QByteArray stored = storedWorkbook(workbook);
        const QByteArray file = writeCompoundDocument(documentWithWorkbook(workbook));
        EXPECT_EQ(readCompoundDocument(file).workbook, stored);
        const qsizetype entry = directoryEntry(file, "Workbook");
        ASSERT_GE(entry, 0);
        EXPECT_EQ(u32(file, entry + 0x78), quint32(stored.size()));
        EXPECT_EQ(u32(file, entry + 0x74), 0u);
        EXPECT_EQ(file.mid(512, stored.size()), stored);
    }
}

TEST(CompoundFile, EveryPropertyReadsBack)
{
    CompoundDocument document = documentWithWorkbook(noise(2000, 2));
    document.properties = latinProperties();
    const CompoundDocument read = readCompoundDocument(writeCompoundDocument(document));
    EXPECT_EQ(read.properties, expectedAfterReading(document.properties, 1252));
    EXPECT_EQ(read.workbook, storedWorkbook(document.workbook));
}

TEST(CompoundFile, NonLatinTextReadsBackThroughUtf8)
{
    CompoundDocument document = documentWithWorkbook(noise(2000, 3));
    document.properties = nonLatinProperties();
    ASSERT_EQ(document.properties.codepage, 1252);
    const CompoundDocument read = readCompoundDocument(writeCompoundDocument(document));
    // Code page 1252 cannot hold Cyrillic, so the writer chose UTF-8.
    EXPECT_EQ(read.properties, expectedAfterReading(document.properties, 65001));
}

TEST(CompoundFile, CodePageThatFitsTheTextIsKept)
{
    CompoundDocument document = documentWithWorkbook("x");
    document.properties.title = QStringLiteral("Годовой отчёт");
    document.properties.customTexts = {{QStringLiteral("Отдел"), QStringLiteral("Бухгалтерия")}};
    document.properties.codepage = 1251;
    const QByteArray file = writeCompoundDocument(document);
    EXPECT_EQ(readCompoundDocument(file).properties, document.properties);
    // Windows-1251 bytes of "Годовой" are in the file, so it really is 1251.
    EXPECT_GE(file.indexOf(QByteArray("\xc3\xee\xe4\xee\xe2\xee\xe9")), 0);
}

TEST(CompoundFile, EmptyPropertiesStayEmpty)
{
    CompoundDocument document;
    document.workbook = "BIFF";
    const CompoundDocument read = readCompoundDocument(writeCompoundDocument(document));
    EXPECT_EQ(read.properties, DocumentProperties());
    EXPECT_EQ(read.workbook, storedWorkbook("BIFF"));
}

TEST(CompoundFile, OtherStreamsAreKept)
{
    CompoundDocument document = documentWithWorkbook(noise(5000, 4));
    document.otherStreams = {{QStringLiteral("\001CompObj"), noise(90, 5)},
                             {QStringLiteral("Large extra"), noise(9000, 6)},
                             {QStringLiteral("Empty"), QByteArray()},
                             {QStringLiteral("Ctls"), noise(4096, 7)}};
    const CompoundDocument read = readCompoundDocument(writeCompoundDocument(document));
    EXPECT_EQ(read.workbook, storedWorkbook(document.workbook));
    auto byName = [](QList<std::pair<QString, QByteArray>> streams) {
        std::sort(streams.begin(), streams.end());
        return streams;
    };
    EXPECT_EQ(byName(read.otherStreams), byName(document.otherStreams));
    // And writing what was read gives the same file again.
    EXPECT_EQ(writeCompoundDocument(read), writeCompoundDocument(readCompoundDocument(writeCompoundDocument(read))));
}

TEST(CompoundFile, SameDocumentGivesSameBytes)
{
    CompoundDocument document = documentWithWorkbook(noise(6000, 8));
    document.properties = nonLatinProperties();
    document.otherStreams = {{QStringLiteral("\001CompObj"), noise(90, 9)}};
    const QByteArray first = writeCompoundDocument(document);
    // Time moves on and the heap is in another state: neither may show.
    QThread::msleep(1100);
    QList<QByteArray> churn;
    for (int i = 0; i < 200; ++i)
        churn.append(QByteArray(64 * (i + 1), char(0xA5)));
    const QByteArray second = writeCompoundDocument(document);
    EXPECT_EQ(first, second);
    EXPECT_EQ(writeCompoundDocument(readCompoundDocument(first)), first);
}

TEST(CompoundFile, HeaderIsVersion3With512ByteSectors)
{
    const QByteArray file = writeCompoundDocument(documentWithWorkbook(noise(5000, 10)));
    ASSERT_GE(file.size(), 512);
    EXPECT_EQ(file.left(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
    EXPECT_EQ(file.mid(8, 16), QByteArray(16, '\0')); // header class id
    EXPECT_EQ(u16(file, 0x18), 0x3E);                 // minor version
    EXPECT_EQ(u16(file, 0x1A), 3);                    // major version
    EXPECT_EQ(u16(file, 0x1C), 0xFFFE);               // little-endian
    EXPECT_EQ(u16(file, 0x1E), 9);                    // 512-byte sectors
    EXPECT_EQ(u16(file, 0x20), 6);                    // 64-byte mini sectors
    EXPECT_EQ(u32(file, 0x28), 0u);                   // directory sectors: none counted in version 3
    EXPECT_EQ(u32(file, 0x38), 4096u);                // mini-stream cut-off
    EXPECT_EQ((file.size() - 512) % 512, 0);
}

TEST(CompoundFileInterop, OlefileAgrees)
{
    CompoundDocument document = documentWithWorkbook(noise(4500, 11));
    document.properties = latinProperties();
    const QByteArray file = writeCompoundDocument(document);
    const QJsonObject view = olefileView(file);
    ASSERT_FALSE(view.isEmpty());

    EXPECT_EQ(view[QStringLiteral("streams")].toArray(),
              QJsonArray({QStringLiteral("\005DocumentSummaryInformation"), QStringLiteral("\005SummaryInformation"),
                          QStringLiteral("Workbook")}));
    EXPECT_EQ(QByteArray::fromBase64(view[QStringLiteral("workbook")].toString().toLatin1()), document.workbook);
    const DocumentProperties& p = document.properties;
    EXPECT_EQ(view[QStringLiteral("codepage")].toInt(), 1252);
    EXPECT_EQ(view[QStringLiteral("codepageDoc")].toInt(), 1252);
    EXPECT_EQ(view[QStringLiteral("title")].toString(), p.title);
    EXPECT_EQ(view[QStringLiteral("subject")].toString(), p.subject);
    EXPECT_EQ(view[QStringLiteral("author")].toString(), p.author);
    EXPECT_EQ(view[QStringLiteral("keywords")].toString(), p.keywords);
    EXPECT_EQ(view[QStringLiteral("comments")].toString(), p.comments);
    EXPECT_EQ(view[QStringLiteral("lastSavedBy")].toString(), p.lastSavedBy);
    EXPECT_EQ(view[QStringLiteral("application")].toString(), p.applicationName);
    EXPECT_EQ(view[QStringLiteral("company")].toString(), p.company);
    EXPECT_EQ(view[QStringLiteral("manager")].toString(), p.manager);
    EXPECT_EQ(view[QStringLiteral("category")].toString(), p.category);
    EXPECT_EQ(view[QStringLiteral("created")].toString(), QStringLiteral("2019-03-04T05:06:07"));
    EXPECT_EQ(view[QStringLiteral("lastSaved")].toString(), QStringLiteral("2024-11-30T23:59:58"));

    // Excel's class id on the root, and no time stamps in the directory.
    EXPECT_EQ(view[QStringLiteral("rootClsid")].toString(), QStringLiteral("00020820-0000-0000-C000-000000000046"));
    for (const QJsonValue time : view[QStringLiteral("entryTimes")].toArray())
        EXPECT_TRUE(time.isNull()) << time.toString().toStdString();
    // The property sets' format ids, after the byte order, version, class id
    // and section count.
    EXPECT_EQ(view[QStringLiteral("summaryHead")].toString().mid(56, 32),
              QStringLiteral("e0859ff2f94f6810ab9108002b27b3d9"));
    EXPECT_EQ(view[QStringLiteral("documentSummaryHead")].toString().mid(56, 32),
              QStringLiteral("02d5cdd59c2e1b10939708002b2cf9ae"));
    EXPECT_EQ(view[QStringLiteral("summaryHead")].toString().left(56),
              QStringLiteral("feff0000040a0200") + QString(32, QLatin1Char('0')) + QStringLiteral("01000000"));

    EXPECT_EQ(view[QStringLiteral("major")].toInt(), 3);
    EXPECT_EQ(view[QStringLiteral("minor")].toInt(), 0x3E);
    EXPECT_EQ(view[QStringLiteral("sectorSize")].toInt(), 512);
    EXPECT_EQ(view[QStringLiteral("miniSectorSize")].toInt(), 64);
    EXPECT_EQ(view[QStringLiteral("cutoff")].toInt(), 4096);
}

TEST(CompoundFileInterop, OlefileReadsNonLatinTextAndLargeWorkbooks)
{
    CompoundDocument document = documentWithWorkbook(noise(100 * 1024, 12));
    document.properties = nonLatinProperties();
    document.otherStreams = {{QStringLiteral("\001CompObj"), noise(90, 13)}};
    const QJsonObject view = olefileView(writeCompoundDocument(document));
    ASSERT_FALSE(view.isEmpty());
    EXPECT_EQ(view[QStringLiteral("streams")].toArray().size(), 4);
    EXPECT_EQ(QByteArray::fromBase64(view[QStringLiteral("workbook")].toString().toLatin1()), document.workbook);
    EXPECT_EQ(view[QStringLiteral("codepage")].toInt() & 0xFFFF, 65001);
    EXPECT_EQ(view[QStringLiteral("title")].toString(), document.properties.title);
    EXPECT_EQ(view[QStringLiteral("subject")].toString(), document.properties.subject);
    EXPECT_EQ(view[QStringLiteral("author")].toString(), document.properties.author);
    EXPECT_EQ(view[QStringLiteral("comments")].toString(), document.properties.comments);
}

// ---------------------------------------------------------------------------
// What cannot be read

TEST(CompoundFile, EmptyFileIsNotACompoundDocument)
{
    EXPECT_THAT(readError(QByteArray()), HasSubstr("not a compound document: it is empty"));
}

TEST(CompoundFile, RandomBytesAreNotACompoundDocument)
{
    for (quint32 seed = 1; seed <= 20; ++seed)
        EXPECT_THAT(readError(noise(100 * seed, seed)), HasSubstr("not a compound document")) << seed;
    EXPECT_THAT(readError("PK\003\004rest of a zip"), HasSubstr("zip archive"));
}

TEST(CompoundFile, SignatureWithoutAHeaderIsCutShort)
{
    EXPECT_THAT(readError(QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(100, '\0')),
                HasSubstr("cut short: a compound document's header alone takes 512 bytes, but the file has 108 bytes"));
}

TEST(CompoundFile, TruncatedFileIsCutShort)
{
    for (qsizetype workbookSize : {qsizetype(300), qsizetype(20000)}) {
        CompoundDocument document = documentWithWorkbook(noise(workbookSize, 14));
        document.properties = latinProperties();
        const QByteArray file = writeCompoundDocument(document);
        for (qsizetype length : {qsizetype(8), qsizetype(511), qsizetype(512), qsizetype(513), qsizetype(1024),
                                 file.size() / 2, file.size() - 512, file.size() - 100, file.size() - 1}) {
            SCOPED_TRACE(length);
            EXPECT_THAT(readError(file.left(length)), HasSubstr("cut short"));
        }
    }
}

TEST(CompoundFile, FileWithoutWorkbookStreamSaysSo)
{
    const QByteArray file = craft([](GsfOutfile* root) { addStream(root, "WordDocument", noise(700, 15)); });
    EXPECT_THAT(readError(file), HasSubstr("has no \"Workbook\" stream"));
}

TEST(CompoundFile, Excel95BookStreamIsNamed)
{
    const QByteArray file = craft([](GsfOutfile* root) { addStream(root, "Book", noise(700, 16)); });
    EXPECT_THAT(readError(file), HasSubstr("Excel 5.0/95 workbook (a \"Book\" stream)"));
}

TEST(CompoundFile, FileWith4096ByteSectorsReads)
{
    const QByteArray workbook = noise(20000, 27);
    const QByteArray compObj = noise(100, 28);
    const QByteArray file = craft(
        [&](GsfOutfile* root) {
            addStream(root, "Workbook", workbook);
            addStream(root, "\001CompObj", compObj);
        },
        4096);
    ASSERT_EQ(u16(file, 0x1E), 12);
    const CompoundDocument read = readCompoundDocument(file);
    EXPECT_EQ(read.workbook, workbook);
    ASSERT_EQ(read.otherStreams.size(), 1);
    EXPECT_EQ(read.otherStreams[0].second, compObj);
    EXPECT_THAT(readError(file.left(file.size() - 4096)), HasSubstr("cut short"));
}

TEST(CompoundFile, OddSectorSizeIsRefused)
{
    // libgsf reads 256-byte sectors, which no workbook file has.
    const QByteArray file = craft([](GsfOutfile* root) { addStream(root, "Workbook", noise(5000, 29)); }, 256);
    EXPECT_THAT(readError(file), HasSubstr("a sector shift of 8"));
}

TEST(CompoundFile, OversizedFileIsRefused)
{
    QByteArray file(spreadsheet::kMaxCompoundFileSize + 512, '\0');
    file.replace(0, 8, QByteArray::fromHex("D0CF11E0A1B11AE1"));
    EXPECT_THAT(readError(file), HasSubstr("more than the 64 MiB this program reads"));
}

TEST(CompoundFile, WorkbookStreamNameIsMatchedWithoutCase)
{
    const QByteArray workbook = noise(700, 17);
    const QByteArray file = craft([&](GsfOutfile* root) { addStream(root, "WORKBOOK", workbook); });
    EXPECT_EQ(readCompoundDocument(file).workbook, workbook);
}

TEST(CompoundFile, ShortWorkbookStreamSaysHowFarItGot)
{
    QByteArray file = writeCompoundDocument(documentWithWorkbook(noise(5000, 18)));
    const qsizetype entry = directoryEntry(file, "Workbook");
    ASSERT_GE(entry, 0);
    // The stream claims three more sectors than its chain holds.
    putU32(file, entry + 0x78, 5000 + 3 * 512);
    ASSERT_LE(5000 + 3 * 512, file.size());
    EXPECT_THAT(readError(file), HasSubstr("the Workbook stream ends after 5120 of 6536 bytes"));
}

TEST(CompoundFile, StoragesAreLeftOut)
{
    const QByteArray workbook = noise(700, 19);
    const QByteArray file = craft([&](GsfOutfile* root) {
        addStream(root, "Workbook", workbook);
        GsfOutput* storage = gsf_outfile_new_child(root, "_VBA_PROJECT_CUR", TRUE);
        ASSERT_NE(storage, nullptr);
        addStream(GSF_OUTFILE(storage), "PROJECT", noise(300, 20));
        EXPECT_TRUE(gsf_output_close(storage));
        g_object_unref(storage);
        addStream(root, "Extra", noise(10, 21));
    });
    const CompoundDocument read = readCompoundDocument(file);
    EXPECT_EQ(read.workbook, workbook);
    ASSERT_EQ(read.otherStreams.size(), 1);
    EXPECT_EQ(read.otherStreams[0].first, QStringLiteral("Extra"));
}

TEST(CompoundFile, BrokenSummaryStillGivesWorkbookAndOtherProperties)
{
    CompoundDocument document = documentWithWorkbook(noise(3000, 22));
    document.properties = latinProperties();
    const QByteArray file = writeCompoundDocument(document);
    const qsizetype summary = file.indexOf(QByteArray::fromHex("e0859ff2f94f6810ab9108002b27b3d9")) - 28;
    ASSERT_GT(summary, 0);
    ASSERT_EQ(file.mid(summary, 4), QByteArray::fromHex("feff0000"));

    // A wrong byte-order mark: the summary is unreadable as a whole.
    QByteArray broken = file;
    broken[summary] = 0;
    CompoundDocument read = readCompoundDocument(broken);
    EXPECT_EQ(read.workbook, storedWorkbook(document.workbook));
    EXPECT_TRUE(read.properties.title.isEmpty());
    EXPECT_TRUE(read.properties.author.isEmpty());
    EXPECT_EQ(read.properties.company, document.properties.company);
    EXPECT_EQ(read.properties.worksheetTitles, document.properties.worksheetTitles);

    // An absurd length on the title: the title is lost, the rest is read.
    broken = file;
    const qsizetype title = broken.indexOf("Quarterly report");
    ASSERT_GT(title, summary);
    ASSERT_EQ(u32(broken, title - 4), quint32(sizeof "Quarterly report"));
    putU32(broken, title - 4, 0x7FFFFFF0);
    read = readCompoundDocument(broken);
    EXPECT_EQ(read.workbook, storedWorkbook(document.workbook));
    EXPECT_TRUE(read.properties.title.isEmpty());
    EXPECT_EQ(read.properties.author, document.properties.author);
    EXPECT_EQ(read.properties.lastSaved, document.properties.lastSaved);
}

void appendU32(QByteArray& bytes, quint32 value)
{
    char le[4];
    qToLittleEndian<quint32>(value, le);
    bytes.append(le, 4);
}

// A summary property set whose title is a vector of variants holding a
// vector of variants, `depth` times over, and whose author is "Ann".
QByteArray nestedVectorSummary(int depth)
{
    QByteArray title;
    for (int i = 0; i < depth; ++i) {
        appendU32(title, 0x100C);
        appendU32(title, 1);
    }
    appendU32(title, 0x100C);
    appendU32(title, 0);
    QByteArray author;
    appendU32(author, 0x1E); // a code-page string
    appendU32(author, 4);
    author += QByteArray("Ann", 4);

    QByteArray stream = QByteArray::fromHex("feff0000040a0200") + QByteArray(16, '\0');
    appendU32(stream, 1);
    stream += QByteArray::fromHex("e0859ff2f94f6810ab9108002b27b3d9");
    appendU32(stream, 48);
    appendU32(stream, quint32(24 + title.size() + author.size()));
    appendU32(stream, 2);
    appendU32(stream, 2); // the title
    appendU32(stream, 24);
    appendU32(stream, 4); // the author
    appendU32(stream, quint32(24 + title.size()));
    return stream + title + author;
}

TEST(CompoundFile, DeeplyNestedPropertySetIsLeftUnread)
{
    const QByteArray workbook = noise(100, 26);
    const QByteArray file = craft([&](GsfOutfile* root) {
        addStream(root, "Workbook", workbook);
        addStream(root, "\005SummaryInformation", nestedVectorSummary(32000));
    });
    // libgsf would recurse 32000 deep, about 3 MiB of stack; this thread has 1.
    CompoundDocument read;
    std::string error;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            read = readCompoundDocument(file);
        } catch (const std::exception& e) {
            error = e.what();
        }
    }));
    thread->setStackSize(1024 * 1024);
    thread->start();
    ASSERT_TRUE(thread->wait(60000));
    EXPECT_EQ(error, "");
    EXPECT_EQ(read.workbook, workbook);
    EXPECT_TRUE(read.properties.author.isEmpty());

    // Shallow nesting is read: the title is a vector, so no text, but the
    // author beside it counts.
    const QByteArray shallow = craft([&](GsfOutfile* root) {
        addStream(root, "Workbook", workbook);
        addStream(root, "\005SummaryInformation", nestedVectorSummary(3));
    });
    read = readCompoundDocument(shallow);
    EXPECT_EQ(read.workbook, workbook);
    EXPECT_TRUE(read.properties.title.isEmpty());
    EXPECT_EQ(read.properties.author, QStringLiteral("Ann"));
}

// A file whose directory chain runs over 300 sectors; libgsf 1.14.50 would
// reserve 64 KiB for each of them.
TEST(CompoundFile, OverlongDirectoryIsRefused)
{
    constexpr quint32 fatSectors = 3;
    constexpr quint32 directorySectors = 300;
    constexpr quint32 sectors = fatSectors + directorySectors;
    QByteArray file(512 + qsizetype(sectors) * 512, '\0');
    file.replace(0, 8, QByteArray::fromHex("D0CF11E0A1B11AE1"));
    qToLittleEndian<quint16>(0x3E, file.data() + 0x18);
    qToLittleEndian<quint16>(3, file.data() + 0x1A);
    qToLittleEndian<quint16>(0xFFFE, file.data() + 0x1C);
    qToLittleEndian<quint16>(9, file.data() + 0x1E);
    qToLittleEndian<quint16>(6, file.data() + 0x20);
    putU32(file, 0x2C, fatSectors);
    putU32(file, 0x30, fatSectors); // directory starts after the table
    putU32(file, 0x38, 4096);
    putU32(file, 0x3C, 0xFFFFFFFE);
    putU32(file, 0x44, 0xFFFFFFFE);
    for (qsizetype at = 0x4C; at < 512; at += 4)
        putU32(file, at, 0xFFFFFFFF);
    for (quint32 i = 0; i < fatSectors; ++i)
        putU32(file, 0x4C + 4 * i, i);
    auto setNext = [&](quint32 sector, quint32 next) { putU32(file, 512 + qsizetype(sector) * 4, next); };
    for (quint32 i = 0; i < fatSectors; ++i)
        setNext(i, 0xFFFFFFFD);
    for (quint32 s = fatSectors; s < sectors; ++s)
        setNext(s, s + 1 < sectors ? s + 1 : 0xFFFFFFFE);
    // A root entry, so that only the length is wrong.
    const qsizetype root = 512 + qsizetype(fatSectors) * 512;
    file.replace(root, 20, utf16Name("Root Entry") + QByteArray(2, '\0'));
    qToLittleEndian<quint16>(22, file.data() + root + 0x40);
    file[root + 0x42] = 5;
    putU32(file, root + 0x44, 0xFFFFFFFF);
    putU32(file, root + 0x48, 0xFFFFFFFF);
    putU32(file, root + 0x4C, 0xFFFFFFFF);
    putU32(file, root + 0x74, 0xFFFFFFFE);
    EXPECT_THAT(readError(file), HasSubstr("its directory runs over more than 256 sectors"));

    // The same file with a short directory chain reads as far as libgsf goes.
    setNext(fatSectors, 0xFFFFFFFE);
    EXPECT_THAT(readError(file), HasSubstr("no \"Workbook\" stream"));
}

TEST(CompoundFile, DamagedFilesNeverEscapeAsAnotherError)
{
    // Mutations of a real file: each one either reads, and then writes and
    // reads back the same, or ends in a FileFormatError.
    CompoundDocument document = documentWithWorkbook(noise(5000, 23));
    document.properties = latinProperties();
    document.otherStreams = {{QStringLiteral("\001CompObj"), noise(90, 24)}};
    const QByteArray file = writeCompoundDocument(document);
    QRandomGenerator random(25);
    int readable = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray mutated = file;
        const int changes = 1 + int(random.bounded(8));
        for (int c = 0; c < changes; ++c) {
            // Mostly where the structure is: header, tables and directory.
            const bool structure = random.bounded(4) != 0;
            const qsizetype at = structure && c % 2 == 0 ? qsizetype(random.bounded(512))
                : structure                              ? mutated.size() - 1 - qsizetype(random.bounded(2048))
                                                         : qsizetype(random.bounded(quint32(mutated.size())));
            mutated[at] = char(random.generate() & 0xFF);
        }
        try {
            const CompoundDocument read = readCompoundDocument(mutated);
            ++readable;
            const CompoundDocument again = readCompoundDocument(writeCompoundDocument(read));
            EXPECT_EQ(again.workbook, read.workbook) << round;
            EXPECT_EQ(again.otherStreams, read.otherStreams) << round;
            DocumentProperties expected = read.properties;
            expected.codepage = again.properties.codepage;
            EXPECT_EQ(again.properties, expected) << round;
        } catch (const FileFormatError& error) {
            EXPECT_GT(std::strlen(error.what()), 20u) << round;
        }
    }
    // The mutations are not all fatal, or the second half says nothing.
    EXPECT_GT(readable, 100);
}

// ---------------------------------------------------------------------------
// What cannot be written

TEST(CompoundFile, WriterRefusesWhatItCannotWrite)
{
    auto refuses = [](const std::function<void(CompoundDocument&)>& change, const char* fragment) {
        CompoundDocument document = documentWithWorkbook("x");
        change(document);
        try {
            writeCompoundDocument(document);
            ADD_FAILURE() << "written although: " << fragment;
        } catch (const std::runtime_error& error) {
            EXPECT_THAT(error.what(), HasSubstr(fragment));
        }
    };
    refuses([](auto& d) { d.otherStreams = {{QString(), "a"}}; }, "cannot name a stream");
    refuses([](auto& d) { d.otherStreams = {{QString(32, QLatin1Char('n')), "a"}}; }, "cannot name a stream");
    refuses([](auto& d) { d.otherStreams = {{QStringLiteral("a/b"), "a"}}; }, "cannot name a stream");
    refuses([](auto& d) { d.otherStreams = {{QStringLiteral("workbook"), "a"}}; }, "one of the three streams");
    refuses(
        [](auto& d) {
            d.otherStreams = {{QStringLiteral("Extra"), "a"}, {QStringLiteral("EXTRA"), "b"}};
        },
        "given twice");
    refuses(
        [](auto& d) {
            d.properties.customTexts = {{QStringLiteral("dc:title"), QStringLiteral("a")}};
        },
        "libgsf keeps for itself");
    refuses([](auto& d) { d.properties.customTexts = {{QString(), QStringLiteral("a")}}; }, "has no name");
    refuses(
        [](auto& d) {
            d.properties.customTexts = {{QStringLiteral("Key"), QStringLiteral("a")},
                                        {QStringLiteral("key"), QStringLiteral("b")}};
        },
        "given twice");
    refuses([](auto& d) { d.properties.title = QStringLiteral("a") + QChar(0) + QStringLiteral("b"); }, "NUL");
    refuses([](auto& d) { d.properties.created = QDateTime(QDate(1960, 1, 1), QTime(0, 0), Qt::UTC); },
            "outside 1970..2106");

    // A 31-character name is fine.
    CompoundDocument document = documentWithWorkbook("x");
    document.otherStreams = {{QString(31, QLatin1Char('n')), "a"}};
    EXPECT_EQ(readCompoundDocument(writeCompoundDocument(document)).otherStreams, document.otherStreams);
}

} // namespace
