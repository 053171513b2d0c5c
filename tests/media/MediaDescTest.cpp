#include "media/MediaDesc.h"
#include "platform/KeyedArchiver.h"
#include "platform/PropertyList.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QStringList kOtherClass{QStringLiteral("Other"), QStringLiteral("NSObject")};

MediaDescPtr fullRecord(int i)
{
    auto item = std::make_shared<MediaDesc>();
    item->title = QStringLiteral("Title %1").arg(i);
    item->artist = QStringLiteral("Sigur Rós – 坂本龍一 🎵 %1").arg(i);
    item->duration = QStringLiteral("%1:0%1").arg(i % 10);
    item->filePath = QStringLiteral("/home/u/Musik/Björk/%1.mp3").arg(i);
    item->album = QStringLiteral("Album %1").arg(i);
    item->albumArt = QByteArray("\x89PNG\0\0\x01", 7) + QByteArray::number(i);
    item->lyric = QStringLiteral("la la %1\nla").arg(i);
    return item;
}

// Every field as printable text, for comparing whole records.
std::vector<std::optional<std::string>> fields(const MediaDesc& m)
{
    std::vector<std::optional<std::string>> out;
    for (const auto& v : {m.title, m.artist, m.duration, m.filePath, m.album, m.lyric})
        out.push_back(v ? std::optional(v->toStdString()) : std::nullopt);
    out.push_back(m.albumArt ? std::optional(m.albumArt->toStdString()) : std::nullopt);
    return out;
}

QByteArray ref4(uint32_t r)
{
    return QByteArray(1, char(r >> 24)) + char(r >> 16) + char(r >> 8) + char(r);
}

QByteArray ascii(const QByteArray& s)
{
    return (s.size() < 15 ? QByteArray(1, char(0x50 | s.size()))
                          : QByteArray("\x5F\x10") + char(s.size())) +
           s;
}

// A binary keyed archive from raw objects with 4-byte references and offsets:
// "$top" {"root": UID 1} and "$objects" ["$null", object 10]; extra are objects
// 10.. and refer to each other by those numbers.
QByteArray rawArchive(const std::vector<QByteArray>& extra)
{
    // The archive dictionary (keys 1-3, values 4-6), "$top", "$objects".
    const QByteArray archive = "\xD3" + ref4(1) + ref4(2) + ref4(3) + ref4(4) + ref4(5) + ref4(6),
                     top = "\xD1" + ref4(7) + ref4(8), list = "\xA2" + ref4(9) + ref4(10);
    QByteArrayList objects{archive, ascii("$archiver"), ascii("$top"), ascii("$objects")};
    objects << ascii("NSKeyedArchiver") << top << list << ascii("root") << QByteArray("\x80\x01", 2)
            << ascii("$null");
    objects.append(QByteArrayList(extra.begin(), extra.end()));
    QByteArray out("bplist00"), table;
    for (const QByteArray& object : objects) {
        table += ref4(uint32_t(out.size()));
        out += object;
    }
    const QByteArray tableOffset = ref4(0) + ref4(uint32_t(out.size()));
    return out + table + QByteArray(6, '\0') + "\x04\x04" + ref4(0) +
           ref4(uint32_t(objects.size())) + QByteArray(8, '\0') + tableOffset;
}

// The archive of fullRecord(1) with value (nothing: removed) under key in one of
// its dictionaries. In "$objects", 1 is the root array, 2 the record, 3 its title
// and 11 the root's class.
enum Where { Archive, Top, Root, Record };
QByteArray edited(Where where, const char *key, plist_t value)
{
    PlistPtr plist = PropertyList::parse(MediaDesc::archivedDataWithItems({fullRecord(1)}));
    plist_t objects = plist_dict_get_item(plist.get(), "$objects");
    const plist_t dicts[] = {plist.get(), plist_dict_get_item(plist.get(), "$top"),
                             plist_array_get_item(objects, 1), plist_array_get_item(objects, 2)};
    if (value)
        plist_dict_set_item(dicts[where], key, value);
    else
        plist_dict_remove_item(dicts[where], key);
    return PropertyList::toBinary(plist.get());
}

} // namespace

