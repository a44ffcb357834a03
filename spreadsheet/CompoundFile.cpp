#include "spreadsheet/CompoundFile.h"

#include "spreadsheet/Value.h"

#include <gsf/gsf-doc-meta-data.h>
#include <gsf/gsf-docprop-vector.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-meta-names.h>
#include <gsf/gsf-msole-utils.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-timestamp.h>
#include <gsf/gsf-utils.h>

#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace spreadsheet {

namespace {

const QString kWorkbookName = QStringLiteral("Workbook");
const QString kOldWorkbookName = QStringLiteral("Book");
const QString kSummaryName = QStringLiteral("\005SummaryInformation");
const QString kDocumentSummaryName = QStringLiteral("\005DocumentSummaryInformation");

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// The class id Excel gives the root of a workbook file,
// {00020820-0000-0000-C000-000000000046}.
constexpr guint8 kExcelWorkbookClassId[16] = {0x20, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// libgsf 1.14.50 reserves 128 bytes per byte of the directory's sector
// chain (in a 32-bit size that wraps), recurses once per directory entry,
// and sizes the mini-sector table by its chain; so the chains are bounded
// before libgsf sees them. Workbook files stay far below these.
constexpr qint64 kMaxDirectoryBytes = 128 * 1024;   // 1024 entries
constexpr qint64 kMaxMiniTableBytes = 256 * 1024;   // 4 MiB of mini stream

// Property sets are not handed to libgsf when larger than this, or when
// they could nest vectors deeper than this: its reader recurses once per
// nested vector (about 100 bytes of stack for 8 bytes of file).
constexpr qsizetype kMaxPropertySetSize = 1024 * 1024;
constexpr qsizetype kMaxNestedVectors = 64;
// libgsf 1.14.50 can read a dictionary entry up to twice 64 Ki characters
// past the end of the property; this many zeros after the copy keep that
// read inside our own buffer.
constexpr qsizetype kPropertySetReadSlack = 2 * 0x10000 + 64;

constexpr int kUtf8Codepage = 65001;
// Time stamps pass through libgsf as 32-bit Unix seconds.
constexpr qint64 kLastStorableSecond = std::numeric_limits<quint32>::max();

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

QString takeErrorMessage(GError* error)
{
    if (!error)
        return QStringLiteral("no reason given");
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message;
}

[[noreturn]] void fail(const QString& description)
{
    throw FileFormatError(description.toStdString());
}

[[noreturn]] void refuse(const QString& description)
{
    throw std::runtime_error(description.toStdString());
}

void dropLibgsfMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
    // Every failure reaches the caller as an exception; libgsf's own
    // warnings about hostile files would only clutter stderr.
}

void dropLibgsfPrint(const gchar*)
{
}

constexpr auto kAllLogLevels = GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);

// libgsf keeps unguarded lazy state (its property-name table), so its calls
// are serialised. Some of its files log without a domain, and it dumps
// unknown property sections with g_print; those are dropped only while
// libgsf runs.
class LibgsfSession {
public:
    LibgsfSession()
        : m_lock(mutex())
    {
        static const bool initialised = [] {
            gsf_init();
            for (const char* domain : {"libgsf", "libgsf:msole"})
                g_log_set_handler(domain, kAllLogLevels, dropLibgsfMessage, nullptr);
            return true;
        }();
        (void)initialised;
        m_handler = g_log_set_handler(nullptr, kAllLogLevels, dropLibgsfMessage, nullptr);
        m_print = g_set_print_handler(dropLibgsfPrint);
    }
    ~LibgsfSession()
    {
        g_set_print_handler(m_print);
        g_log_remove_handler(nullptr, m_handler);
    }
    LibgsfSession(const LibgsfSession&) = delete;
    LibgsfSession& operator=(const LibgsfSession&) = delete;

private:
    static std::mutex& mutex()
    {
        static std::mutex instance;
        return instance;
    }
    std::lock_guard<std::mutex> m_lock;
    guint m_handler = 0;
    GPrintFunc m_print = nullptr;
};

// ---------------------------------------------------------------------------
// Bounds checked before libgsf reads the file.

