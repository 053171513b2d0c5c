#pragma once

// D-Bus interface org.freedesktop.DBus.Properties of MprisService, answered here
// rather than by QtDBus so that a write of the wrong type is refused: QtDBus
// converts the value to the property's type (the string "no" became a Shuffle of
// true; an integer LoopStatus became an empty, ignored name). Here:
//  - Get and GetAll read the properties of the service's other adaptors, as
//    QtDBus would, with its errors (UnknownInterface, UnknownProperty);
//  - Set refuses a property that is absent (UnknownProperty) or read-only
//    (PropertyReadOnly), and a value whose D-Bus type is not the property's
//    (Shuffle "b", LoopStatus "s", Volume "d": an integer is not a double) with
//    org.freedesktop.DBus.Error.InvalidArgs, changing nothing; a value of the
//    right type goes to the property's setter, which may refuse it with
//    InvalidArgs too (an unknown LoopStatus, a Volume that is not a number).
// The interface stays out of the introspection data of the adaptors: QtDBus
// describes org.freedesktop.DBus.Properties itself.
//
// Main thread only; owned by the service.

#include <QDBusAbstractAdaptor>
#include <QDBusVariant>
#include <QString>
#include <QVariantMap>

class MprisService;

class MprisPropertiesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    Q_CLASSINFO("D-Bus Introspection", "")
public:
    explicit MprisPropertiesAdaptor(MprisService *service);

    // The D-Bus type signature of value as a client sent it ("b", "s", "as", ...).
    static QString signatureOf(const QVariant& value);

public Q_SLOTS:
    QDBusVariant Get(const QString& interface_name, const QString& property_name);
    QVariantMap GetAll(const QString& interface_name);
    void Set(const QString& interface_name, const QString& property_name,
             const QDBusVariant& value);

private:
    // The adaptor implementing interfaceName, or, for an empty name, the first one
    // with a property propertyName (any adaptor when that is empty too); null when
    // none does (the error has been sent).
    QObject *adaptorFor(const QString& interfaceName, const QString& propertyName) const;

    MprisService *m_service;
};
