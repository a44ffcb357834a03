#include "services/SettingsStore.h"

#include "services/Dialogs.h"
#include "services/Failure.h"
#include "services/ProgramFolder.h"
#include "resources/ProgramVersion.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTemporaryFile>

namespace services {
namespace {

const QString kSection = QStringLiteral("Corvantis");

QString defaultFilePath()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(resources::kCompany),
                     QLatin1String(resources::kProduct))
        .fileName();
}

// A file that cannot be read whole would lose entries if it were rewritten
// from what could be read, so such a file is kept aside first.
bool cannotBeReadWhole(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return false;
    if (info.isDir() || !info.exists())
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.contains('\0'))
        return true;
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)QString(utf8(bytes));
    if (utf8.hasError())
        return true;
    // QSettings shares one parsed copy per file name and keeps no parse error
    // with it, so a probe under the file's own name, after finding that name
    // has read it, would see no error. Parse a private copy instead.
    QTemporaryFile copy;
    if (copy.open() && copy.write(bytes) == bytes.size() && copy.flush()) {
        const QSettings probe(copy.fileName(), QSettings::IniFormat);
        return probe.status() != QSettings::NoError;
    }
    const QSettings probe(path, QSettings::IniFormat);
    return probe.status() != QSettings::NoError;
}

QString unusedAsideName(const QString& path)
{
    const QString base = path + QStringLiteral(".damaged-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = base + u'-' + QString::number(n);
    return candidate;
}

QString asText(const QVariant& value)
{
    // A hand-edited value with unquoted commas reads back as a list.
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

} // namespace

SettingsStore::SettingsStore()
{
    const QString path = defaultFilePath();
    if (cannotBeReadWhole(path))
        keepDamagedFileAside();
    else
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::keepDamagedFileAside()
{
    const QString path = defaultFilePath();
    QList<std::pair<QString, QString>> readable;
    if (QFileInfo(path).isFile()) {
        QSettings damaged(path, QSettings::IniFormat);
        damaged.beginGroup(kSection);
        for (const QString& key : damaged.childKeys())
            readable.append({key, asText(damaged.value(key))});
    }

    const QString aside = unusedAsideName(path);
    if (!QDir().rename(path, aside)) {
        // Never overwrite what could not be kept: write() refuses from now on.
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        refusal_ = QStringLiteral("The setting \"%1\" was not saved: the settings file ")
            + QDir::toNativeSeparators(path)
            + QStringLiteral(" cannot be read whole and could not be moved aside to keep it.");
        return;
    }
    keptAside_ = aside;
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    settings_->beginGroup(kSection);
    for (const auto& [key, value] : readable)
        settings_->setValue(key, value);
    settings_->endGroup();
    settings_->sync();
}

QString SettingsStore::read(const QString& key, const QString& defaultValue) const
{
    const QVariant value = settings_->value(kSection + u'/' + key);
    return value.isValid() ? asText(value) : defaultValue;
}

void SettingsStore::write(const QString& key, const QString& value)
{
    if (!refusal_.isEmpty())
        throw Failure(refusal_.arg(key));
    // QSettings keeps the first error it met for good; after a failed write
    // only a fresh one can tell whether this write reaches the disk.
    if (settings_->status() != QSettings::NoError)
        settings_ = std::make_unique<QSettings>(filePath(), QSettings::IniFormat);
    settings_->setValue(kSection + u'/' + key, value);
    settings_->sync();
    if (settings_->status() == QSettings::AccessError) {
        throw Failure(QStringLiteral("The setting \"%1\" could not be saved to %2.")
                          .arg(key, QDir::toNativeSeparators(filePath())));
    }
}

QList<std::pair<QString, QString>> SettingsStore::pairs() const
{
    QList<std::pair<QString, QString>> result;
    settings_->beginGroup(kSection);
    for (const QString& key : settings_->childKeys())
        result.append({key, asText(settings_->value(key))});
    settings_->endGroup();
    return result;
}

QString SettingsStore::filePath() const
{
    return settings_->fileName();
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
                              QStringLiteral("The settings file %1 could not be read whole. "
                                             "A copy of it was kept as %2; the entries that could "
                                             "be read are used.")
                                  .arg(QDir::toNativeSeparators(theStore->filePath()),
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
