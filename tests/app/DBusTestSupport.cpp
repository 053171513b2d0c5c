#include "DBusTestSupport.h"

#include "support/TestEnvironment.h"

#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace DBusTest {

namespace {
int g_connectionCount = 0;
} // namespace

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
    const QString name = QStringLiteral("quaver-test-bus-%1").arg(++g_connectionCount);
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}

ClientRun runClient(const PrivateBus& bus, const QString& program, const QStringList& args,
                    int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    p.setProcessEnvironment(env);
    p.start(program, args);
    ClientRun run;
    if (!TestEnvironment::waitUntil([&] { return p.state() == QProcess::NotRunning; }, timeoutMs)) {
        p.kill();
        p.waitForFinished(3000);
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call, int timeoutMs)
{
    QDBusPendingCall pending = connection.asyncCall(call, timeoutMs);
    TestEnvironment::waitUntil([&] { return pending.isFinished(); }, timeoutMs + 1000);
    return pending.reply();
}

QVariant getProperty(const QDBusConnection& connection, const QString& service, const QString& path,
                     const QString& interface, const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = callAndWait(connection, call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

StderrCapture::StderrCapture()
{
    QTemporaryFile file;
    file.setAutoRemove(false);
    if (!file.open())
        return;
    m_path = file.fileName();
    std::fflush(stderr);
    m_saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
}

StderrCapture::~StderrCapture()
{
    if (m_saved >= 0) {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}

QString StderrCapture::text() const
{
    std::fflush(stderr);
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

} // namespace DBusTest
