#include "MediaFixtures.h"

#include "Subprocess.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

QString g_lastError;

QString channelLayout(int channels)
{
    const char *const names[] = {"", "mono", "stereo", "", "", "", "5.1"};
    return channels < 7 && *names[channels] ? QString::fromLatin1(names[channels])
                                            : QStringLiteral("%1c").arg(channels);
}

// The synthetic input: the expression on every channel.
QStringList soundArgs(const QString& expression, double seconds, int rate, int channels)
{
    const QString source = QStringLiteral("aevalsrc=exprs=%1:s=%2:d=%3:c=%4")
                               .arg(QStringList(channels, expression).join(QLatin1Char('|')))
                               .arg(rate)
                               .arg(seconds)
                               .arg(channelLayout(channels));
    return {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source};
}

bool runFfmpeg(const QStringList& args)
{
    if (MediaFixtures::ffmpegProgram().isEmpty()) {
        g_lastError = QStringLiteral("the ffmpeg program is not installed");
        return false;
    }
    Subprocess ffmpeg(
        MediaFixtures::ffmpegProgram(),
        QStringLiteral("-hide_banner -nostdin -loglevel error -y").split(QLatin1Char(' ')) + args);
    if (!ffmpeg.finish(60000)) {
        g_lastError =
            QStringLiteral("ffmpeg %1 failed or did not finish: %2")
                .arg(args.join(QLatin1Char(' ')), QString::fromLocal8Bit(ffmpeg.output()));
        return false;
    }
    return true;
}

QString cacheDir()
{
    static const QString dir = [] {
        const QString beside =
            QCoreApplication::applicationDirPath() + QStringLiteral("/fixture-cache");
        if (QDir().mkpath(beside) && QFileInfo(beside).isWritable())
            return beside;
        static QTemporaryDir fallback(QDir::tempPath() + QStringLiteral("/quaver-fixtures-XXXXXX"));
        return fallback.path();
    }();
    return dir;
}

} // namespace

namespace MediaFixtures {

QString ffmpegProgram()
{
    static const QString program = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    return program;
}

QString lastError()
{
    return g_lastError;
}

QString cachedOutput(const QString& fileName, const QStringList& args)
{
    static QHash<QString, QString> made;
    const QFileInfo program(ffmpegProgram());
    QCryptographicHash key(QCryptographicHash::Sha1);
    key.addData(args.join(QChar(0)).toUtf8());
    key.addData(fileName.toUtf8());
    key.addData(QByteArray::number(program.size()) +
                QByteArray::number(program.lastModified().toMSecsSinceEpoch()));
    const QString name =
        QString::fromLatin1(key.result().toHex().left(12)) + QLatin1Char('-') + fileName;
    if (const auto it = made.constFind(name); it != made.constEnd())
        return *it;
    const QString path = cacheDir() + QLatin1Char('/') + name;
    if (!QFileInfo::exists(path)) {
        // The extension stays last: it chooses the container.
        const QString partial =
            cacheDir() +
            QStringLiteral("/.partial-%1-%2").arg(QCoreApplication::applicationPid()).arg(name);
        if (!runFfmpeg(args + QStringList{partial})) {
            QFile::remove(partial);
            return {};
        }
        if (!QFile::rename(partial, path)) {
            QFile::remove(partial);
            if (!QFileInfo::exists(path)) { // not another process's copy either
                g_lastError = QStringLiteral("cannot store ") + path;
                return {};
            }
        }
    }
    made.insert(name, path);
    return path;
}

QString cachedSound(const QString& fileName, const QString& expression, double seconds, int rate,
                    int channels, const QString& extraFfmpegArgs)
{
    return cachedOutput(fileName, soundArgs(expression, seconds, rate, channels) +
                                      QProcess::splitCommand(extraFfmpegArgs));
}

QString cachedTone(const QString& fileName, double freqHz, double seconds, int rate, int channels,
                   const QString& extraFfmpegArgs)
{
    return cachedSound(fileName,
                       QStringLiteral("%1*sin(2*PI*%2*t)").arg(kToneAmplitude).arg(freqHz), seconds,
                       rate, channels, extraFfmpegArgs);
}

QString amrNb(const QString& path, int speechBlocks, int noDataBlocks)
{
    QByteArray bytes("#!AMR\n");
    // Frame type 7 (12.2 kbit/s) with the quality bit set, then its 31 payload bytes.
    // All-zero parameters are a valid speech block: a quiet, steady signal.
    const QByteArray speech = QByteArray(1, char(7 << 3 | 1 << 2)) + QByteArray(31, '\0');
    // Frame type 15: no data, one byte.
    const QByteArray noData(1, char(15 << 3 | 1 << 2));
    for (int i = 0; i < speechBlocks; ++i)
        bytes += speech;
    for (int i = 0; i < noDataBlocks; ++i)
        bytes += noData;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        g_lastError = QStringLiteral("cannot write ") + path;
        return {};
    }
    return path;
}

} // namespace MediaFixtures
