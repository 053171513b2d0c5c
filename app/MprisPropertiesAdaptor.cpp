#include "app/MprisPropertiesAdaptor.h"

#include "app/MprisService.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QMetaProperty>

namespace {

QString interfaceOf(const QObject *adaptor)
{
    const QMetaObject *mo = adaptor->metaObject();
    const int info = mo->indexOfClassInfo("D-Bus Interface");
    return info < 0 ? QString() : QString::fromUtf8(mo->classInfo(info).value());
}

// The index of the adaptor's own property name (not QObject's objectName); -1
// when it has none.
int propertyIndex(const QObject *adaptor, const QString& name)
{
    const int index = adaptor->metaObject()->indexOfProperty(name.toUtf8().constData());
    return index >= QDBusAbstractAdaptor::staticMetaObject.propertyCount() ? index : -1;
}

QString qualified(const QString& interfaceName, const QString& propertyName)
{
    return interfaceName.isEmpty() ? propertyName : interfaceName + QLatin1Char('.') + propertyName;
}

} // namespace

MprisPropertiesAdaptor::MprisPropertiesAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{}

QString MprisPropertiesAdaptor::signatureOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusArgument>())
        return qvariant_cast<QDBusArgument>(value).currentSignature();
    const char *signature = QDBusMetaType::typeToSignature(value.metaType());
    return signature ? QString::fromLatin1(signature) : QString();
}

QObject *MprisPropertiesAdaptor::adaptorFor(const QString& interfaceName,
                                            const QString& propertyName) const
{
    const QList<QDBusAbstractAdaptor *> adaptors =
        m_service->findChildren<QDBusAbstractAdaptor *>(Qt::FindDirectChildrenOnly);
    for (QDBusAbstractAdaptor *adaptor : adaptors) {
        if (adaptor == this)
            continue;
        if (interfaceName.isEmpty() ? propertyIndex(adaptor, propertyName) >= 0
                                    : interfaceOf(adaptor) == interfaceName)
            return adaptor;
    }
    if (interfaceName.isEmpty())
        m_service->refuseCall(QDBusError::UnknownProperty,
                              QStringLiteral("Property %1 was not found in object %2")
                                  .arg(propertyName, QLatin1String(MprisService::kObjectPath)));
    else
        m_service->refuseCall(QDBusError::UnknownInterface,
                              QStringLiteral("Interface %1 was not found in object %2")
                                  .arg(interfaceName, QLatin1String(MprisService::kObjectPath)));
    return nullptr;
}

QDBusVariant MprisPropertiesAdaptor::Get(const QString& interface_name,
                                         const QString& property_name)
{
    QObject *adaptor = adaptorFor(interface_name, property_name);
    if (!adaptor)
        return {};
    const int index = propertyIndex(adaptor, property_name);
    const QMetaProperty property = adaptor->metaObject()->property(index);
    if (index < 0 || !property.isReadable()) {
        m_service->refuseCall(QDBusError::UnknownProperty,
                              QStringLiteral("Property %1 was not found in object %2")
                                  .arg(qualified(interface_name, property_name),
                                       QLatin1String(MprisService::kObjectPath)));
        return {};
    }
    return QDBusVariant(property.read(adaptor));
}

QVariantMap MprisPropertiesAdaptor::GetAll(const QString& interface_name)
{
    QList<QObject *> adaptors;
    if (interface_name.isEmpty()) {
        for (QObject *adaptor :
             m_service->findChildren<QDBusAbstractAdaptor *>(Qt::FindDirectChildrenOnly))
            if (adaptor != this)
                adaptors.append(adaptor);
    } else if (QObject *adaptor = adaptorFor(interface_name, QString())) {
        adaptors.append(adaptor);
    } else {
        return {};
    }
    QVariantMap values;
    for (QObject *adaptor : std::as_const(adaptors)) {
        const QMetaObject *mo = adaptor->metaObject();
        for (int i = QDBusAbstractAdaptor::staticMetaObject.propertyCount();
             i < mo->propertyCount(); ++i) {
            const QMetaProperty property = mo->property(i);
            if (property.isReadable() && QDBusMetaType::typeToSignature(property.metaType()))
                values.insert(QString::fromLatin1(property.name()), property.read(adaptor));
        }
    }
    return values;
}

void MprisPropertiesAdaptor::Set(const QString& interface_name, const QString& property_name,
                                 const QDBusVariant& value)
{
    QObject *adaptor = adaptorFor(interface_name, property_name);
    if (!adaptor)
        return;
    const QString name = qualified(interface_name, property_name);
    const int index = propertyIndex(adaptor, property_name);
    if (index < 0) {
        m_service->refuseCall(QDBusError::UnknownProperty,
                              QStringLiteral("Property %1 was not found in object %2")
                                  .arg(name, QLatin1String(MprisService::kObjectPath)));
        return;
    }
    QMetaProperty property = adaptor->metaObject()->property(index);
    if (!property.isWritable()) {
        m_service->refuseCall(QDBusError::PropertyReadOnly,
                              QStringLiteral("Property %1 is read-only").arg(name));
        return;
    }
    const QString expected =
        QString::fromLatin1(QDBusMetaType::typeToSignature(property.metaType()));
    const QString given = signatureOf(value.variant());
    if (given != expected) {
        m_service->refuseCall(
            QDBusError::InvalidArgs,
            QStringLiteral("Property %1 is of type '%2', not '%3'").arg(name, expected, given));
        return;
    }
    property.write(adaptor, value.variant());
}
