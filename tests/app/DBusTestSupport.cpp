#include "DBusTestSupport.h"

#include "support/TestEnvironment.h"

#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QStandardPaths>

namespace DBusTest {

PrivateBus::PrivateBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        m_whyNot = QStringLiteral("dbus-daemon is not installed");
        return;
    }
    m_daemon = std::make_unique<QProcess>();
    m_daemon->start(daemon, {QStringLiteral("--session"), QStringLiteral("--print-address"),
                             QStringLiteral("--nofork")});
    // The address is the first line; nothing here needs the event loop yet.
    QDeadlineTimer deadline(5000);
    QByteArray out;
    while (!out.contains('\n') && m_daemon->waitForReadyRead(int(deadline.remainingTime())))
        out += m_daemon->readAllStandardOutput();
    m_address = QString::fromUtf8(out).trimmed();
    if (m_address.isEmpty())
        m_whyNot = QStringLiteral("dbus-daemon did not start: ") +
                   QString::fromLocal8Bit(m_daemon->readAllStandardError());
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : std::as_const(m_connections))
        QDBusConnection::disconnectFromBus(name);
    if (m_daemon) {
        m_daemon->kill();
        m_daemon->waitForFinished(3000);
    }
}

QDBusConnection PrivateBus::connect()
{
    static int count = 0;
    const QString name = QStringLiteral("quaver-test-bus-%1").arg(++count);
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}

QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call)
{
    QDBusPendingCall pending = connection.asyncCall(call, 5000);
    TestEnvironment::waitUntil([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

} // namespace DBusTest