class SectorCheck {
public:
    explicit SectorCheck(const QByteArray& file)
        : m_file(file)
        , m_size(file.size())
    {
    }

    void run()
    {
        const quint16 sectorShift = u16(0x1E);
        const quint16 miniShift = u16(0x20);
        if (sectorShift != 9 && sectorShift != 12)
            fail(QStringLiteral("the compound document is damaged: its header gives a sector shift of %1, "
                                "where only 9 (512-byte sectors) and 12 (4096-byte sectors) occur")
                     .arg(sectorShift));
        if (miniShift != 6)
            fail(QStringLiteral("the compound document is damaged: its header gives a mini-sector shift of %1, "
                                "where only 6 (64-byte mini sectors) occurs")
                     .arg(miniShift));
        m_sector = qint64(1) << sectorShift;
        m_perSector = quint32(m_sector / 4);
        m_headerBytes = std::max<qint64>(512, m_sector);
        const qint64 sectorsInFile = (m_size - 512 + m_sector - 1) / m_sector;

        const quint32 fatCount = u32(0x2C);
        const quint32 directoryStart = u32(0x30);
        const quint32 miniTableStart = u32(0x3C);
        const quint32 miniTableCount = u32(0x40);
        if (fatCount >= sectorsInFile || miniTableCount >= sectorsInFile)
            fail(QStringLiteral("the file is cut short or damaged: its header counts %1 allocation-table and "
                                "%2 mini-table sectors, but the file holds only %3 sectors")
                     .arg(fatCount)
                     .arg(miniTableCount)
                     .arg(sectorsInFile));
        listAllocationSectors(fatCount);
        m_entries = quint64(fatCount) * m_perSector;

        if (directoryStart >= m_entries)
            fail(QStringLiteral("the compound document is damaged: its directory starts at sector %1, "
                                "outside its allocation table")
                     .arg(directoryStart));
        const quint64 directoryLimit = quint64(kMaxDirectoryBytes / m_sector);
        const std::vector<quint32> directory = chain(directoryStart, directoryLimit);
        if (directory.size() > directoryLimit)
            fail(QStringLiteral("the compound document is damaged: its directory runs over more than %1 sectors "
                                "(or in a circle), where workbook files need a few")
                     .arg(directoryLimit));
        for (quint32 sector : directory)
            requireInFile(sector, QStringLiteral("a sector of its directory"));

        const quint64 miniLimit = quint64(kMaxMiniTableBytes / m_sector);
        if (chain(miniTableStart, miniLimit).size() > miniLimit)
            fail(QStringLiteral("the compound document is damaged: its mini-sector table runs over more than "
                                "%1 sectors (or in a circle)")
                     .arg(miniLimit));
    }

private:
    quint16 u16(qint64 at) const { return qFromLittleEndian<quint16>(m_file.constData() + at); }
    quint32 u32(qint64 at) const { return qFromLittleEndian<quint32>(m_file.constData() + at); }

    qint64 sectorStart(quint32 sector) const { return m_headerBytes + qint64(sector) * m_sector; }
    bool inFile(quint32 sector) const { return sectorStart(sector) + m_sector <= m_size; }

    void requireInFile(quint32 sector, const QString& what) const
    {
        if (!inFile(sector))
            fail(QStringLiteral("the file is cut short or damaged: %1 is sector %2, which would end at byte %3, "
                                "but the file has %4 bytes")
                     .arg(what)
                     .arg(sector)
                     .arg(sectorStart(sector) + m_sector)
                     .arg(m_size));
    }

