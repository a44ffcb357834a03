#include "spreadsheet/CompoundFile.h"

#include "spreadsheet/CompoundFileParts.h"
#include "spreadsheet/Value.h"

#include <gsf/gsf-doc-meta-data.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace spreadsheet {

using namespace compound_file;

namespace {

const QString kWorkbookName = QStringLiteral("Workbook");

const QString kOldWorkbookName = QStringLiteral("Book");
const QString kSummaryName = QStringLiteral("\005SummaryInformation");
const QString kDocumentSummaryName = QStringLiteral("\005DocumentSummaryInformation");

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Streams shorter than this go into the mini stream, where strict readers
// do not look for the workbook stream.
constexpr qsizetype kMiniStreamCutoff = 4096;

// The workbook stream with zeros after its last record up to the cutoff;
// readers stop at the last EOF record and never reach them.
QByteArray outsideTheMiniStream(const QByteArray& workbook)
{
    if (workbook.size() >= kMiniStreamCutoff)
        return workbook;
    return workbook + QByteArray(kMiniStreamCutoff - workbook.size(), '\0');
}

// The class id Excel gives the root of a workbook file,
// {00020820-0000-0000-C000-000000000046}.
constexpr guint8 kExcelWorkbookClassId[16] = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

QString takeErrorMessage(GError* error)
{
    if (!error)
        return QStringLiteral("no reason given");
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message;
}

void dropLibgsfMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
    // Every failure reaches the caller as an exception; libgsf's own
    // warnings about hostile files would only clutter stderr.
}

void dropLibgsfPrint(const gchar*) {}

constexpr auto kAllLogLevels = GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);

// libgsf keeps unguarded lazy state (its property-name table), so its calls
// are serialised. Some of its files log without a domain, and it dumps
// unknown property sections with g_print; those are dropped only while
// libgsf runs.
class LibgsfSession {
public:
    LibgsfSession() : lock_(mutex())
    {
        static const bool initialised = [] {
            gsf_init();
            for (const char* domain : {"libgsf", "libgsf:msole"})
                g_log_set_handler(domain, kAllLogLevels, dropLibgsfMessage, nullptr);
            return true;
        }();
        (void)initialised;
        handler_ = g_log_set_handler(nullptr, kAllLogLevels, dropLibgsfMessage, nullptr);
        print_ = g_set_print_handler(dropLibgsfPrint);
    }
    ~LibgsfSession()
    {
        g_set_print_handler(print_);
        g_log_remove_handler(nullptr, handler_);
    }
    LibgsfSession(const LibgsfSession&) = delete;
    LibgsfSession& operator=(const LibgsfSession&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex instance;
        return instance;
    }
    std::lock_guard<std::mutex> lock_;
    guint handler_ = 0;
    GPrintFunc print_ = nullptr;
};

// ---------------------------------------------------------------------------
// Streams

bool isStreamNameWritable(const QString& name)
{
    if (name.isEmpty() || name.size() > 31)
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c == QLatin1Char('!')
            || c.unicode() == 0)
            return false;
    }
    return true;
}

bool isReservedName(const QString& name)
{
    return sameEntryName(name, kWorkbookName) || sameEntryName(name, kSummaryName)
        || sameEntryName(name, kDocumentSummaryName);
}

QString describeSize(gsf_off_t bytes)
{
    return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
}

// Reads a whole stream, in sector-sized steps so that a short stream says how
// far it got. `budget` is what the file can still hold.
QByteArray readWhole(GsfInput* stream, const QString& label, qint64& budget)
{
    const gsf_off_t size = gsf_input_size(stream);
    if (size < 0 || size > budget)
        fail(QStringLiteral("the %1 stream claims %2, more than the file holds").arg(label, describeSize(size)));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    constexpr gsf_off_t kStep = 512;
    for (gsf_off_t done = 0; done < size;) {
        const gsf_off_t step = std::min(kStep, size - done);
        if (!gsf_input_read(stream, size_t(step), reinterpret_cast<guint8*>(bytes.data() + done)))
            fail(QStringLiteral("the %1 stream ends after %2 of %3").arg(label).arg(done).arg(describeSize(size)));
        done += step;
    }
    budget -= size;
    return bytes;
}

