#pragma once

// The readers of outside bytes, fed one input each: shared by the libFuzzer
// targets (tests/fuzz/<name>.cpp) and by the regression tests of the normal
// suites, which feed them the inputs kept under tests/fuzz/regressions/<name>/.
//
// Each feed returns whether the reader gave a result (false: the reader's
// "absent"). Work per input is bounded, so that a slow input shows as a
// libFuzzer timeout only when the reader itself is slow. Files the readers need
// are written into dir, which the caller owns; a feed leaves dir as it found it.

#include "audio/AudioDecoder.h"
#include "itunes/ItunesHelper.h"
#include "media/MediaDesc.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "playlists/PlaylistInterchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

namespace FuzzFeed {

// The files kept in folder (a regressions/<name>/ folder), in name order.
inline QStringList inputsIn(const QString& folder)
{
    QStringList paths;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files, QDir::Name))
        paths.append(info.filePath());
    return paths;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The player's own decoding of a stored list, then every accessor of the raw
// unarchiver on the first objects.
inline bool keyedArchive(const QByteArray& bytes)
{
    const bool decoded = MediaDesc::itemsWithArchivedData(bytes).has_value();
    KeyedUnarchiver coder(bytes);
    (void)coder.topObject();
    const size_t count = std::min<size_t>(coder.objectCount(), 256);
    for (KeyedUnarchiver::Ref ref = 0; ref <= count; ++ref) {
        (void)coder.decodeString(ref);
        (void)coder.decodeData(ref);
        (void)coder.decodeArray(ref);
        if (std::optional<KeyedUnarchiver::Object> object = coder.decodeObject(ref)) {
            (void)object->classInfo().isKindOf(QStringLiteral("NSArray"));
            for (const char *key :
                 {"NS.string", "NS.data", "NS.objects", "Title", "FilePath", "AlbumArt"}) {
                (void)object->refForKey(key);
                (void)object->decodeStringForKey(key);
                (void)object->decodeDataForKey(key);
            }
        }
    }
    return decoded;
}

// The defaults file as the store reads it, then written back as synchronize()
// writes it and read again.
inline bool userDefaults(const QByteArray& bytes, const QString& dir)
{
    const QString path = dir + QStringLiteral("/defaults.plist");
    writeFile(path, bytes);
    bool readable = false;
    {
        UserDefaults defaults(path);
        readable = QFile::exists(path); // a file that is not a dictionary is moved aside
        for (const char *key : {"volume", "repeat", "shuffle", "lastList"})
            (void)defaults.objectForKey(QString::fromLatin1(key));
    }
    if (std::optional<QVariantMap> map = PropertyList::dictionaryFromBytes(bytes)) {
        if (PlistPtr node = PropertyList::fromVariant(*map))
            (void)PropertyList::dictionaryFromBytes(PropertyList::toXml(node.get()));
    }
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return readable;
}

// Open, read everything (up to a bound), seek to the start, the middle and past
// the end, reading a little after each; and the header probe.
inline bool audioDecoder(const QByteArray& bytes, const QString& dir)
{
    const QString path = dir + QStringLiteral("/input");
    writeFile(path, bytes);
    (void)AudioDecoder::probe(path);
    AudioDecoder decoder;
    const bool opened = decoder.open(path);
    if (opened) {
        constexpr int64_t kChunk = 4096;
        std::vector<int16_t> buffer(size_t(kChunk) * size_t(decoder.channels()));
        int64_t got = 0;
        for (int i = 0; i < 256 && (got = decoder.read(buffer.data(), kChunk)) != 0; ++i) {
        }
        const int64_t total = decoder.totalFrames();
        for (int64_t frame : {int64_t(0), total / 2, total + 10}) {
            decoder.seek(frame);
            (void)decoder.read(buffer.data(), kChunk);
        }
    }
    QFile::remove(path);
    return opened;
}

// The input is both library databases under a fresh media root.
inline bool itunesLibrary(const QByteArray& bytes, const QString& dir)
{
    writeFile(ItunesHelper::libraryPath(dir), bytes);
    writeFile(ItunesHelper::locationsPath(dir), bytes);
    const bool any = !ItunesHelper::iTunesLibrary(dir).isEmpty();
    QDir(dir + QStringLiteral("/iTunes_Control")).removeRecursively();
    return any;
}

// The first byte picks the kind of file (.m3u, .m3u8, .pls); the rest is its text.
inline bool playlistImport(const QByteArray& bytes, const QString& dir)
{
    if (bytes.isEmpty())
        return false;
    static const char *const kSuffixes[] = {"m3u", "m3u8", "pls"};
    const QString path =
        dir + QStringLiteral("/list.") + QString::fromLatin1(kSuffixes[uint8_t(bytes[0]) % 3]);
    writeFile(path, bytes.mid(1));
    const bool read = bool(PlaylistInterchange::entriesOfFile(path));
    QFile::remove(path);
    return read;
}

} // namespace FuzzFeed