    // The sectors of the allocation table, as libgsf lists them from the
    // header and the chain of extension sectors.
    void listAllocationSectors(quint32 count)
    {
        const QString what = QStringLiteral("a sector of its allocation table");
        quint32 remaining = count;
        const quint32 inHeader = std::min<quint32>(remaining, 109);
        for (quint32 i = 0; i < inHeader; ++i)
            addAllocationSector(u32(0x4C + 4 * qint64(i)), what);
        remaining -= inHeader;

        quint32 extension = u32(0x44);
        quint32 extensions = u32(0x48);
        const quint32 perExtension = m_perSector - 1;
        while (extensions-- > 0) {
            requireInFile(extension, QStringLiteral("a sector listing its allocation table"));
            const qint64 base = sectorStart(extension);
            quint32 take = perExtension;
            if (extensions == 0) {
                if (perExtension < remaining)
                    fail(QStringLiteral("the compound document is damaged: its header counts more "
                                        "allocation-table sectors than it lists"));
                take = remaining;
            } else {
                if (remaining < perExtension)
                    fail(QStringLiteral("the compound document is damaged: its header lists more "
                                        "allocation-table sectors than it counts"));
                remaining -= perExtension;
                extension = u32(base + 4 * qint64(perExtension));
            }
            for (quint32 i = 0; i < take; ++i)
                addAllocationSector(u32(base + 4 * qint64(i)), what);
        }
    }

    void addAllocationSector(quint32 sector, const QString& what)
    {
        if (sector != kFree)
            requireInFile(sector, what);
        m_allocationSectors.push_back(sector);
    }

    // Where the allocation table sends a chain after `sector`; libgsf leaves
    // unlisted parts zero and free-marked sectors all free.
    quint32 next(quint32 sector) const
    {
        const quint64 index = sector / m_perSector;
        if (index >= m_allocationSectors.size())
            return 0;
        const quint32 tableSector = m_allocationSectors[index];
        if (tableSector == kFree)
            return kFree;
        return u32(sectorStart(tableSector) + 4 * qint64(sector % m_perSector));
    }

    // The chain from `start` as libgsf follows it (stopping at the end of the
    // table or at a sector seen before), cut one past `limit`.
    std::vector<quint32> chain(quint32 start, quint64 limit) const
    {
        std::vector<quint32> sectors;
        std::vector<bool> seen(m_entries, false);
        for (quint32 sector = start; sector < m_entries && !seen[sector]; sector = next(sector)) {
            seen[sector] = true;
            sectors.push_back(sector);
            if (sectors.size() > limit)
                break;
        }
        return sectors;
    }

    static constexpr quint32 kFree = 0xFFFFFFFF;

    const QByteArray& m_file;
    const qint64 m_size;
    qint64 m_sector = 512;
    quint32 m_perSector = 128;
    qint64 m_headerBytes = 512;
    quint64 m_entries = 0;
    std::vector<quint32> m_allocationSectors;
};

// ---------------------------------------------------------------------------
// Reading

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

bool sameEntryName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
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

void readPropertySet(const QByteArray& stream, GsfDocMetaData* meta)
{
    if (stream.isEmpty() || stream.size() > kMaxPropertySetSize)
        return;
    // Only a vector of variants (type 0x100C) can hold another vector; a
    // workbook's property sets have one, for the heading pairs.
    if (stream.count(QByteArrayView("\x0C\x10\x00\x00", 4)) > kMaxNestedVectors)
        return;
    QByteArray padded(stream.size() + kPropertySetReadSlack, '\0');
    std::memcpy(padded.data(), stream.constData(), size_t(stream.size()));
    GRef<GsfInput> input(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(padded.constData()), stream.size(), FALSE));
    if (!input)
        return;
    // What was read before a fault stays in `meta`.
    if (GError* error = gsf_doc_meta_data_read_from_msole(meta, input.get()))
        g_error_free(error);
}

const GValue* valueOf(GsfDocMetaData* meta, const char* name)
{
    GsfDocProp* property = gsf_doc_meta_data_lookup(meta, name);
    return property ? gsf_doc_prop_get_val(property) : nullptr;
}

QString textOfValue(const GValue* value)
{
    if (!value || !G_VALUE_HOLDS_STRING(value))
        return {};
    const char* text = g_value_get_string(value);
    return text ? QString::fromUtf8(text) : QString();
}

QString textOf(GsfDocMetaData* meta, const char* name)
{
    return textOfValue(valueOf(meta, name));
}