QString cutShortHint(const QByteArray& file)
{
    // Whole files are whole sectors; a partial one means the end is missing.
    const qint64 sector = qFromLittleEndian<quint16>(file.constData() + 0x1E) == 12 ? 4096 : 512;
    if ((file.size() - std::max<qint64>(512, sector)) % sector != 0)
        return QStringLiteral("; the file ends part-way through a sector, so it was probably cut short");
    return {};
}

void writeStream(GsfOutfile* root, const QString& name, const QByteArray& data)
{
    if (quint64(data.size()) > std::numeric_limits<quint32>::max())
        refuse(QStringLiteral("the stream \"%1\" has %2 bytes; a compound document stream holds less than 4 GiB")
                   .arg(name)
                   .arg(data.size()));
    const QByteArray utf8 = name.toUtf8();
    GRef<GsfOutput> stream(gsf_outfile_new_child(root, utf8.constData(), FALSE));
    if (!stream)
        refuse(QStringLiteral("libgsf could not add the stream \"%1\"").arg(name));
    const bool written = data.isEmpty()
        || gsf_output_write(stream.get(), size_t(data.size()), reinterpret_cast<const guint8*>(data.constData()));
    const bool closed = gsf_output_close(stream.get());
    if (!written || !closed)
        refuse(QStringLiteral("libgsf could not write the stream \"%1\"").arg(name));
}

} // namespace

CompoundDocument readCompoundDocument(const QByteArray& fileBytes)
{
    const qint64 size = fileBytes.size();
    if (size == 0)
        fail(QStringLiteral("the file is not a compound document: it is empty"));
    if (size < qint64(sizeof kSignature) || std::memcmp(fileBytes.constData(), kSignature, sizeof kSignature) != 0) {
        QString what = QStringLiteral("the file is not a compound document: it does not begin with the "
                                      "compound-file signature D0 CF 11 E0 A1 B1 1A E1");
        if (fileBytes.startsWith("PK\003\004"))
            what += QStringLiteral(" (it is a zip archive, perhaps an .xlsx workbook)");
        fail(what);
    }
    if (size < 512)
        fail(QStringLiteral("the file is cut short: a compound document's header alone takes 512 bytes, "
                            "but the file has %1")
                 .arg(describeSize(size)));
    if (size > kMaxCompoundFileSize)
        fail(QStringLiteral("the file has %1 bytes, more than the %2 MiB this program reads")
                 .arg(size)
                 .arg(kMaxCompoundFileSize / (1024 * 1024)));
    checkSectors(fileBytes);

    const LibgsfSession session;
    GRef<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(fileBytes.constData()), size, FALSE));
    if (!input)
        fail(QStringLiteral("the compound document cannot be read: libgsf refused the memory"));
    GError* error = nullptr;
    GRef<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
    if (!root)
        fail(QStringLiteral("the compound document is damaged: libgsf reports \"%1\"%2")
                 .arg(takeErrorMessage(error), cutShortHint(fileBytes)));
    if (error)
        g_error_free(error);

    // The top level, as libgsf sorts it.
    struct Entry {
        QString name;
        int index;
    };
    QList<Entry> entries;
    const int count = gsf_infile_num_children(root.get());
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(root.get(), i);
        entries.append({QString::fromUtf8(name ? name : ""), i});
    }
    auto find = [&](const QString& wanted) -> const Entry* {
        for (const Entry& entry : entries) {
            if (sameEntryName(entry.name, wanted))
                return &entry;
        }
        return nullptr;
    };
    // nullptr for a storage or a child libgsf cannot open.
    auto openStream = [&](int index, QString* why) -> GRef<GsfInput> {
        GRef<GsfInput> child(gsf_infile_child_by_index(root.get(), index));
        if (!child) {
            if (why)
                *why = QStringLiteral("libgsf cannot open it (its sectors are missing or damaged)");
            return nullptr;
        }
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            if (why)
                *why = QStringLiteral("it is a storage, not a stream");
            return nullptr;
        }
        return child;
    };

    CompoundDocument document;
    qint64 budget = size;

    const Entry* workbook = find(kWorkbookName);
    if (!workbook) {
        if (find(kOldWorkbookName))
            fail(QStringLiteral("the file holds an Excel 5.0/95 workbook (a \"Book\" stream); this program reads "
                                "Excel 97-2003 workbooks, which keep a \"Workbook\" stream"));
        fail(QStringLiteral("the compound document has no \"Workbook\" stream, so it is not an Excel 97-2003 "
                            "workbook%1")
                 .arg(cutShortHint(fileBytes)));
    }
    {
        QString why;
        GRef<GsfInput> stream = openStream(workbook->index, &why);
        if (!stream)
            fail(QStringLiteral("the Workbook stream cannot be read: %1%2").arg(why, cutShortHint(fileBytes)));
        document.workbook = readWhole(stream.get(), kWorkbookName, budget);
    }

    // Property sets and other streams are best effort.
    auto readOptional = [&](int index, const QString& label, QByteArray& out) {
        GRef<GsfInput> stream = openStream(index, nullptr);
        if (!stream)
            return false;
        try {
            out = readWhole(stream.get(), label, budget);
            return true;
        } catch (const FileFormatError&) {
            return false;
        }
    };
    GRef<GsfDocMetaData> summary(gsf_doc_meta_data_new());
    GRef<GsfDocMetaData> documentSummary(gsf_doc_meta_data_new());
    const std::pair<const QString*, GsfDocMetaData*> propertySets[] = {
        {&kSummaryName, summary.get()},
        {&kDocumentSummaryName, documentSummary.get()},
    };
    for (const auto& [name, meta] : propertySets) {
        QByteArray bytes;
        if (const Entry* entry = find(*name); entry && readOptional(entry->index, *name, bytes))
            readPropertySet(bytes, meta);
    }
    document.properties = propertiesFrom(summary.get(), documentSummary.get());

    QList<QString> kept;
    for (const Entry& entry : entries) {
        if (isReservedName(entry.name) || !isStreamNameWritable(entry.name))
            continue;
        if (std::any_of(kept.cbegin(), kept.cend(), [&](const QString& k) { return sameEntryName(k, entry.name); }))
            continue;
        QByteArray bytes;
        if (readOptional(entry.index, entry.name, bytes)) {
            kept.append(entry.name);
            document.otherStreams.append({entry.name, bytes});
        }
    }
    return document;
}

