#pragma once

// Turns Unix signals into a Qt signal on the main thread. The handler only writes
// the signal's number to a pipe (async-signal-safe); a QSocketNotifier on the
// other end emits received() from the event loop, where any work is allowed.
//
// Each watched signal is caught once: the handler is installed with SA_RESETHAND,
// so a second delivery of the same signal takes its default action (a second
// Ctrl+C ends a program whose shutdown hangs).
//
// One instance per process; main thread only. Destroying it restores the default
// action of the signals it watched.

#include <QList>
#include <QObject>

class QSocketNotifier;

class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(QObject *parent = nullptr);
    ~UnixSignalWatcher() override;

    // Starts catching signum (SIGTERM, SIGINT, ...). False if the pipe could not be
    // made or the handler not installed; the signal keeps its old action then.
    bool watch(int signum);

Q_SIGNALS:
    void received(int signum);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr; // owned (child)
    QList<int> m_watched;
};
