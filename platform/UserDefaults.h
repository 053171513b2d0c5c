#pragma once

// The user-defaults store: one dictionary of property-list values kept in
// "<config>/defaults.plist" (XML). It is read once when first used; synchronize()
// writes it whole through a temporary file that is renamed over the old one.
//
// A file that cannot be read as a dictionary is moved aside to
// "defaults.plist.damaged" and the store starts empty, so nothing is lost and the
// next synchronize() writes a good file.
//
// Thread-safe: the main thread and workers may read and write; never the render
// thread.

#include <QMutex>
#include <QString>
#include <QVariant>
#include <memory>

class UserDefaults {
public:
    // The store of this user (created on first use).
    static UserDefaults& standard();
    // Drops the standard store so that the next standard() reads the file again
    // (tests give each test its own config folder).
    static void resetStandardForTesting();

    explicit UserDefaults(QString filePath);

    // Invalid QVariant when the key is absent.
    QVariant objectForKey(const QString& key) const;
    bool contains(const QString& key) const;
    void setObject(const QString& key, const QVariant& value);
    void removeObject(const QString& key);

    // Writes the whole store to disk. False if the file could not be written (the
    // old file is then left as it was).
    bool synchronize();

    QString filePath() const { return m_path; }

private:
    void load();

    const QString m_path;   // immutable after construction
    mutable QMutex m_mutex; // guards m_values
    QVariantMap m_values;   // guarded by m_mutex
    QMutex m_writeMutex;    // serialises synchronize(); held while writing the file
};
