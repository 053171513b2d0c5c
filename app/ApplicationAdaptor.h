#pragma once

// D-Bus interface org.freedesktop.Application of SingleInstance: what a later
// launch, or a launcher, asks of the running copy. Main thread only; owned by the
// SingleInstance.

#include <QDBusAbstractAdaptor>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

class SingleInstance;

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationAdaptor(SingleInstance *instance);

    // The local files that uris name (file: URIs); other URIs are left out.
    static QStringList localFiles(const QStringList& uris);

public Q_SLOTS:
    // Shows the window.
    void Activate(const QVariantMap& platform_data);
    // Adds the files to the current list, plays the first of them and shows the
    // window, as the command line does at start.
    void Open(const QStringList& uris, const QVariantMap& platform_data);
    // The program has no actions: answered with org.freedesktop.DBus.Error.NotSupported.
    void ActivateAction(const QString& action_name, const QVariantList& parameter,
                        const QVariantMap& platform_data);

private:
    SingleInstance *m_instance;
};