QDateTime timeOf(GsfDocMetaData* meta, const char* name)
{
    const GValue* value = valueOf(meta, name);
    if (!value || !VAL_IS_GSF_TIMESTAMP(value))
        return {};
    const auto* stamp = static_cast<const GsfTimestamp*>(g_value_get_boxed(value));
    return stamp ? QDateTime::fromSecsSinceEpoch(qint64(stamp->timet), Qt::UTC) : QDateTime();
}

bool codepageOf(GsfDocMetaData* meta, int& codepage)
{
    const GValue* value = valueOf(meta, GSF_META_NAME_CODEPAGE);
    if (!value || !G_VALUE_HOLDS_INT(value))
        return false;
    // Stored as a signed 16-bit number: UTF-8 comes back as -535.
    codepage = g_value_get_int(value) & 0xFFFF;
    return true;
}

// The elements of a vector property. libgsf 1.14.50 declares
// gsf_value_get_docprop_array but does not export it, so the older
// GValueArray accessor it does export is used.
QList<const GValue*> vectorOf(GsfDocMetaData* meta, const char* name)
{
    const GValue* value = valueOf(meta, name);
    if (!value || !VAL_IS_GSF_DOCPROP_VECTOR(value))
        return {};
    QList<const GValue*> elements;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (const GValueArray* array = gsf_value_get_docprop_varray(value)) {
        for (guint i = 0; i < array->n_values; ++i)
            elements.append(&array->values[i]);
    }
    G_GNUC_END_IGNORE_DEPRECATIONS
    return elements;
}

QStringList worksheetTitlesOf(GsfDocMetaData* meta)
{
    QStringList titles;
    for (const GValue* part : vectorOf(meta, GSF_META_NAME_DOCUMENT_PARTS))
        titles.append(textOfValue(part));

    // Heading pairs cut the titles into groups: ("Worksheets", 3),
    // ("Named Ranges", 2) and so on. The worksheets are the group so named,
    // else the first (Excel puts them first, under a localised heading).
    const QList<const GValue*> headings = vectorOf(meta, GSF_META_NAME_HEADING_PAIRS);
    if (headings.isEmpty() || headings.size() % 2 != 0)
        return titles;
    struct Group {
        QString heading;
        qsizetype first;
        qsizetype count;
    };
    QList<Group> groups;
    qsizetype next = 0;
    for (qsizetype i = 0; i < headings.size(); i += 2) {
        const GValue* heading = headings[i];
        const GValue* count = headings[i + 1];
        qint64 n = -1;
        if (G_VALUE_HOLDS_INT(count))
            n = g_value_get_int(count);
        else if (G_VALUE_HOLDS_UINT(count))
            n = g_value_get_uint(count);
        if (!G_VALUE_HOLDS_STRING(heading) || n < 0 || n > titles.size() - next)
            return titles;
        groups.append({textOfValue(heading), next, qsizetype(n)});
        next += n;
    }
    if (next != titles.size())
        return titles;
    Group chosen = groups.first();
    for (const Group& group : groups) {
        if (sameEntryName(group.heading, QStringLiteral("Worksheets"))) {
            chosen = group;
            break;
        }
    }
    return titles.mid(chosen.first, chosen.count);
}

