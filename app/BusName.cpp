#include "app/BusName.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>

namespace BusName {

Claim claim(QDBusConnection& bus, const QString& service, const QString& path, QObject *object)
{
    if (!bus.registerObject(path, object, QDBusConnection::ExportAdaptors))
        return {false,
                QStringLiteral("the object %1 is already registered on this connection").arg(path)};
    QDBusConnectionInterface *names = bus.interface();
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        names ? names->registerService(service, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement)
              : QDBusReply<QDBusConnectionInterface::RegisterServiceReply>();
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return {true, {}};
    bus.unregisterObject(path);
    return {false,
            reply.isValid()
                ? QStringLiteral("the D-Bus name %1 is taken by another program").arg(service)
                : QStringLiteral("the D-Bus name %1 could not be requested (%2)")
                      .arg(service, reply.error().message())};
}

} // namespace BusName
