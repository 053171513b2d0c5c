#pragma once

// A program that a test runs (ffmpeg for fixtures, a bus daemon, another player).
//
// Started with posix_spawn rather than QProcess: QProcess forks, and a fork from a
// process that already has threads (decoders, the sound thread, Qt's own) leaves
// ThreadSanitizer's clocks unreliable, so that it reports ordered accesses as
// races for the rest of the test.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class Subprocess {
public:
    enum class Errors { Merged, Inherited }; // the program's stderr: with its output, or ours

    // Starts program (a path) with arguments; its standard input is /dev/null.
    Subprocess(const QString& program, const QStringList& arguments,
               Errors errors = Errors::Merged);
    // Kills the program if it still runs, and reaps it.
    ~Subprocess();
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    bool started() const { return m_pid > 0; }
    // Reads output until it holds a whole line; returns that line (without its
    // end), or empty once timeoutMs passed or the output ended first.
    QByteArray readLine(int timeoutMs);
    // Reads all output and waits for the end; true when the program exited with 0.
    // A program still running after timeoutMs is killed, and this is false.
    bool finish(int timeoutMs);
    // What the program wrote and was not yet returned by readLine().
    QByteArray output() const { return m_output; }

private:
    bool readMore(int timeoutMs); // false at the end of the output or on timeout
    void reap();                  // kills a program still running and waits for it

    pid_t m_pid = 0;
    int m_out = -1; // the read end of the program's standard output
    QByteArray m_output;
};
