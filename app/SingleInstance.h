#pragma once

// One program per user session. The first launch owns the D-Bus name
// io.github.quaverpro.QuaverPro (the application id, as the desktop entry is
// named) on the session bus, with the object /io/github/quaverpro/QuaverPro that
// implements org.freedesktop.Application, the interface desktop launchers use to
// start an application over D-Bus:
//   Activate(a{sv} platform_data)           shows the window
//   Open(as uris, a{sv} platform_data)      adds the files (file: URIs) and shows it
//   ActivateAction(s, av, a{sv})            refused: the program has no actions
// A later launch finds the name taken, hands its files over with Open (or, with
// none, Activate) and ends. Its paths are made absolute against its own working
// folder first, so that they mean in the running copy what they meant where they
// were typed.
//
// The name is its own, apart from the MPRIS name, so that the choice is made at
// once at start-up, before the player exists, and holds even while the MPRIS
// service is inert.
//
// Without a session bus nothing is claimed: then the user-defaults store's lock
// (platform/UserDefaults.h) keeps a second copy from storing anything.
//
// Main thread only. A request (Activate, Open) is passed to the handler once the
// event loop delivers it; requests that arrive before a handler is set wait for it.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <functional>

class ApplicationAdaptor;

class SingleInstance : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static constexpr const char *kServiceName = "io.github.quaverpro.QuaverPro";
    static constexpr const char *kObjectPath = "/io/github/quaverpro/QuaverPro";
    static constexpr const char *kInterface = "org.freedesktop.Application";
    // How long a later launch waits for the running copy to answer.
    static constexpr int kHandOverTimeoutMs = 10000;

    enum class Role {
        First,      // this copy owns the name and receives later launches' files
        HandedOver, // the running copy took the files: this copy ends now
        Alone,      // no bus, or the running copy did not answer: this copy runs
                    // without the name (the store's lock decides what it stores)
    };

    // On the session bus; tests give a connection to a private one.
    explicit SingleInstance(QObject *parent = nullptr);
    SingleInstance(const QDBusConnection& bus, QObject *parent = nullptr);
    // Releases the name and the object when it owns them.
    ~SingleInstance() override;

    // Takes the name, or hands paths (files and folders as given on the command
    // line; relative ones are resolved against the current folder) to the copy
    // that owns it. Call once. A failed hand-over is told on stderr.
    Role claim(const QStringList& paths);

    // What to do with a request of a later launch: the absolute paths it handed
    // over (empty for Activate). Requests that came before are passed at once.
    using Handler = std::function<void(const QStringList& paths)>;
    void setHandler(Handler handler);

    // ---- Used by the adaptor. ----
    void receive(const QStringList& paths);
    // Answers the D-Bus call being handled with org.freedesktop.DBus.Error.NotSupported.
    void refuseCall(const QString& message);

private:
    enum class HandOver { Done, NoOwner, Failed };
    bool takeName();
    HandOver handOver(const QStringList& uris);

    QDBusConnection m_bus;
    ApplicationAdaptor *m_adaptor; // child of this
    bool m_owner = false;
    Handler m_handler;            // main thread only
    QList<QStringList> m_waiting; // requests that came before a handler
};
