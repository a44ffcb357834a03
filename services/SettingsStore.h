#pragma once

#include <QList>
#include <QSettings>
#include <QString>
#include <memory>
#include <utility>

namespace services {

// The per-user store of the program's entries: organisation "Quillmere",
// section "Corvantis", string values kept exactly as given. Every write
// reaches the disk before write() returns, replacing the file atomically, so a
// killed program loses nothing it had stored.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();

    // The value, or `defaultValue` only when the key is missing.
    QString read(const QString& key, const QString& defaultValue) const;
    // Throws Failure when the value cannot be stored.
    void write(const QString& key, const QString& value);
    // Every (key, value) of the section, in the store's order.
    QList<std::pair<QString, QString>> pairs() const;

    QString filePath() const;
    // Set when the file found at start could not be read whole and was kept
    // aside under this name before anything was written.
    QString keptAsidePath() const { return keptAside_; }

private:
    void keepDamagedFileAside();

    std::unique_ptr<QSettings> settings_;
    QString keptAside_;
    QString refusal_; // why writes are refused, with %1 for the key
};

// The program's one store, opened on first use. When the file found then was
// damaged, the user is told once where the copy is.
SettingsStore& settingsStore();
// Tests open the store afresh after changing the file under it.
void reopenSettingsStoreForTesting();

} // namespace services
