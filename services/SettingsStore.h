#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <utility>

namespace services {

// The per-user store of the program's entries: organisation "Quillmere",
// section "Corvantis", string values kept exactly as given. Every change
// reaches the disk before write() returns, replacing the file whole, so a
// killed program or a full disk loses nothing it had stored.
class SettingsStore {
public:
    SettingsStore();
    ~SettingsStore();

    // The value, or `defaultValue` only when the key is missing.
    QString read(const QString& key, const QString& defaultValue) const;
    // Throws Failure when the value cannot be stored, once: further failures
    // stay quiet until a write succeeds again (the value is kept meanwhile
    // and stored with the next write that succeeds). A value equal to the
    // stored one costs nothing.
    void write(const QString& key, const QString& value);
    // From now until endBatch(), writes only change what the store holds;
    // endBatch() stores them with one write. For values that can be derived
    // again from the file, as start-up's restore does, so that a crash
    // before endBatch() loses nothing. Throws Failure as write() does.
    void beginBatch() { batching_ = true; }
    void endBatch();
    // Every (key, value) of the section, in the store's order.
    QList<std::pair<QString, QString>> pairs() const;

    QString filePath() const { return path_; }
    // Set when the file found at start could not be read whole, or held
    // something the store would not write back, and was kept aside under
    // this name before anything was written.
    QString keptAsidePath() const { return keptAside_; }
    // Why, as words that follow the file's name ("could not be read whole").
    QString keptAsideReason() const { return keptAsideReason_; }

private:
    void load();
    void keepAside(const QString& why);
    void store();
    // Stores what the store holds; a failure is thrown once, as `what`
    // followed by the file and the reason.
    void storeReportingOnce(const QString& what);

    QString path_;      // the settings file's name
    QString writePath_; // where writes go: the name, or the file a link there names
    QMap<QString, QString> values_;
    QString keptAside_;
    QString keptAsideReason_;
    QString refusal_; // why writes are refused for good
    bool failureReported_ = false;
    bool batching_ = false;
    bool batchChanged_ = false;
};

// The file's text for these values: the section header and one line per
// key, in a form that QSettings reads back exactly.
QByteArray settingsFileText(const QMap<QString, QString>& values);

// The program's one store, opened on first use. When the file found then was
// kept aside, the user is told once where the copy is.
SettingsStore& settingsStore();
// Tests open the store afresh after changing the file under it.
void reopenSettingsStoreForTesting();

} // namespace services