// The names libgsf gives the properties it knows; any other name in the
// document summary is a user-defined property.
const QSet<QByteArray>& libgsfPropertyNames()
{
    static const QSet<QByteArray> names = {
        GSF_META_NAME_DICTIONARY, GSF_META_NAME_CODEPAGE, GSF_META_NAME_LOCALE_SYSTEM_DEFAULT,
        GSF_META_NAME_CASE_SENSITIVE, GSF_META_NAME_CATEGORY, GSF_META_NAME_PRESENTATION_FORMAT,
        GSF_META_NAME_BYTE_COUNT, GSF_META_NAME_LINE_COUNT, GSF_META_NAME_PARAGRAPH_COUNT,
        GSF_META_NAME_SLIDE_COUNT, GSF_META_NAME_NOTE_COUNT, GSF_META_NAME_HIDDEN_SLIDE_COUNT,
        GSF_META_NAME_MM_CLIP_COUNT, GSF_META_NAME_SCALE, GSF_META_NAME_HEADING_PAIRS,
        GSF_META_NAME_DOCUMENT_PARTS, GSF_META_NAME_MANAGER, GSF_META_NAME_COMPANY, GSF_META_NAME_LINKS_DIRTY,
        GSF_META_NAME_MSOLE_UNKNOWN_17, GSF_META_NAME_MSOLE_UNKNOWN_18, GSF_META_NAME_MSOLE_UNKNOWN_19,
        GSF_META_NAME_MSOLE_UNKNOWN_20, GSF_META_NAME_MSOLE_UNKNOWN_21, GSF_META_NAME_MSOLE_UNKNOWN_22,
        GSF_META_NAME_MSOLE_UNKNOWN_23, GSF_META_NAME_TITLE, GSF_META_NAME_SUBJECT, GSF_META_NAME_CREATOR,
        GSF_META_NAME_KEYWORDS, GSF_META_NAME_DESCRIPTION, GSF_META_NAME_TEMPLATE,
        GSF_META_NAME_LAST_SAVED_BY, GSF_META_NAME_REVISION_COUNT, GSF_META_NAME_EDITING_DURATION,
        GSF_META_NAME_LAST_PRINTED, GSF_META_NAME_DATE_CREATED, GSF_META_NAME_DATE_MODIFIED,
        GSF_META_NAME_PAGE_COUNT, GSF_META_NAME_WORD_COUNT, GSF_META_NAME_CHARACTER_COUNT,
        GSF_META_NAME_THUMBNAIL, GSF_META_NAME_GENERATOR, GSF_META_NAME_SECURITY,
    };
    return names;
}

void collectCustomText(gpointer key, gpointer value, gpointer userData)
{
    const char* name = static_cast<const char*>(key);
    auto* texts = static_cast<QList<std::pair<QString, QString>>*>(userData);
    if (!name || !*name || libgsfPropertyNames().contains(QByteArray(name)))
        return;
    const GValue* text = gsf_doc_prop_get_val(static_cast<GsfDocProp*>(value));
    if (!text || !G_VALUE_HOLDS_STRING(text))
        return;
    const QString decodedName = QString::fromUtf8(name);
    // Names that differ only in case are one name to the format.
    for (const auto& [existing, ignored] : *texts) {
        if (sameEntryName(existing, decodedName))
            return;
    }
    texts->append({decodedName, textOfValue(text)});
}

DocumentProperties propertiesFrom(GsfDocMetaData* summary, GsfDocMetaData* documentSummary)
{
    DocumentProperties p;
    p.title = textOf(summary, GSF_META_NAME_TITLE);
    p.subject = textOf(summary, GSF_META_NAME_SUBJECT);
    p.author = textOf(summary, GSF_META_NAME_CREATOR);
    p.keywords = textOf(summary, GSF_META_NAME_KEYWORDS);
    p.comments = textOf(summary, GSF_META_NAME_DESCRIPTION);
    p.lastSavedBy = textOf(summary, GSF_META_NAME_LAST_SAVED_BY);
    p.applicationName = textOf(summary, GSF_META_NAME_GENERATOR);
    p.created = timeOf(summary, GSF_META_NAME_DATE_CREATED);
    p.lastSaved = timeOf(summary, GSF_META_NAME_DATE_MODIFIED);

    p.company = textOf(documentSummary, GSF_META_NAME_COMPANY);
    p.manager = textOf(documentSummary, GSF_META_NAME_MANAGER);
    p.category = textOf(documentSummary, GSF_META_NAME_CATEGORY);
    p.worksheetTitles = worksheetTitlesOf(documentSummary);
    gsf_doc_meta_data_foreach(documentSummary, collectCustomText, &p.customTexts);

    if (!codepageOf(summary, p.codepage))
        codepageOf(documentSummary, p.codepage);
    return p;
}

QString cutShortHint(const QByteArray& file)
{
    // Whole files are whole sectors; a partial one means the end is missing.
    const qint64 sector = qFromLittleEndian<quint16>(file.constData() + 0x1E) == 12 ? 4096 : 512;
    if ((file.size() - std::max<qint64>(512, sector)) % sector != 0)
        return QStringLiteral("; the file ends part-way through a sector, so it was probably cut short");
    return {};
}

