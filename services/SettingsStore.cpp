#include "services/SettingsStore.h"

#include "resources/ProgramVersion.h"
#include "services/Dialogs.h"
#include "services/Failure.h"
#include "services/WholeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <memory>
#include <optional>

namespace services {
namespace {

const QString kSection = QStringLiteral("Corvantis");

QString defaultFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(resources::kCompany),
                     QLatin1String(resources::kProduct))
        .fileName();
}

QString asText(const QVariant& value)
{
    // A hand-edited value with unquoted commas reads back as a list.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

bool isUtf8Text(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(bytes));
    return !utf8.hasError();
}

// What the file says, as QSettings reads it. QSettings shares one parsed
// copy per file name and keeps no parse error with it, so it reads a
// private copy under a name of its own.
struct ParsedFile {
    QMap<QString, QString> values;
    bool whole = false;
};

ParsedFile parse(const QByteArray& bytes)
{
    ParsedFile parsed;
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        return parsed;
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    settings.beginGroup(kSection);
    for (const QString& key : settings.childKeys())
        parsed.values.insert(key, asText(settings.value(key)));
    settings.endGroup();
    parsed.whole = settings.status() == QSettings::NoError;
    return parsed;
}

// True when every line is one the store writes back: the section header and
// one line per key of the section. Comments, other sections and repeated
// keys would be lost by the first write.
bool holdsOnlyTheSection(const QByteArray& bytes, const QMap<QString, QString>& values)
{
    bool inSection = false;
    qsizetype keyLines = 0;
    for (const QByteArray& rawLine : bytes.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith('[')) {
            if (line != "[Corvantis]" || inSection)
                return false;
            inSection = true;
        } else if (!inSection || line.startsWith(';') || line.startsWith('#') || !line.contains('=')) {
            return false;
        } else {
            ++keyLines;
        }
    }
    return keyLines == values.size();
}

QString unusedAsideName(const QString& path)
{
    const QString base =
        path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

bool isHexDigit(char32_t c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

QByteArray hexEscape(char32_t c)
{
    return "\\x" + QByteArray::number(uint(c), 16);
}

QByteArray escapedKey(const QString& key)
{
    QByteArray text;
    for (const QChar c : key) {
        const char16_t unit = c.unicode();
        if ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9')
            || unit == u'-' || unit == u'_' || unit == u'.')
            text += char(unit);
        else
            text += "%U" + QByteArray::number(uint(unit), 16).rightJustified(4, '0').toUpper();
    }
    return text;
}

bool needsQuotes(const QString& value)
{
    if (value.isEmpty())
        return false;
    if (value.front().isSpace() || value.back().isSpace())
        return true;
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u";,=\"\\#").contains(c))
            return true;
    }
    return false;
}

QByteArray escapedValue(QString value)
{
    // QSettings reads a leading "@" as the start of a typed value.
    if (value.startsWith(u'@'))
        value.prepend(u'@');
    if (!needsQuotes(value))
        return value.toUtf8();
    QByteArray text = "\"";
    // QSettings reads every hex digit after "\x", so one that follows an
    // escape is escaped too.
    bool escapeHexDigit = false;
    for (const char32_t c : value.toUcs4()) {
        if (escapeHexDigit && isHexDigit(c)) {
            text += hexEscape(c);
            continue;
        }
        escapeHexDigit = false;
        if (c == u'"' || c == u'\\') {
            text += '\\';
            text += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            text += hexEscape(c);
            escapeHexDigit = true;
        } else {
            text += QString::fromUcs4(&c, 1).toUtf8();
        }
    }
    return text + '"';
}

} // namespace

QByteArray settingsFileText(const QMap<QString, QString>& values)
{
    QByteArray text = "[Corvantis]\n";
    for (auto entry = values.cbegin(); entry != values.cend(); ++entry)
        text += escapedKey(entry.key()) + '=' + escapedValue(entry.value()) + '\n';
    return text;
}

