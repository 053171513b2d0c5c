#include "DBusTestSupport.h"

#include "support/TestEnvironment.h"

#include <QDBusPendingCall>
#include <QStandardPaths>

namespace DBusTest {

PrivateBus::PrivateBus()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        m_whyNot = QStringLiteral("dbus-daemon is not installed");
        return;
    }
    m_daemon = std::make_unique<Subprocess>(daemon,
                                            QStringList{QStringLiteral("--session"),
                                                        QStringLiteral("--print-address"),
                                                        QStringLiteral("--nofork")},
                                            Subprocess::Errors::Inherited);
    m_address = QString::fromUtf8(m_daemon->readLine(5000)).trimmed();
    if (m_address.isEmpty())
        m_whyNot = QStringLiteral("dbus-daemon did not start");
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : std::as_const(m_connections))
        QDBusConnection::disconnectFromBus(name);
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
