#include "platform/UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(lcDefaults, "quaver.defaults", QtWarningMsg)

namespace {

QMutex g_standardMutex;
std::unique_ptr<UserDefaults> g_standard; // guarded by g_standardMutex

} // namespace

UserDefaults& UserDefaults::standard()
{
    QMutexLocker lock(&g_standardMutex);
    if (!g_standard) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        g_standard = std::make_unique<UserDefaults>(dir + QStringLiteral("/defaults.plist"));
    }
    return *g_standard;
}

void UserDefaults::resetStandardForTesting()
{
    QMutexLocker lock(&g_standardMutex);
    g_standard.reset();
}

UserDefaults::UserDefaults(QString filePath) : m_path(std::move(filePath))
{
    load();
}

void UserDefaults::load()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    if (std::optional<QVariantMap> map = PropertyList::dictionaryFromBytes(bytes)) {
        m_values = std::move(*map);
        return;
    }
    const QString aside = m_path + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (QFile::rename(m_path, aside))
        qCWarning(lcDefaults) << "settings file was damaged; kept as" << aside;
    else
        qCWarning(lcDefaults) << "settings file is damaged and could not be moved aside:" << m_path;
}

QVariant UserDefaults::objectForKey(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

bool UserDefaults::contains(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_values.contains(key);
}

void UserDefaults::setObject(const QString& key, const QVariant& value)
{
    QMutexLocker lock(&m_mutex);
    if (value.isValid())
        m_values.insert(key, value);
    else
        m_values.remove(key);
}

void UserDefaults::removeObject(const QString& key)
{
    setObject(key, QVariant());
}

bool UserDefaults::synchronize()
{
    // Writers queue here; each writes the newest values, so a later write never
    // loses to an earlier one.
    QMutexLocker writeLock(&m_writeMutex);
    QVariantMap snapshot;
    {
        QMutexLocker lock(&m_mutex);
        snapshot = m_values;
    }
    PlistPtr root = PropertyList::fromVariant(snapshot);
    if (!root) {
        qCWarning(lcDefaults) << "a value has no property-list form; not written";
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return AtomicFile::write(m_path, PropertyList::toXml(root.get()));
}
