#include "Subprocess.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

Subprocess::Subprocess(const QString& program, const QStringList& arguments, Errors errors)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return;
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> storage{path};
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    if (errors == Errors::Merged)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    if (posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv.data(), environ) != 0)
        m_pid = 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    m_out = pipeEnds[0];
}

Subprocess::~Subprocess()
{
    reap();
    if (m_out >= 0)
        close(m_out);
}

bool Subprocess::readMore(int timeoutMs)
{
    pollfd ready{m_out, POLLIN, 0};
    if (m_out < 0 || poll(&ready, 1, timeoutMs) <= 0)
        return false;
    char buffer[4096];
    const ssize_t n = read(m_out, buffer, sizeof buffer);
    if (n <= 0)
        return false;
    m_output.append(buffer, n);
    return true;
}

QByteArray Subprocess::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_output.contains('\n'))
        if (deadline.hasExpired() || !readMore(int(deadline.remainingTime())))
            return {};
    const qsizetype end = m_output.indexOf('\n');
    const QByteArray line = m_output.left(end);
    m_output.remove(0, end + 1);
    return line;
}

bool Subprocess::finish(int timeoutMs)
{
    if (m_pid <= 0)
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && readMore(int(deadline.remainingTime()))) {
    }
    // The output ends when the program does, unless it closed it early.
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(m_pid, &status, WNOHANG)) == 0 && !deadline.hasExpired())
        usleep(10'000);
    if (ended != m_pid) {
        reap();
        return false;
    }
    m_pid = 0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Subprocess::reap()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = 0;
}
