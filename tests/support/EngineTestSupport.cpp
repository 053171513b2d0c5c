#include "support/EngineTestSupport.h"

#include "support/TestEnvironment.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QtEndian>
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace EngineTest {

std::vector<int16_t> tone(double hz, double amplitude, int sampleRate, int64_t frames, int channels)
{
    std::vector<int16_t> samples(size_t(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * hz * double(i) / sampleRate);
        const auto s = int16_t(std::lround(std::clamp(v * 32767.0, -32768.0, 32767.0)));
        for (int c = 0; c < channels; ++c)
            samples[size_t(i * channels + c)] = s;
    }
    return samples;
}

QByteArray wavBytes(const std::vector<int16_t>& samples, int sampleRate, int channels)
{
    const auto dataBytes = quint32(samples.size() * 2);
    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream.writeRawData("RIFF", 4);
    stream << quint32(36 + dataBytes);
    stream.writeRawData("WAVEfmt ", 8);
    stream << quint32(16) << quint16(1) << quint16(channels) << quint32(sampleRate)
           << quint32(sampleRate * channels * 2) << quint16(channels * 2) << quint16(16);
    stream.writeRawData("data", 4);
    stream << dataBytes;
    for (int16_t s : samples)
        stream << s;
    return out;
}

QString writeWav(const QString& name, double seconds, int rate)
{
    QByteArray bytes = wavBytes(tone(440, 0.5, rate, int64_t(seconds * rate)), rate, 1);
    if (seconds == 0)
        qToLittleEndian<quint32>(quint32(rate) * 2, bytes.data() + 40);
    return TestEnvironment::writeFile(TestEnvironment::home() + QStringLiteral("/music/") + name,
                                      bytes);
}

MediaDescPtr record(const QString& path, std::optional<QString> title,
                    std::optional<QString> artist)
{
    auto item = std::make_shared<MediaDesc>();
    item->filePath = path;
    item->title = std::move(title);
    item->artist = std::move(artist);
    return item;
}

QStringList paths(const MediaList& items)
{
    QStringList result;
    for (const MediaDescPtr& item : items)
        result.append(item->filePath.value_or(QString()));
    return result;
}

std::vector<float> channel(const std::vector<float>& stereo, int which)
{
    std::vector<float> result(stereo.size() / 2);
    for (size_t i = 0; i < result.size(); ++i)
        result[i] = stereo[2 * i + size_t(which)];
    return result;
}

double rms(const std::vector<float>& samples, size_t from, size_t to)
{
    to = std::min(to, samples.size());
    if (to <= from)
        return 0.0;
    double sum = 0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(to - from));
}

double toneAmplitude(const std::vector<float>& samples, double hz, int sampleRate, size_t from,
                     size_t to)
{
    to = std::min(to, samples.size());
    const double w = 2.0 * M_PI * hz / sampleRate;
    double re = 0, im = 0;
    for (size_t i = from; i < to; ++i) {
        re += samples[i] * std::cos(w * double(i - from));
        im -= samples[i] * std::sin(w * double(i - from));
    }
    return 2.0 * std::hypot(re, im) / double(to - from);
}

double zeroCrossingHz(const std::vector<float>& samples, int sampleRate, size_t from, size_t to)
{
    to = std::min(to, samples.size());
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            // Interpolated position of the crossing.
            const double t = double(i - 1) + samples[i - 1] / (samples[i - 1] - samples[i]);
            if (first < 0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * double(sampleRate) / (last - first);
}

DiskDriver::DiskDriver() : m_path(TestEnvironment::home() + QStringLiteral("/stream.raw"))
{
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(m_path));
    SDL_AudioQuit();
    if (SDL_AudioInit("disk") != 0)
        m_whyNot =
            QStringLiteral("SDL has no disk driver here: ") + QString::fromUtf8(SDL_GetError());
}

qint64 DiskDriver::size() const
{
    return QFileInfo(m_path).size();
}

std::vector<float> DiskDriver::finish()
{
    SDL_AudioQuit();
    QFile file(m_path);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    std::vector<float> samples(size_t(bytes.size()) / sizeof(float));
    std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

} // namespace EngineTest
