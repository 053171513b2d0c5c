#include "platform/UnixSignalWatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler, read by the main thread; -1 while no watcher exists.
int g_pipe[2] = {-1, -1};

void handleSignal(int signum)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signum);
    // A full pipe drops the byte: enough of the same news is already waiting.
    [[maybe_unused]] const ssize_t n = write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::readPipe);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    for (int signum : std::as_const(m_watched))
        std::signal(signum, SIG_DFL);
    if (!m_notifier)
        return;
    delete m_notifier;
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool UnixSignalWatcher::watch(int signum)
{
    if (!m_notifier)
        return false;
    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    if (sigaction(signum, &action, nullptr) != 0)
        return false;
    m_watched.append(signum);
    return true;
}

void UnixSignalWatcher::readPipe()
{
    unsigned char byte;
    while (read(g_pipe[0], &byte, 1) == 1)
        Q_EMIT received(byte);
}