// Order, every field, empty fields apart from absent ones, records with no fields
// and nulls (an empty record), and an empty list.
TEST(MediaDescArchive, RoundTripKeepsOrderFieldsAndAbsence)
{
    auto empties = std::make_shared<MediaDesc>(); // present but empty is not absent
    empties->title = QString();
    empties->albumArt = QByteArray();
    MediaList items{fullRecord(1), std::make_shared<MediaDesc>(), empties, fullRecord(9), nullptr,
                    fullRecord(1)};
    const std::optional<MediaList> back =
        MediaDesc::itemsWithArchivedData(MediaDesc::archivedDataWithItems(items));
    ASSERT_EQ(back.value_or(MediaList{}).size(), items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fields(*back->at(i)), fields(items[i] ? *items[i] : MediaDesc{}));
    }
    EXPECT_EQ(MediaDesc::itemsWithArchivedData(MediaDesc::archivedDataWithItems({})), MediaList{});

    // A list long enough to be decoded in two halves, on two threads: whole and in
    // order, and absent when a record of either half is not a record.
    const int count = 20000;
    std::vector<KeyedArchiver::Ref> refs;
    KeyedArchiver coder;
    for (int i = 0; i < count; ++i)
        refs.push_back(fullRecord(i)->encodeWithCoder(coder));
    const QByteArray whole = coder.finish(coder.encodeArray(refs));
    const std::optional<MediaList> many = MediaDesc::itemsWithArchivedData(whole);
    ASSERT_EQ(many.value_or(MediaList{}).size(), count);
    for (int i = 0; i < count; i += 997)
        EXPECT_EQ(fields(*many->at(i)), fields(*fullRecord(i))) << i;
    EXPECT_EQ(fields(*many->last()), fields(*fullRecord(count - 1)));
    for (int bad : {0, count - 1}) {
        for (int i = 0; i < count; ++i)
            refs[size_t(i)] = i == bad ? coder.encodeObject(kOtherClass, {})
                                       : fullRecord(i)->encodeWithCoder(coder);
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(coder.finish(coder.encodeArray(refs))))
            << bad;
    }
}

// An archive as the original platform writes it: NSMutableString / NSMutableData
// values, missing keys, shared strings, one record listed twice, and values of the
// wrong kind, which leave only that field absent. XML ({"CF$UID"}) and binary.
TEST(MediaDescArchive, ReadsThePlatformsArchives)
{
    auto cls = [](const char *chain) {
        QByteArray names;
        for (const QByteArray& name : QByteArray(chain).split(' '))
            names += "<string>" + name + "</string>";
        return "<dict><key>$classname</key><string>" + QByteArray(chain).split(' ').first() +
               "</string><key>$classes</key><array>" + names + "</array></dict>";
    };
    QString xml = QString::fromUtf8(
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>$archiver</key>"
        "<string>NSKeyedArchiver</string><key>$version</key><integer>100000</integer>"
        "<key>$top</key><dict><key>root</key>@1</dict><key>$objects</key><array>"
        "<string>$null</string><dict><key>NS.objects</key><array>@2@9@2</array>"
        "<key>$class</key>@10</dict><dict><key>Title</key>@3<key>Artist</key>@5"
        "<key>Duration</key>@0<key>AlbumArt</key>@6<key>$class</key>@8</dict>"
        "<dict><key>NS.string</key><string>Hoppípolla</string><key>$class</key>@4</dict>" +
        cls("NSMutableString NSString NSObject") + "<string>Sigur Rós</string>" +
        "<dict><key>NS.data</key><data>AAE=</data><key>$class</key>@7</dict>" +
        cls("NSMutableData NSData NSObject") + cls("MediaDesc NSObject") +
        "<dict><key>Title</key>@11<key>Artist</key>@6<key>Duration</key>@2<key>FilePath</key>@5"
        "<key>AlbumArt</key>@5<key>Lyric</key>@9<key>Album</key><string>inline</string>"
        "<key>$class</key>@8</dict>" +
        cls("NSArray NSObject") + "<integer>42</integer></array></dict></plist>");
    xml.replace(QRegularExpression(QStringLiteral("@(\\d+)")),
                QStringLiteral("<dict><key>CF$UID</key><integer>\\1</integer></dict>"));
    const QByteArray xmlBytes = xml.toUtf8();
    for (const QByteArray& bytes :
         {xmlBytes, PropertyList::toBinary(PropertyList::parse(xmlBytes).get())}) {
        SCOPED_TRACE(bytes.left(8).constData());
        const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(bytes);
        ASSERT_EQ(items.value_or(MediaList{}).size(), 3);
        MediaDesc expected, onlyPath;
        expected.title = QStringLiteral("Hoppípolla");
        expected.artist = onlyPath.filePath = QStringLiteral("Sigur Rós");
        expected.albumArt = QByteArray("\0\1", 2);
        EXPECT_EQ(fields(*items->at(0)), fields(expected));
        EXPECT_EQ(fields(*items->at(1)), fields(onlyPath));
        EXPECT_EQ(fields(*items->at(2)), fields(expected));
        EXPECT_NE(items->at(0), items->at(2)) << "one archived record listed twice: two rows";
    }
}

