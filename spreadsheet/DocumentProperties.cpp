#include "spreadsheet/CompoundFileParts.h"

#include <gsf/gsf-doc-meta-data.h>
#include <gsf/gsf-docprop-vector.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-meta-names.h>
#include <gsf/gsf-msole-utils.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-timestamp.h>
#include <gsf/gsf-utils.h>

#include <QSet>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

// The document properties in the two property-set streams, through libgsf.
namespace spreadsheet::compound_file {

namespace {

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

// ---------------------------------------------------------------------------
// Reading

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
        GSF_META_NAME_DICTIONARY,
        GSF_META_NAME_CODEPAGE,
        GSF_META_NAME_LOCALE_SYSTEM_DEFAULT,
        GSF_META_NAME_CASE_SENSITIVE,
        GSF_META_NAME_CATEGORY,
        GSF_META_NAME_PRESENTATION_FORMAT,
        GSF_META_NAME_BYTE_COUNT,
        GSF_META_NAME_LINE_COUNT,
        GSF_META_NAME_PARAGRAPH_COUNT,
        GSF_META_NAME_SLIDE_COUNT,
        GSF_META_NAME_NOTE_COUNT,
        GSF_META_NAME_HIDDEN_SLIDE_COUNT,
        GSF_META_NAME_MM_CLIP_COUNT,
        GSF_META_NAME_SCALE,
        GSF_META_NAME_HEADING_PAIRS,
        GSF_META_NAME_DOCUMENT_PARTS,
        GSF_META_NAME_MANAGER,
        GSF_META_NAME_COMPANY,
        GSF_META_NAME_LINKS_DIRTY,
        GSF_META_NAME_MSOLE_UNKNOWN_17,
        GSF_META_NAME_MSOLE_UNKNOWN_18,
        GSF_META_NAME_MSOLE_UNKNOWN_19,
        GSF_META_NAME_MSOLE_UNKNOWN_20,
        GSF_META_NAME_MSOLE_UNKNOWN_21,
        GSF_META_NAME_MSOLE_UNKNOWN_22,
        GSF_META_NAME_MSOLE_UNKNOWN_23,
        GSF_META_NAME_TITLE,
        GSF_META_NAME_SUBJECT,
        GSF_META_NAME_CREATOR,
        GSF_META_NAME_KEYWORDS,
        GSF_META_NAME_DESCRIPTION,
        GSF_META_NAME_TEMPLATE,
        GSF_META_NAME_LAST_SAVED_BY,
        GSF_META_NAME_REVISION_COUNT,
        GSF_META_NAME_EDITING_DURATION,
        GSF_META_NAME_LAST_PRINTED,
        GSF_META_NAME_DATE_CREATED,
        GSF_META_NAME_DATE_MODIFIED,
        GSF_META_NAME_PAGE_COUNT,
        GSF_META_NAME_WORD_COUNT,
        GSF_META_NAME_CHARACTER_COUNT,
        GSF_META_NAME_THUMBNAIL,
        GSF_META_NAME_GENERATOR,
        GSF_META_NAME_SECURITY,
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

void checkNoNul(const QString& text, const QString& what)
{
    if (text.contains(QChar(0)))
        refuse(QStringLiteral("the %1 holds a NUL character, which a property set cannot hold").arg(what));
}

} // namespace

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

} // namespace spreadsheet::compound_file
