#include "app/ApplicationAdaptor.h"

#include "app/SingleInstance.h"

#include <QUrl>

ApplicationAdaptor::ApplicationAdaptor(SingleInstance *instance)
    : QDBusAbstractAdaptor(instance), m_instance(instance)
{}

QStringList ApplicationAdaptor::localFiles(const QStringList& uris)
{
    QStringList files;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.append(url.toLocalFile());
    }
    return files;
}

void ApplicationAdaptor::Activate(const QVariantMap&)
{
    m_instance->receive({});
}

void ApplicationAdaptor::Open(const QStringList& uris, const QVariantMap&)
{
    m_instance->receive(localFiles(uris));
}

void ApplicationAdaptor::ActivateAction(const QString& action_name, const QVariantList&,
                                        const QVariantMap&)
{
    m_instance->refuseCall(QStringLiteral("Quaver Pro has no action \"%1\"").arg(action_name));
}