// One large record referred to many times costs two copies of its values; a list
// that refers to the same records far more often than its size allows is refused.
TEST(MediaDescArchive, RepeatedReferencesShareTheirValuesAndAreBounded)
{
    auto build = [](const QByteArray& art, int count) {
        KeyedArchiver coder;
        auto record = std::make_shared<MediaDesc>();
        record->albumArt = art;
        const KeyedArchiver::Ref ref = record->encodeWithCoder(coder);
        return coder.finish(coder.encodeArray(std::vector<KeyedArchiver::Ref>(size_t(count), ref)));
    };
    const std::optional<MediaList> items =
        MediaDesc::itemsWithArchivedData(build(QByteArray(900000, 'a'), 6000)); // ~1 MB
    ASSERT_EQ(items.value_or(MediaList{}).size(), 6000);
    EXPECT_EQ(items->at(1)->albumArt->constData(), items->last()->albumArt->constData());
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData(build("x", 100000))); // 2 bytes an element
    EXPECT_TRUE(MediaDesc::itemsWithArchivedData(build("x", 4096))) << "small lists always read";
}

// Every way an archive can be damaged: the list decoder answers nothing, quickly.
TEST(MediaDescArchive, DamagedArchivesAreAbsentAndNeverCrash)
{
    auto list = [](uint64_t element) {
        plist_t array = plist_new_array();
        plist_array_append_item(array, plist_new_uid(element));
        return array;
    };
    std::vector<QByteArray> damaged{
        "not a property list",
        edited(Archive, "$archiver", plist_new_string("Other")),
        edited(Archive, "$objects", nullptr),
        edited(Archive, "$top", nullptr),
        edited(Root, "$class", nullptr),             // a plain dictionary
        edited(Record, "$class", plist_new_uid(11)), // of another class
    };
    for (uint64_t root : {0, 3, 99}) // nil, a string, out of range
        damaged.push_back(edited(Top, "root", plist_new_uid(root)));
    for (uint64_t element : {0, 1, 3, 1000}) // nil, the array itself, a string, out of range
        damaged.push_back(edited(Root, "NS.objects", list(element)));
    // Binary objects read in place, never recursively: a deep chain, a 2^64-node
    // expansion, cycles, and counts that run past the object area.
    std::vector<QByteArray> chain, doubling;
    for (uint32_t i = 0; i < 200000; ++i)
        chain.push_back("\xA1" + ref4(10 + i + 1));
    chain.push_back(QByteArray(1, char(0xA0)));
    for (uint32_t i = 0; i < 64; ++i)
        doubling.push_back("\xA2" + ref4(10 + i + 1) + ref4(10 + i + 1));
    doubling.push_back(ascii("leaf"));
    damaged.insert(damaged.end(), {rawArchive(chain), rawArchive(doubling),
                                   rawArchive({"\xA1" + ref4(10)}),  // contains itself
                                   rawArchive({"\xA1" + ref4(500)}), // refers past the table
                                   // Counts past the end: array, string.
                                   rawArchive({"\xAF\x13" + QByteArray(8, char(0x7F))}),
                                   rawArchive({QByteArray("\x5F\x11\x03\xE8", 4)}),
                                   // XML nested far deeper than any archive: refused unparsed.
                                   "<plist>" + QByteArray("<array>").repeated(200000)});
    QElapsedTimer timer;
    timer.start();
    for (size_t i = 0; i < damaged.size(); ++i)
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(damaged[i])) << i;
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(KeyedUnarchiver(rawArchive({ascii("x")})).isValid());
    EXPECT_TRUE(MediaDesc::itemsWithArchivedData(edited(Record, "Lyric", plist_new_uid(0))));

    // Every prefix and flipped byte of a good binary archive.
    const QByteArray good = MediaDesc::archivedDataWithItems({fullRecord(1), fullRecord(2)});
    int absent = 0;
    for (qsizetype at = 0; at < good.size(); ++at) {
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(good.left(at))) << "prefix " << at;
        for (int flip : {0x01, 0x80, 0xFF}) {
            QByteArray bad = good;
            bad[at] = char(bad[at] ^ flip);
            const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(bad);
            absent += !items;
            EXPECT_LE(items.value_or(MediaList{}).size(), 2) << "never invents records";
        }
    }
    EXPECT_GT(absent, 0);
}