QByteArray writeCompoundDocument(const CompoundDocument& document)
{
    QList<QString> names;
    for (const auto& [name, bytes] : document.otherStreams) {
        if (!isStreamNameWritable(name))
            refuse(QStringLiteral("\"%1\" cannot name a stream: names take 1 to 31 characters, without / \\ : ! "
                                  "or NUL")
                       .arg(name));
        if (isReservedName(name))
            refuse(QStringLiteral("\"%1\" names one of the three streams the writer makes itself").arg(name));
        for (const QString& earlier : names) {
            if (sameEntryName(earlier, name))
                refuse(QStringLiteral("the stream name \"%1\" is given twice").arg(name));
        }
        names.append(name);
    }

    const LibgsfSession session;
    GRef<GsfDocMetaData> meta(gsf_doc_meta_data_new());
    fillMetaData(meta.get(), document.properties);
    const QByteArray summary = propertySetBytes(meta.get(), false);
    const QByteArray documentSummary = propertySetBytes(meta.get(), true);

    GRef<GsfOutput> sink(gsf_output_memory_new());
    if (!sink)
        refuse(QStringLiteral("libgsf could not make a memory output"));
    GRef<GsfOutfile> root(gsf_outfile_msole_new_full(sink.get(), 512, 64));
    if (!root)
        refuse(QStringLiteral("libgsf could not start a compound document"));
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root.get()), kExcelWorkbookClassId);

    writeStream(root.get(), kWorkbookName, outsideTheMiniStream(document.workbook));
    writeStream(root.get(), kSummaryName, summary);
    writeStream(root.get(), kDocumentSummaryName, documentSummary);
    for (const auto& [name, bytes] : document.otherStreams)
        writeStream(root.get(), name, bytes);
    if (!gsf_output_close(GSF_OUTPUT(root.get())))
        refuse(QStringLiteral("libgsf could not finish the compound document"));

    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (size <= 0 || !bytes)
        refuse(QStringLiteral("libgsf wrote no bytes"));
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
}

} // namespace spreadsheet