// ---------------------------------------------------------------------------
// Writing

struct GValueDeleter {
    void operator()(GValue* value) const
    {
        if (G_IS_VALUE(value))
            g_value_unset(value);
        g_free(value);
    }
};
using ValuePtr = std::unique_ptr<GValue, GValueDeleter>;

ValuePtr newValue(GType type)
{
    ValuePtr value(g_new0(GValue, 1));
    g_value_init(value.get(), type);
    return value;
}

void insert(GsfDocMetaData* meta, const QByteArray& name, ValuePtr value)
{
    // libgsf takes both the name and the value.
    gsf_doc_meta_data_insert(meta, g_strdup(name.constData()), value.release());
}

ValuePtr textValue(const QString& text)
{
    ValuePtr value = newValue(G_TYPE_STRING);
    g_value_set_string(value.get(), text.toUtf8().constData());
    return value;
}

void insertText(GsfDocMetaData* meta, const char* name, const QString& text)
{
    if (!text.isEmpty())
        insert(meta, name, textValue(text));
}

void insertTime(GsfDocMetaData* meta, const char* name, const QDateTime& time, const char* label)
{
    if (!time.isValid())
        return;
    const qint64 seconds = time.toSecsSinceEpoch();
    if (seconds < 0 || seconds > kLastStorableSecond)
        refuse(QStringLiteral("the %1 time %2 lies outside 1970..2106, which the property set cannot hold")
                   .arg(QLatin1String(label), time.toString(Qt::ISODate)));
    GsfTimestamp* stamp = gsf_timestamp_new();
    gsf_timestamp_set_time(stamp, guint64(seconds));
    ValuePtr value = newValue(GSF_TIMESTAMP_TYPE);
    gsf_timestamp_to_value(stamp, value.get()); // copies the stamp
    gsf_timestamp_free(stamp);
    insert(meta, name, std::move(value));
}

void insertVector(GsfDocMetaData* meta, const char* name, const std::vector<ValuePtr>& elements)
{
    GsfDocPropVector* vector = gsf_docprop_vector_new();
    for (const ValuePtr& element : elements)
        gsf_docprop_vector_append(vector, element.get()); // copies the element
    ValuePtr value = newValue(GSF_DOCPROP_VECTOR_TYPE);
    g_value_set_object(value.get(), vector);
    g_object_unref(vector);
    insert(meta, name, std::move(value));
}

// Whether every text converts to `codepage` the way libgsf will convert it.
bool codepageEncodes(int codepage, const QStringList& texts)
{
    GIConv converter = gsf_msole_iconv_open_codepage_for_export(codepage);
    if (converter == reinterpret_cast<GIConv>(-1))
        return false;
    bool ok = true;
    for (const QString& text : texts) {
        const QByteArray utf8 = text.toUtf8();
        gsize written = 0;
        gchar* converted = g_convert_with_iconv(utf8.constData(), utf8.size(), converter, nullptr, &written, nullptr);
        if (!converted) {
            ok = false;
            break;
        }
        g_free(converted);
    }
    gsf_iconv_close(converter);
    return ok;
}

int codepageFor(int wanted, const QStringList& texts)
{
    const int codepage = wanted & 0xFFFF;
    if (codepage == 0 || codepage == 1200 || codepage == 1201 || codepage == kUtf8Codepage)
        return kUtf8Codepage;
    return codepageEncodes(codepage, texts) ? codepage : kUtf8Codepage;
}

QByteArray propertySetBytes(GsfDocMetaData* meta, bool documentSummary)
{
    GRef<GsfOutput> output(gsf_output_memory_new());
    if (!output || !gsf_doc_meta_data_write_to_msole(meta, output.get(), documentSummary ? TRUE : FALSE)
        || !gsf_output_close(output.get()))
        refuse(QStringLiteral("libgsf could not write the %1 property set")
                   .arg(documentSummary ? QStringLiteral("document summary") : QStringLiteral("summary")));
    const gsf_off_t size = gsf_output_size(output.get());
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(output.get()));
    if (size <= 0 || !bytes)
        return {};
    return QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size));
}

