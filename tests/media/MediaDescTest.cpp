#include "media/MediaDesc.h"
#include "platform/PropertyList.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <functional>
#include <gtest/gtest.h>

namespace {

MediaDescPtr fullRecord(int i = 0)
{
    auto item = std::make_shared<MediaDesc>();
    item->title = QStringLiteral("Title %1").arg(i);
    item->artist = QStringLiteral("Sigur Rós – 坂本龍一 🎵 %1").arg(i);
    item->duration = QStringLiteral("%1:0%2").arg(i % 10).arg(i % 10);
    item->filePath = QStringLiteral("/home/u/Musik/Björk/%1.mp3").arg(i);
    item->album = QStringLiteral("Album %1").arg(i);
    item->albumArt = QByteArray("\x89PNG\0\0\x01", 7) + QByteArray::number(i);
    item->lyric = QStringLiteral("la la %1\nla").arg(i);
    return item;
}

void expectSameFields(const MediaDesc& a, const MediaDesc& b)
{
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.artist, b.artist);
    EXPECT_EQ(a.duration, b.duration);
    EXPECT_EQ(a.filePath, b.filePath);
    EXPECT_EQ(a.album, b.album);
    EXPECT_EQ(a.albumArt, b.albumArt);
    EXPECT_EQ(a.lyric, b.lyric);
}

// Archives laid out as the platform's own archiver writes them, built from plain
// libplist nodes, independent of KeyedArchiver. References are UIDs, or their XML
// spelling {"CF$UID": n}.
class PlatformArchive {
public:
    explicit PlatformArchive(bool xmlUids = false) : m_xmlUids(xmlUids)
    {
        add(plist_new_string("$null"));
    }
    uint64_t add(plist_t node)
    {
        m_objects.push_back(node);
        return m_objects.size() - 1;
    }
    uint64_t reserve() { return add(nullptr); }
    void set(uint64_t index, plist_t node) { m_objects[index] = node; }
    uint64_t classDict(const std::vector<const char *>& classes)
    {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$classname", plist_new_string(classes.front()));
        plist_t chain = plist_new_array();
        for (const char *name : classes)
            plist_array_append_item(chain, plist_new_string(name));
        plist_dict_set_item(dict, "$classes", chain);
        return add(dict);
    }
    plist_t uid(uint64_t value) const
    {
        if (!m_xmlUids)
            return plist_new_uid(value);
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "CF$UID", plist_new_uint(value));
        return dict;
    }
    plist_t object(uint64_t cls, const std::vector<std::pair<const char *, uint64_t>>& fields)
    {
        plist_t dict = plist_new_dict();
        for (const auto& [key, value] : fields)
            plist_dict_set_item(dict, key, uid(value));
        plist_dict_set_item(dict, "$class", uid(cls));
        return dict;
    }
    plist_t array(uint64_t cls, const std::vector<uint64_t>& elements)
    {
        plist_t list = plist_new_array();
        for (uint64_t e : elements)
            plist_array_append_item(list, uid(e));
        plist_t dict = object(cls, {});
        plist_dict_set_item(dict, "NS.objects", list);
        return dict;
    }
    // An NSMutableString / NSMutableData object holding value under key.
    plist_t wrapped(uint64_t cls, const char *key, plist_t value)
    {
        plist_t dict = object(cls, {});
        plist_dict_set_item(dict, key, value);
        return dict;
    }
    QByteArray bytes(uint64_t root, bool xml = false)
    {
        PlistPtr archive(plist_new_dict());
        plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
        plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
        plist_t top = plist_new_dict();
        plist_dict_set_item(top, "root", uid(root));
        plist_dict_set_item(archive.get(), "$top", top);
        plist_t list = plist_new_array();
        for (plist_t node : m_objects)
            plist_array_append_item(list, node);
        m_objects.clear();
        plist_dict_set_item(archive.get(), "$objects", list);
        return xml ? PropertyList::toXml(archive.get()) : PropertyList::toBinary(archive.get());
    }

private:
    std::vector<plist_t> m_objects;
    bool m_xmlUids;
};

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
// "$top" {"root": UID 1} and "$objects" ["$null", raw object `second`]; extra are
// raw objects 10.. and refer to each other by those numbers.
QByteArray rawArchive(const std::vector<QByteArray>& extra, uint32_t second = 10,
                      const QByteArray& objectsArray = {})
{
    std::vector<QByteArray> objects{
        "\xD3" + ref4(1) + ref4(2) + ref4(3) + ref4(4) + ref4(5) + ref4(6),
        ascii("$archiver"),
        ascii("$top"),
        ascii("$objects"),
        ascii("NSKeyedArchiver"),
        "\xD1" + ref4(7) + ref4(8),
        objectsArray.isEmpty() ? "\xA2" + ref4(9) + ref4(second) : objectsArray,
        ascii("root"),
        QByteArray("\x80\x01", 2),
        ascii("$null"),
    };
    objects.insert(objects.end(), extra.begin(), extra.end());
    QByteArray out("bplist00");
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += ref4(uint32_t(out.size()));
        out += object;
    }
    const QByteArray tableOffset = ref4(0) + ref4(uint32_t(out.size()));
    return out + table + QByteArray(6, '\0') + "\x04\x04" + ref4(0) +
           ref4(uint32_t(objects.size())) + QByteArray(8, '\0') + tableOffset;
}