SettingsStore::SettingsStore() : path_(defaultFilePath()), writePath_(path_)
{
    load();
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::load()
{
    const QFileInfo info(path_);
    if (!info.exists() && !info.isSymLink())
        return;
    if (!info.exists())
        return keepAside(QStringLiteral("is a link to nothing"));
    QFile file(path_);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        return keepAside(QStringLiteral("could not be read whole"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return keepAside(QStringLiteral("could not be read whole"));
    const ParsedFile parsed = parse(bytes);
    values_ = parsed.values;
    if (!parsed.whole || !isUtf8Text(bytes))
        return keepAside(QStringLiteral("could not be read whole"));
    if (!holdsOnlyTheSection(bytes, values_))
        return keepAside(info.isSymLink() ? QStringLiteral("is a link to a file that holds more than settings")
                                          : QStringLiteral("holds lines that would be lost when it is next saved"));
    // A link to a file of settings stays a link: writes go to its target.
    if (info.isSymLink())
        writePath_ = info.canonicalFilePath();
}

void SettingsStore::keepAside(const QString& why)
{
    const QString aside = unusedAsideName(path_);
    if (!QDir().rename(path_, aside)) {
        // Never overwrite what could not be kept.
        refusal_ = QStringLiteral("The setting \"%1\" was not saved: the settings file ")
            + QDir::toNativeSeparators(path_)
            + QStringLiteral(" cannot be read whole and could not be moved aside to keep it.");
        return;
    }
    keptAside_ = aside;
    keptAsideReason_ = why;
    try {
        store();
    } catch (const Failure&) {
        // The next change tries again and reports it.
    }
}

void SettingsStore::store()
{
    QDir().mkpath(QFileInfo(writePath_).absolutePath());
    writeFileWhole(writePath_, settingsFileText(values_));
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const
{
    const auto found = values_.constFind(key);
    return found == values_.cend() ? defaultValue : *found;
}

void SettingsStore::write(const QString& key, const QString& value)
{
    if (!refusal_.isEmpty()) {
        // One report for one cause: every box stored at start would repeat it.
        if (!failureReported_) {
            failureReported_ = true;
            throw Failure(refusal_.arg(key));
        }
        return;
    }
    const auto found = values_.constFind(key);
    if (found != values_.cend() && *found == value && !failureReported_)
        return;
    values_.insert(key, value);
    if (batching_) {
        batchChanged_ = true;
        return;
    }
    storeReportingOnce(QStringLiteral("The setting \"%1\" could not be saved").arg(key));
}

void SettingsStore::endBatch()
{
    batching_ = false;
    if (!batchChanged_ || !refusal_.isEmpty())
        return;
    batchChanged_ = false;
    storeReportingOnce(QStringLiteral("The settings could not be saved"));
}

void SettingsStore::storeReportingOnce(const QString& what)
{
    try {
        store();
        failureReported_ = false;
    } catch (const WriteFailure& error) {
        if (failureReported_)
            return;
        failureReported_ = true;
        throw Failure(what
                      + QStringLiteral(" to %1: %2. Until the file can be written, what you change is not kept after "
                                       "the program ends.")
                            .arg(QDir::toNativeSeparators(error.path()), error.reason()));
    }
}

QList<std::pair<QString, QString>> SettingsStore::pairs() const
{
    QList<std::pair<QString, QString>> result;
    for (auto entry = values_.cbegin(); entry != values_.cend(); ++entry)
        result.append({entry.key(), entry.value()});
    return result;
}

namespace {
std::unique_ptr<SettingsStore> theStore;
}

SettingsStore& settingsStore()
{
    if (!theStore) {
        theStore = std::make_unique<SettingsStore>();
        if (!theStore->keptAsidePath().isEmpty()) {
            dialogs().message(nullptr, QString(),
                              QStringLiteral("The settings file %1 %2. A copy of it was kept as %3; the "
                                             "entries that could be read are used.")
                                  .arg(QDir::toNativeSeparators(theStore->filePath()), theStore->keptAsideReason(),
                                       QDir::toNativeSeparators(theStore->keptAsidePath())),
                              MessageIcon::Warning);
        }
    }
    return *theStore;
}

void reopenSettingsStoreForTesting()
{
    theStore.reset();
}

} // namespace services
