#pragma once

// Claiming a well-known name on a D-Bus connection together with the object that
// answers under it. The object is registered first, so that a client reacting to
// the new name always finds it; when the name cannot be had, the object is
// unregistered again and nothing is left on the bus.
//
// Main thread only.

#include <QDBusConnection>
#include <QString>

class QObject;

namespace BusName {

struct Claim {
    bool owned = false;
    // Why not, for a message: the object path was registered already, the name is
    // held by another connection, or the bus refused the request (its error).
    QString whyNot;
};

// Registers object (its adaptors) at path and asks for service without queueing
// and without allowing replacement.
Claim claim(QDBusConnection& bus, const QString& service, const QString& path, QObject *object);

} // namespace BusName