QByteArray nestedXml(int depth, const QByteArray& prefix = {})
{
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>$archiver</key>"
           "<string>NSKeyedArchiver</string><key>$top</key><dict/><key>$objects</key>"
           "<array><string>$null</string>" +
           prefix + QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth) +
           "</array></dict></plist>";
}

// Calls every accessor on every reference; the answers only must not crash.
void touchEverything(const QByteArray& bytes)
{
    const KeyedUnarchiver coder(bytes);
    (void)coder.topObject();
    for (KeyedUnarchiver::Ref r = 0; r < coder.objectCount() + 2; ++r) {
        (void)coder.decodeString(r);
        (void)coder.decodeData(r);
        if (auto elements = coder.decodeArray(r))
            for (KeyedUnarchiver::Ref e : *elements)
                (void)coder.decodeString(e);
        if (auto object = coder.decodeObject(r))
            for (const char *key : {"Title", "AlbumArt", "$class", "NS.objects"}) {
                (void)object->decodeStringForKey(key);
                (void)object->decodeDataForKey(key);
                (void)object->refForKey(key);
            }
    }
}

} // namespace

TEST(MediaDescArchive, RoundTripKeepsOrderFieldsAbsenceAndIdentity)
{
    auto none = std::make_shared<MediaDesc>();
    auto empties = std::make_shared<MediaDesc>();
    empties->title = QString();
    empties->albumArt = QByteArray();
    auto large = fullRecord(9);
    large->lyric = QString(20000, QChar(0x00E9)); // past every length-marker width
    large->albumArt = QByteArray(300000, '\0') + QByteArray("\xff\x01", 2);
    MediaList items{fullRecord(1), none, empties, large, nullptr, fullRecord(1)};
    for (int i = 0; i < 10000; ++i) {
        auto item = std::make_shared<MediaDesc>();
        item->filePath = QStringLiteral("/music/%1.mp3").arg(i);
        item->artist = QStringLiteral("Artist %1").arg(i / 50); // shared strings
        items.append(item);
    }
    const std::optional<MediaList> back =
        MediaDesc::itemsWithArchivedData(MediaDesc::archivedDataWithItems(items));
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->size(), items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameFields(*back->at(i), items[i] ? *items[i] : MediaDesc{});
    }
    EXPECT_TRUE(back->at(2)->title.has_value()) << "present but empty is not absent";
    EXPECT_TRUE(back->at(2)->albumArt.has_value());
    // Equal records stay distinct items.
    back->at(0)->title = QStringLiteral("changed");
    EXPECT_EQ(back->at(5)->title, QStringLiteral("Title 1"));

    const std::optional<MediaList> empty =
        MediaDesc::itemsWithArchivedData(MediaDesc::archivedDataWithItems({}));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
}

// Archives from the original platform: NSMutableString / NSMutableData values,
// missing keys, shared strings, one record listed twice, and values of the wrong
// kind, which leave only that field absent. Binary and XML ({"CF$UID"}) forms.
TEST(MediaDescArchive, ReadsThePlatformsArchives)
{
    for (bool xml : {false, true}) {
        SCOPED_TRACE(xml ? "xml" : "binary");
        PlatformArchive a(xml);
        const uint64_t root = a.reserve();
        const uint64_t stringClass = a.classDict({"NSMutableString", "NSString", "NSObject"});
        const uint64_t dataClass = a.classDict({"NSMutableData", "NSData", "NSObject"});
        const uint64_t mediaClass = a.classDict({"MediaDesc", "NSObject"});
        const uint64_t title =
            a.add(a.wrapped(stringClass, "NS.string", plist_new_string("Hoppípolla")));
        const uint64_t artist = a.add(plist_new_string("Sigur Rós"));
        const uint64_t art = a.add(a.wrapped(dataClass, "NS.data", plist_new_data("\0\1", 2)));
        const uint64_t number = a.add(plist_new_uint(42));
        const uint64_t first = a.add(
            a.object(mediaClass,
                     {{"Title", title}, {"Artist", artist}, {"Duration", 0}, {"AlbumArt", art}}));
        const uint64_t odd = a.reserve();
        plist_t dict = a.object(mediaClass, {{"Title", number},
                                             {"Artist", art},
                                             {"Duration", first},
                                             {"FilePath", artist},
                                             {"AlbumArt", artist},
                                             {"Lyric", odd}});
        plist_dict_set_item(dict, "Album", plist_new_string("inline, not a reference"));
        a.set(odd, dict);
        const uint64_t arrayClass = xml ? a.classDict({"NSArray", "NSObject"})
                                        : a.classDict({"NSMutableArray", "NSArray", "NSObject"});
        a.set(root, a.array(arrayClass, {first, odd, first}));

        const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(a.bytes(root, xml));
        ASSERT_TRUE(items.has_value());
        ASSERT_EQ(items->size(), 3);
        MediaDesc expected;
        expected.title = QStringLiteral("Hoppípolla");
        expected.artist = QStringLiteral("Sigur Rós");
        expected.albumArt = QByteArray("\0\1", 2);
        expectSameFields(*items->at(0), expected);
        expectSameFields(*items->at(2), expected);
        EXPECT_NE(items->at(0), items->at(2)) << "one archived record listed twice: two rows";
        MediaDesc onlyPath;
        onlyPath.filePath = QStringLiteral("Sigur Rós");
        expectSameFields(*items->at(1), onlyPath);
    }
}