void checkNoNul(const QString& text, const QString& what)
{
    if (text.contains(QChar(0)))
        refuse(QStringLiteral("the %1 holds a NUL character, which a property set cannot hold").arg(what));
}

void fillMetaData(GsfDocMetaData* meta, const DocumentProperties& p)
{
    struct Text {
        const char* name;
        const char* label;
        const QString* text;
    };
    const Text texts[] = {
        {GSF_META_NAME_TITLE, "title", &p.title},
        {GSF_META_NAME_SUBJECT, "subject", &p.subject},
        {GSF_META_NAME_CREATOR, "author", &p.author},
        {GSF_META_NAME_KEYWORDS, "keywords", &p.keywords},
        {GSF_META_NAME_DESCRIPTION, "comments", &p.comments},
        {GSF_META_NAME_LAST_SAVED_BY, "last-saved-by name", &p.lastSavedBy},
        {GSF_META_NAME_GENERATOR, "application name", &p.applicationName},
        {GSF_META_NAME_COMPANY, "company", &p.company},
        {GSF_META_NAME_MANAGER, "manager", &p.manager},
        {GSF_META_NAME_CATEGORY, "category", &p.category},
    };
    const QString worksheetsHeading = QStringLiteral("Worksheets");

    QStringList allTexts;
    for (const Text& text : texts) {
        checkNoNul(*text.text, QString::fromLatin1(text.label));
        allTexts.append(*text.text);
    }
    for (const QString& title : p.worksheetTitles) {
        checkNoNul(title, QStringLiteral("worksheet title"));
        allTexts.append(title);
    }
    if (!p.worksheetTitles.isEmpty())
        allTexts.append(worksheetsHeading);
    for (qsizetype i = 0; i < p.customTexts.size(); ++i) {
        const auto& [name, text] = p.customTexts[i];
        if (name.isEmpty())
            refuse(QStringLiteral("a custom property has no name"));
        checkNoNul(name, QStringLiteral("custom property name"));
        checkNoNul(text, QStringLiteral("custom property \"%1\"").arg(name));
        if (libgsfPropertyNames().contains(name.toUtf8()))
            refuse(QStringLiteral("the custom property name \"%1\" is one libgsf keeps for itself").arg(name));
        for (qsizetype j = 0; j < i; ++j) {
            if (sameEntryName(p.customTexts[j].first, name))
                refuse(QStringLiteral("the custom property \"%1\" is given twice").arg(name));
        }
        allTexts.append(name);
        allTexts.append(text);
    }

    ValuePtr codepage = newValue(G_TYPE_INT);
    g_value_set_int(codepage.get(), codepageFor(p.codepage, allTexts));
    insert(meta, GSF_META_NAME_CODEPAGE, std::move(codepage));

    for (const Text& text : texts)
        insertText(meta, text.name, *text.text);
    insertTime(meta, GSF_META_NAME_DATE_CREATED, p.created, "creation");
    insertTime(meta, GSF_META_NAME_DATE_MODIFIED, p.lastSaved, "last-saved");

    if (!p.worksheetTitles.isEmpty()) {
        std::vector<ValuePtr> headingPair;
        headingPair.push_back(textValue(worksheetsHeading));
        ValuePtr count = newValue(G_TYPE_INT);
        g_value_set_int(count.get(), int(p.worksheetTitles.size()));
        headingPair.push_back(std::move(count));
        insertVector(meta, GSF_META_NAME_HEADING_PAIRS, headingPair);

        std::vector<ValuePtr> titles;
        for (const QString& title : p.worksheetTitles)
            titles.push_back(textValue(title));
        insertVector(meta, GSF_META_NAME_DOCUMENT_PARTS, titles);
    }

    for (const auto& [name, text] : p.customTexts)
        insert(meta, name.toUtf8(), textValue(text));
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
    SectorCheck(fileBytes).run();

    const LibgsfSession session;
    GRef<GsfInput> input(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(fileBytes.constData()), size, FALSE));
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

    writeStream(root.get(), kWorkbookName, document.workbook);
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
