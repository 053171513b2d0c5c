#include "app/SingleInstance.h"

#include "app/ApplicationAdaptor.h"
#include "app/BusName.h"
#include "services/FolderListing.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QUrl>
#include <QVariantMap>
#include <cstdio>

SingleInstance::SingleInstance(QObject *parent)
    : SingleInstance(QDBusConnection::sessionBus(), parent)
{}

SingleInstance::SingleInstance(const QDBusConnection& bus, QObject *parent)
    : QObject(parent), m_bus(bus), m_adaptor(new ApplicationAdaptor(this))
{}

SingleInstance::~SingleInstance()
{
    if (!m_owner)
        return;
    m_bus.unregisterService(QLatin1String(kServiceName));
    m_bus.unregisterObject(QLatin1String(kObjectPath));
}

SingleInstance::Role SingleInstance::claim(const QStringList& paths)
{
    if (!m_bus.isConnected())
        return Role::Alone;
    QStringList uris;
    for (const QString& path : FolderListing::absolutePaths(paths)) {
        if (!path.isEmpty())
            uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    }
    // A copy that ends between our two steps leaves the name free: try again once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (takeName())
            return Role::First;
        switch (handOver(uris)) {
        case HandOver::Done:
            return Role::HandedOver;
        case HandOver::NoOwner:
            continue;
        case HandOver::Failed:
            return Role::Alone;
        }
    }
    return Role::Alone;
}

bool SingleInstance::takeName()
{
    m_owner =
        BusName::claim(m_bus, QLatin1String(kServiceName), QLatin1String(kObjectPath), this).owned;
    return m_owner;
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& uris)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kServiceName), QLatin1String(kObjectPath), QLatin1String(kInterface),
        uris.isEmpty() ? QStringLiteral("Activate") : QStringLiteral("Open"));
    if (!uris.isEmpty())
        call << uris;
    call << QVariantMap();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kHandOverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Done;
    // A copy that was ending answers nothing and leaves the name when it is gone.
    QDBusConnectionInterface *bus = m_bus.interface();
    if (bus && !bus->isServiceRegistered(QLatin1String(kServiceName)).value())
        return HandOver::NoOwner;
    std::fprintf(stderr,
                 "quaver-pro: the copy of the program that is running did not take the files "
                 "(%s); this one runs beside it\n",
                 qPrintable(reply.errorMessage()));
    std::fflush(stderr);
    return HandOver::Failed;
}

void SingleInstance::setHandler(Handler handler)
{
    m_handler = std::move(handler);
    const QList<QStringList> waiting = std::exchange(m_waiting, {});
    for (const QStringList& paths : waiting)
        m_handler(paths);
}

void SingleInstance::receive(const QStringList& paths)
{
    if (m_handler)
        m_handler(paths);
    else
        m_waiting.append(paths);
}

void SingleInstance::refuseCall(const QString& message)
{
    if (calledFromDBus())
        sendErrorReply(QDBusError::NotSupported, message);
}
