#pragma once

// A D-Bus message bus of the test's own, and helpers for talking to it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace DBusTest {

// Starts `dbus-daemon --session` privately, so that tests never touch the desktop
// session of whoever runs them. Connections made through it are closed and the
// daemon is stopped on destruction: destroy every object holding a connection first.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isUp() const { return !m_address.isEmpty(); }
    // Why the bus is not up (for GTEST_SKIP).
    QString whyNot() const { return m_whyNot; }
    QString address() const { return m_address; }
    // A new connection of its own (its own unique name) to the bus.
    QDBusConnection connect();

private:
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;
    QString m_whyNot;
    QStringList m_connections;
};

struct ClientRun {
    int exitCode = -1; // -1 when it crashed or was killed

    QString out; // trimmed
    QString err;
};

// Runs a client program on the bus while this thread's event loop keeps serving
// D-Bus (the client may call back into the test process). Killed after timeoutMs.
ClientRun runClient(const PrivateBus& bus, const QString& program, const QStringList& args,
                    int timeoutMs = 5000);

// Sends a method call and waits for its answer while serving events.
QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call,
                         int timeoutMs = 5000);

// Reads one property through org.freedesktop.DBus.Properties.Get.
QVariant getProperty(const QDBusConnection& connection, const QString& service, const QString& path,
                     const QString& interface, const QString& name);

// Collects the D-Bus messages a connection's signal subscription delivers.
class SignalRecorder : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> messages;

public Q_SLOTS:
    void record(const QDBusMessage& message) { messages.append(message); }
};

// Redirects the process's standard error into a file for the lifetime of the
// object; text() gives what was written so far.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    QString text() const;

private:
    int m_saved = -1;
    QString m_path;
};

} // namespace DBusTest
