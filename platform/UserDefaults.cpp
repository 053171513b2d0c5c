#include "platform/UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/PropertyList.h"
#include "platform/RegularFile.h"
#include "platform/SystemError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

Q_LOGGING_CATEGORY(lcDefaults, "quaver.defaults", QtWarningMsg)

namespace {

// Both guarded by g_standardMutex.
QMutex g_standardMutex;
std::unique_ptr<UserDefaults> g_standard;
UserDefaults::Access g_standardAccess = UserDefaults::Access::Exclusive;

} // namespace

UserDefaults& UserDefaults::standard()
{
    QMutexLocker lock(&g_standardMutex);
    if (!g_standard) {
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        g_standard = std::make_unique<UserDefaults>(dir + QStringLiteral("/defaults.plist"),
                                                    g_standardAccess);
    }
    return *g_standard;
}

void UserDefaults::setStandardAccess(Access access)
{
    QMutexLocker lock(&g_standardMutex);
    g_standardAccess = access;
}

void UserDefaults::resetStandardForTesting()
{
    QMutexLocker lock(&g_standardMutex);
    g_standard.reset();
    g_standardAccess = Access::Exclusive;
}

UserDefaults::UserDefaults(QString filePath, Access access) : m_path(std::move(filePath))
{
    if (access == Access::ReadOnly) {
        m_leaveFileAlone = true;
    } else if (!lock()) {
        m_leaveFileAlone = true;
        qCWarning(lcDefaults,
                  "another copy of the program is using the settings in %s: this copy "
                  "stores nothing (its changes to the settings and the current list last "
                  "until it ends)",
                  qPrintable(QFileInfo(m_path).absolutePath()));
    } else {
        AtomicFile::removeLeftovers(m_path);
    }
    load();
}

UserDefaults::~UserDefaults()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString UserDefaults::lockPath(const QString& filePath)
{
    return filePath + QStringLiteral(".lock");
}

bool UserDefaults::isWritable() const
{
    return !m_leaveFileAlone;
}

bool UserDefaults::lock()
{
    const QString path = lockPath(m_path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Close-on-exec: a program started from here must not inherit the lock and
    // keep it past our end.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        // A copy that is ending may hold it for a moment still.
        const QDeadlineTimer deadline(kLockWaitMs);
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                error = 0;
                break;
            }
            error = errno;
            if (error == EINTR)
                continue;
            if (error != EWOULDBLOCK || deadline.hasExpired())
                break;
            QThread::msleep(20);
        }
        if (error == 0) {
            m_lockFd = fd;
            return true;
        }
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
    }
    qCWarning(lcDefaults, "cannot lock %s (%s): the settings are written without a lock",
              qPrintable(path), qPrintable(SystemError::text(error)));
    return true;
}

void UserDefaults::load()
{
    if (!QFileInfo::exists(m_path))
        return; // nothing stored yet (a dangling link counts as nothing)
    QByteArray bytes;
    QString reason;
    QFile file;
    // A FIFO, a device or no permission: reason says which.
    if (RegularFile::open(file, m_path, &reason)) {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            reason = file.errorString();
    }
    if (!reason.isEmpty()) {
        m_leaveFileAlone = true;
        qCWarning(lcDefaults,
                  "cannot read the settings file %s (%s): running with default "
                  "settings; the file is left as it is and not written",
                  qPrintable(m_path), qPrintable(reason));
        return;
    }
    // Moved: a stored list's 11 MB of data takes over the file's buffer.
    if (std::optional<QVariantMap> map = PropertyList::dictionaryFromBytes(std::move(bytes))) {
        m_values = std::move(*map);
        return;
    }
    if (m_leaveFileAlone)
        return; // damaged, but the copy that writes decides what becomes of it
    int error = EEXIST;
    for (int n = 1; n <= kMaxDamagedCopies && error == EEXIST; ++n) {
        error = AtomicFile::moveWithoutReplacing(m_path, damagedCopyPath(n));
        if (!error) {
            qCWarning(lcDefaults).noquote()
                << "the settings file was damaged; kept as" << damagedCopyPath(n);
            m_changes = 1; // the next synchronize() writes a good file
        }
    }
    if (error) {
        m_leaveFileAlone = true;
        qCWarning(lcDefaults,
                  "the settings file %s is damaged and cannot be kept aside (%s): "
                  "running with default settings; the file is left as it is",
                  qPrintable(m_path), qPrintable(SystemError::text(error)));
    }
}

QString UserDefaults::damagedCopyPath(int n) const
{
    return m_path + QStringLiteral(".damaged-%1").arg(n);
}

bool UserDefaults::keepDamagedCopy()
{
    if (m_leaveFileAlone)
        return false;
    QMutexLocker writeLock(&m_writeMutex);
    QFile file;
    if (!RegularFile::open(file, m_path))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    for (int n = 1; n <= kMaxDamagedCopies; ++n) {
        const QString copy = damagedCopyPath(n);
        if (QFileInfo::exists(copy) || QFileInfo(copy).isSymLink())
            continue;
        if (AtomicFile::write(copy, bytes, AtomicFile::Mode::CreateNew)) {
            qCWarning(lcDefaults).noquote() << "a stored value was unreadable; the settings "
                                               "file was copied to"
                                            << copy;
            return true;
        }
        // Taken meanwhile: try the next number; any other failure ends the search.
        if (!QFileInfo::exists(copy))
            return false;
    }
    return false;
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
    ++m_changes;
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
    if (m_leaveFileAlone)
        return false;
    QVariantMap snapshot;
    quint64 changes = 0;
    {
        QMutexLocker lock(&m_mutex);
        snapshot = m_values;
        changes = m_changes;
    }
    // The file holds these values already (a large "Last Playlist" makes a
    // needless write cost a noticeable time at every exit).
    if (changes == m_writtenChanges)
        return true;
    const std::optional<PropertyList::XmlParts> xml = PropertyList::xmlParts(snapshot);
    snapshot.clear(); // in xml now: a value replaced meanwhile need not wait for the disk
    if (!xml) {
        qCWarning(lcDefaults) << "a value has no property-list form; not written";
        return false;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QString reason;
    // Written as it is made: a stored list's 15 MB of text is never held whole.
    if (AtomicFile::write(
            m_path,
            [&](const AtomicFile::Sink& sink) { return PropertyList::writeXml(*xml, sink); },
            AtomicFile::Mode::Replace, &reason)) {
        m_writeFailing = false;
        m_writtenChanges = changes;
        return true;
    }
    if (!std::exchange(m_writeFailing, true)) {
        qCWarning(lcDefaults,
                  "cannot write the settings file %s (%s): the file on disk is kept; "
                  "trying again at the next change",
                  qPrintable(m_path), qPrintable(reason));
        if (m_onWriteFailure)
            m_onWriteFailure(reason);
    }
    return false;
}

void UserDefaults::setWriteFailureHandler(WriteFailureHandler handler)
{
    QMutexLocker writeLock(&m_writeMutex);
    m_onWriteFailure = std::move(handler);
}