// One large record referred to many times costs one copy of its values; a list
// that refers to the same records far more often than its size allows is refused.
TEST(MediaDescArchive, RepeatedReferencesShareTheirValuesAndAreBounded)
{
    auto build = [](const QByteArray& art, int count) {
        KeyedArchiver coder;
        auto record = std::make_shared<MediaDesc>();
        record->albumArt = art;
        record->title = QString::fromLatin1(art.left(100000));
        const KeyedArchiver::Ref ref = record->encodeWithCoder(coder);
        return coder.finish(coder.encodeArray(std::vector<KeyedArchiver::Ref>(size_t(count), ref)));
    };
    const QByteArray file = build(QByteArray(900000, 'a'), 6000);
    ASSERT_GT(file.size(), 900000);
    QElapsedTimer timer;
    timer.start();
    const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(file);
    EXPECT_LT(timer.elapsed(), 2000);
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 6000);
    EXPECT_NE(items->first(), items->last()) << "every row is a record of its own";
    EXPECT_EQ(items->first()->albumArt->constData(), items->last()->albumArt->constData());
    EXPECT_EQ(items->first()->title->constData(), items->last()->title->constData());

    const QByteArray tiny = build("x", 100000); // 2 bytes per element
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData(tiny));
    EXPECT_TRUE(MediaDesc::itemsWithArchivedData(build("x", 4096))) << "small lists always read";
}

