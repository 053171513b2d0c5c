#pragma once

// A D-Bus message bus of the test's own, and helpers for talking to it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "support/Subprocess.h"

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

    // Empty when the bus is up; otherwise why not (for GTEST_SKIP).
    QString whyNot() const { return m_whyNot; }
    // A new connection of its own (its own unique name) to the bus.
    QDBusConnection connect();
    // The bus's address, for DBUS_SESSION_BUS_ADDRESS of a program a test runs.
    QString address() const { return m_address; }

private:
    std::unique_ptr<Subprocess> m_daemon; // stopped on destruction
    QString m_address;
    QString m_whyNot;
    QStringList m_connections;
};

// Sends a method call and waits (bounded) for its answer while serving events.
QDBusMessage callAndWait(const QDBusConnection& connection, const QDBusMessage& call);

// Collects the D-Bus messages a connection's signal subscription delivers.
class SignalRecorder : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> messages;

public Q_SLOTS:
    void record(const QDBusMessage& message) { messages.append(message); }
};

} // namespace DBusTest