// Every way an archive can be damaged, at both layers: the list decoder answers
// nothing, and the keyed-archive reader answers any question without crashing.
TEST(MediaDescArchive, DamagedArchivesAreAbsentAndNeverCrash)
{
    std::vector<std::pair<const char *, QByteArray>> damaged{
        {"empty", {}}, {"no property list", "not a property list"}};
    auto edited = [](const char *what, const std::function<void(plist_t)>& edit) {
        PlistPtr plist = PropertyList::parse(MediaDesc::archivedDataWithItems({fullRecord(1)}));
        edit(plist.get());
        return std::pair(what, PropertyList::toBinary(plist.get()));
    };
    damaged.push_back(edited("other archiver", [](plist_t p) {
        plist_dict_set_item(p, "$archiver", plist_new_string("Other"));
    }));
    damaged.push_back(edited("archiver not a string", [](plist_t p) {
        plist_dict_set_item(p, "$archiver", plist_new_uint(1));
    }));
    for (const char *key : {"$archiver", "$objects", "$top"})
        damaged.push_back(edited(key, [key](plist_t p) { plist_dict_remove_item(p, key); }));
    damaged.push_back(edited("objects not an array", [](plist_t p) {
        plist_dict_set_item(p, "$objects", plist_new_string("x"));
    }));
    damaged.push_back(edited("top not a dictionary",
                             [](plist_t p) { plist_dict_set_item(p, "$top", plist_new_array()); }));
    // Roots and elements that are not a list of records.
    using Build = std::function<uint64_t(PlatformArchive&)>;
    auto array = [](PlatformArchive& a, std::vector<uint64_t> elements) {
        return a.add(a.array(a.classDict({"NSArray", "NSObject"}), elements));
    };
    for (const auto& [what, build] : std::vector<std::pair<const char *, Build>>{
             {"root a string", [](PlatformArchive& a) { return a.add(plist_new_string("x")); }},
             {"root a plain dictionary",
              [](PlatformArchive& a) { return a.add(plist_new_dict()); }},
             {"root nil", [](PlatformArchive&) { return uint64_t(0); }},
             {"root out of range", [](PlatformArchive&) { return uint64_t(99); }},
             {"element a string",
              [&](PlatformArchive& a) { return array(a, {a.add(plist_new_string("/a.mp3"))}); }},
             {"element of another class",
              [&](PlatformArchive& a) {
                  return array(a, {a.add(a.object(a.classDict({"Other", "NSObject"}), {}))});
              }},
             {"element nil", [&](PlatformArchive& a) { return array(a, {0}); }},
             {"element out of range", [&](PlatformArchive& a) { return array(a, {1000}); }},
             {"array containing itself",
              [](PlatformArchive& a) {
                  const uint64_t root = a.reserve();
                  a.set(root, a.array(a.classDict({"NSArray", "NSObject"}), {root}));
                  return root;
              }},
             {"array its own class",
              [](PlatformArchive& a) {
                  const uint64_t root = a.reserve();
                  a.set(root, a.array(root, {}));
                  return root;
              }},
         }) {
        PlatformArchive a;
        const uint64_t root = build(a);
        damaged.emplace_back(what, a.bytes(root));
    }
    // Binary objects read in place, never recursively: a deep chain, a 2^64-node
    // expansion, cycles, and counts that run past the object area.
    std::vector<QByteArray> chain, doubling;
    for (uint32_t i = 0; i < 200000; ++i)
        chain.push_back("\xA1" + ref4(10 + i + 1));
    chain.push_back(QByteArray(1, char(0xA0)));
    for (uint32_t i = 0; i < 64; ++i)
        doubling.push_back("\xA2" + ref4(10 + i + 1) + ref4(10 + i + 1));
    doubling.push_back(ascii("leaf"));
    damaged.insert(
        damaged.end(),
        {{"deep chain", rawArchive(chain)},
         {"doubling", rawArchive(doubling)},
         {"self-containing", rawArchive({"\xA1" + ref4(10)})},
         {"reference past the table", rawArchive({"\xA1" + ref4(500)})},
         {"array count past the end", rawArchive({"\xAF\x13" + QByteArray(8, char(0x7F))})},
         {"data count past the end", rawArchive({QByteArray("\x4F\x11\x03\xE8", 4)})},
         {"string count past the end", rawArchive({QByteArray("\x5F\x11\x03\xE8", 4)})},
         {"UTF-16 count past the end", rawArchive({QByteArray("\x6F\x11\x03\xE8", 4)})},
         {"objects entry past the table", rawArchive({ascii("x")}, 500)},
         {"objects count past the end",
          rawArchive({ascii("x")}, 10, "\xAF\x11\x03\xE8" + ref4(9) + ref4(10))},
         {"XML nested past any archive", nestedXml(200000)}});
    QElapsedTimer timer;
    timer.start();
    for (const auto& [what, bytes] : damaged) {
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(bytes)) << what;
        touchEverything(bytes);
    }
    EXPECT_LT(timer.elapsed(), 5000);
    // The nesting bound refuses only what no archive has.
    EXPECT_TRUE(KeyedUnarchiver(nestedXml(20)).isValid());
    EXPECT_TRUE(KeyedUnarchiver(nestedXml(3, "<!-- " + QByteArray("<array>").repeated(100) +
                                                 " --><string><![CDATA[<dict><dict>]]></string>"))
                    .isValid());
    EXPECT_TRUE(KeyedUnarchiver(rawArchive({ascii("x")})).isValid());

    // Every prefix and flipped byte of a good archive, binary and XML, and noise.
    const QByteArray binary = MediaDesc::archivedDataWithItems({fullRecord(1), fullRecord(2)});
    const QByteArray xml = PropertyList::toXml(PropertyList::parse(binary).get());
    ASSERT_TRUE(MediaDesc::itemsWithArchivedData(xml));
    int absent = 0;
    for (const QByteArray& good : {binary, xml}) {
        const int step = good == binary ? 1 : 5; // the XML form is long and mostly text
        for (qsizetype at = 0; at + (good == xml ? 20 : 0) < good.size(); at += step) {
            EXPECT_FALSE(MediaDesc::itemsWithArchivedData(good.left(at))) << "prefix " << at;
            touchEverything(good.left(at));
            for (int flip : {0x01, 0x80, 0xFF}) {
                QByteArray bad = good;
                bad[at] = char(bad[at] ^ flip);
                const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(bad);
                absent += !items;
                EXPECT_LE(items.value_or(MediaList{}).size(), 2) << "never invents records";
                touchEverything(bad);
            }
        }
    }
    EXPECT_GT(absent, 0);
    QRandomGenerator random(20240611);
    for (int i = 0; i < 300; ++i) {
        QByteArray noise(random.bounded(1, 4000), '\0');
        for (char& c : noise)
            c = char(random.bounded(256));
        if (i % 2)
            noise.replace(0, 8, "bplist00");
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(noise));
    }
}
