#include "media/MediaDesc.h"
#include "platform/PropertyList.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

const char *const kKeys[] = {"Title", "Artist",   "Duration", "FilePath",
                             "Album", "AlbumArt", "Lyric"};

MediaDescPtr fullRecord(int i = 0)
{
    auto item = std::make_shared<MediaDesc>();
    item->title = QStringLiteral("Title %1").arg(i);
    item->artist = QStringLiteral("Artist %1").arg(i);
    item->duration = QStringLiteral("%1:0%2").arg(i % 10).arg(i % 10);
    item->filePath = QStringLiteral("/home/u/Music/%1.mp3").arg(i);
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

MediaList roundTrip(const MediaList& items)
{
    const QByteArray archive = MediaDesc::archivedDataWithItems(items);
    EXPECT_FALSE(archive.isEmpty());
    std::optional<MediaList> back = MediaDesc::itemsWithArchivedData(archive);
    EXPECT_TRUE(back.has_value());
    return back.value_or(MediaList{});
}

// Builds archives the way the platform's own archiver lays them out, from plain
// libplist nodes, independent of KeyedArchiver.
class PlatformArchive {
public:
    PlatformArchive() { add(plist_new_string("$null")); }

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

    // A UID node, or its XML spelling {"CF$UID": n}.
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
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "NS.objects", list);
        plist_dict_set_item(dict, "$class", uid(cls));
        return dict;
    }

    plist_t mutableString(uint64_t cls, const char *text)
    {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "NS.string", plist_new_string(text));
        plist_dict_set_item(dict, "$class", uid(cls));
        return dict;
    }

    void useXmlUids() { m_xmlUids = true; }

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
    bool m_xmlUids = false;
};

// Two records as the original platform stores them: an NSMutableArray root,
// NSMutableString values, nil as UID 0, a record without "Album"/"AlbumArt"/
// "Lyric" keys at all, and one artist string object shared by both records.
QByteArray platformArchive(bool xml)
{
    PlatformArchive a;
    if (xml)
        a.useXmlUids();
    const uint64_t root = a.reserve();
    const uint64_t first = a.reserve();
    const uint64_t title1 = a.reserve();
    const uint64_t stringClass = a.classDict({"NSMutableString", "NSString", "NSObject"});
    a.set(title1, a.mutableString(stringClass, "Hoppípolla"));
    const uint64_t artist = a.add(plist_new_string("Sigur Rós"));
    const uint64_t path1 = a.add(a.mutableString(stringClass, "/var/mobile/Media/a.mp3"));
    const uint64_t art = a.add(plist_new_data("\0\x01\0", 3));
    const uint64_t mediaClass = a.classDict({"MediaDesc", "NSObject"});
    a.set(first, a.object(mediaClass, {{"Title", title1},
                                       {"Artist", artist},
                                       {"Duration", 0},
                                       {"FilePath", path1},
                                       {"Album", 0},
                                       {"AlbumArt", art},
                                       {"Lyric", 0}}));
    const uint64_t second = a.reserve();
    const uint64_t path2 = a.add(plist_new_string("/var/mobile/Media/b.m4a"));
    const uint64_t duration2 = a.add(a.mutableString(stringClass, "4:05"));
    a.set(
        second,
        a.object(mediaClass,
                 {{"Title", 0}, {"Artist", artist}, {"Duration", duration2}, {"FilePath", path2}}));
    const uint64_t arrayClass = a.classDict({"NSMutableArray", "NSArray", "NSObject"});
    a.set(root, a.array(arrayClass, {first, second}));
    return a.bytes(root, xml);
}

void expectPlatformRecords(const std::optional<MediaList>& items)
{
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 2);
    const MediaDesc& a = *items->at(0);
    EXPECT_EQ(a.title, QStringLiteral("Hoppípolla"));
    EXPECT_EQ(a.artist, QStringLiteral("Sigur Rós"));
    EXPECT_FALSE(a.duration);
    EXPECT_EQ(a.filePath, QStringLiteral("/var/mobile/Media/a.mp3"));
    EXPECT_FALSE(a.album);
    EXPECT_EQ(a.albumArt, QByteArray("\0\x01\0", 3));
    EXPECT_FALSE(a.lyric);
    const MediaDesc& b = *items->at(1);
    EXPECT_FALSE(b.title);
    EXPECT_EQ(b.artist, QStringLiteral("Sigur Rós"));
    EXPECT_EQ(b.duration, QStringLiteral("4:05"));
    EXPECT_EQ(b.filePath, QStringLiteral("/var/mobile/Media/b.m4a"));
    EXPECT_FALSE(b.album);
    EXPECT_FALSE(b.albumArt);
    EXPECT_FALSE(b.lyric);
}

uint64_t uidValue(plist_t node)
{
    uint64_t v = ~uint64_t(0);
    if (plist_get_node_type(node) == PLIST_UID)
        plist_get_uid_val(node, &v);
    return v;
}

std::string stringValue(plist_t node)
{
    uint64_t length = 0;
    const char *s = node && plist_get_node_type(node) == PLIST_STRING
                        ? plist_get_string_ptr(node, &length)
                        : nullptr;
    return s ? std::string(s, length) : std::string("<not a string>");
}

std::vector<std::string> dictKeys(plist_t dict)
{
    std::vector<std::string> keys;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!key)
            break;
        keys.emplace_back(key);
        std::free(key);
    }
    std::free(it);
    return keys;
}

} // namespace

TEST(MediaDescArchive, RoundTripKeepsEveryFieldAndAbsence)
{
    auto onlyPath = std::make_shared<MediaDesc>();
    onlyPath->filePath = QStringLiteral("/home/u/only.flac");
    auto none = std::make_shared<MediaDesc>();
    auto emptyTexts = std::make_shared<MediaDesc>();
    emptyTexts->title = QString();
    emptyTexts->albumArt = QByteArray();
    const MediaList items{fullRecord(1), onlyPath, none, emptyTexts};

    const MediaList back = roundTrip(items);
    ASSERT_EQ(back.size(), items.size());
    for (qsizetype i = 0; i < items.size(); ++i)
        expectSameFields(*back[i], *items[i]);
    EXPECT_FALSE(back[1]->title);
    EXPECT_FALSE(back[1]->albumArt);
    // Present-but-empty is not absent.
    EXPECT_TRUE(back[3]->title.has_value());
    EXPECT_TRUE(back[3]->albumArt.has_value());
    EXPECT_FALSE(back[3]->artist);
}

TEST(MediaDescArchive, NonAsciiTextAndBinaryArtSurvive)
{
    auto item = std::make_shared<MediaDesc>();
    item->title = QStringLiteral("Sigur Rós – Hoppípolla 🎵");
    item->artist = QStringLiteral("Ólafur Arnalds / 坂本龍一 / Лёд");
    item->filePath = QStringLiteral("/home/u/Musik/Björk/Jóga ✓.ogg");
    item->lyric = QString(20000, QChar(0x00E9)); // long enough for wide counts
    QByteArray art(300000, '\0');
    for (qsizetype i = 0; i < art.size(); ++i)
        art[i] = char(i * 7 % 251);
    art[0] = '\0';
    art[art.size() - 1] = '\0';
    item->albumArt = art;

    const MediaList back = roundTrip({item});
    ASSERT_EQ(back.size(), 1);
    expectSameFields(*back[0], *item);
}

TEST(MediaDescArchive, TenThousandRecordsKeepTheirOrder)
{
    MediaList items;
    for (int i = 0; i < 10000; ++i) {
        auto item = std::make_shared<MediaDesc>();
        item->filePath = QStringLiteral("/music/%1.mp3").arg(i);
        item->artist = QStringLiteral("Artist %1").arg(i / 50); // shared strings
        if (i % 3 == 0)
            item->duration = QStringLiteral("3:%1").arg(i % 60, 2, 10, QLatin1Char('0'));
        items.append(item);
    }
    const MediaList back = roundTrip(items);
    ASSERT_EQ(back.size(), items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        ASSERT_EQ(back[i]->filePath, items[i]->filePath) << i;
        ASSERT_EQ(back[i]->artist, items[i]->artist) << i;
        ASSERT_EQ(back[i]->duration, items[i]->duration) << i;
    }
}

TEST(MediaDescArchive, EqualRecordsStayDistinctItems)
{
    const MediaDescPtr a = fullRecord(5);
    const MediaDescPtr b = fullRecord(5);
    const MediaList back = roundTrip({a, b, a});
    ASSERT_EQ(back.size(), 3);
    EXPECT_NE(back[0].get(), back[1].get());
    EXPECT_NE(back[0].get(), back[2].get());
    back[0]->title = QStringLiteral("changed");
    EXPECT_EQ(back[1]->title, QStringLiteral("Title 5"));
    EXPECT_EQ(back[2]->title, QStringLiteral("Title 5"));
}

TEST(MediaDescArchive, EmptyListAndNullEntries)
{
    const std::optional<MediaList> empty =
        MediaDesc::itemsWithArchivedData(MediaDesc::archivedDataWithItems({}));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());

    const MediaList back = roundTrip({fullRecord(1), nullptr, fullRecord(2)});
    ASSERT_EQ(back.size(), 3);
    ASSERT_TRUE(back[1]);
    expectSameFields(*back[1], MediaDesc{});
    EXPECT_EQ(back[2]->title, QStringLiteral("Title 2"));
}

TEST(MediaDescArchive, LayoutIsTheKeyedArchiveOfMediaDescObjects)
{
    auto partial = std::make_shared<MediaDesc>();
    partial->filePath = QStringLiteral("/x.mp3");
    partial->artist = QStringLiteral("Artist 1");
    const QByteArray archive = MediaDesc::archivedDataWithItems({fullRecord(1), partial});
    ASSERT_TRUE(archive.startsWith("bplist00"));
    PlistPtr root = PropertyList::parse(archive);
    ASSERT_TRUE(root);
    EXPECT_EQ(stringValue(plist_dict_get_item(root.get(), "$archiver")), "NSKeyedArchiver");
    EXPECT_EQ(PropertyList::toVariant(plist_dict_get_item(root.get(), "$version")).toLongLong(),
              100000);
    plist_t objects = plist_dict_get_item(root.get(), "$objects");
    ASSERT_EQ(plist_get_node_type(objects), PLIST_ARRAY);
    EXPECT_EQ(stringValue(plist_array_get_item(objects, 0)), "$null");
    const uint64_t rootRef =
        uidValue(plist_dict_get_item(plist_dict_get_item(root.get(), "$top"), "root"));
    EXPECT_EQ(rootRef, 1u); // the platform's pre-order layout

    auto object = [&](uint64_t ref) { return plist_array_get_item(objects, uint32_t(ref)); };
    auto classNames = [&](plist_t dict) {
        plist_t cls = object(uidValue(plist_dict_get_item(dict, "$class")));
        std::vector<std::string> names{stringValue(plist_dict_get_item(cls, "$classname"))};
        plist_t chain = plist_dict_get_item(cls, "$classes");
        for (uint32_t i = 0; i < plist_array_get_size(chain); ++i)
            names.push_back(stringValue(plist_array_get_item(chain, i)));
        return names;
    };
    plist_t array = object(rootRef);
    EXPECT_EQ(classNames(array), (std::vector<std::string>{"NSMutableArray", "NSMutableArray",
                                                           "NSArray", "NSObject"}));
    plist_t elements = plist_dict_get_item(array, "NS.objects");
    ASSERT_EQ(plist_array_get_size(elements), 2u);

    std::set<uint64_t> classRefs;
    std::vector<plist_t> records;
    for (uint32_t i = 0; i < 2; ++i) {
        plist_t record = object(uidValue(plist_array_get_item(elements, i)));
        records.push_back(record);
        EXPECT_EQ(classNames(record),
                  (std::vector<std::string>{"MediaDesc", "MediaDesc", "NSObject"}));
        classRefs.insert(uidValue(plist_dict_get_item(record, "$class")));
        std::vector<std::string> keys = dictKeys(record);
        EXPECT_EQ(keys, (std::vector<std::string>{"Title", "Artist", "Duration", "FilePath",
                                                  "Album", "AlbumArt", "Lyric", "$class"}));
    }
    EXPECT_EQ(classRefs.size(), 1u) << "one shared class dictionary";
    // Values are plain property-list values; absent fields are UID 0; the equal
    // artist strings are one shared entry.
    EXPECT_EQ(stringValue(object(uidValue(plist_dict_get_item(records[0], "Title")))), "Title 1");
    EXPECT_EQ(plist_get_node_type(object(uidValue(plist_dict_get_item(records[0], "AlbumArt")))),
              PLIST_DATA);
    for (const char *key : {"Title", "Duration", "Album", "AlbumArt", "Lyric"})
        EXPECT_EQ(uidValue(plist_dict_get_item(records[1], key)), 0u) << key;
    EXPECT_EQ(uidValue(plist_dict_get_item(records[0], "Artist")),
              uidValue(plist_dict_get_item(records[1], "Artist")));
}

TEST(MediaDescArchive, ReadsArchivesWrittenByThePlatform)
{
    expectPlatformRecords(MediaDesc::itemsWithArchivedData(platformArchive(false)));
}

TEST(MediaDescArchive, ReadsXmlArchivesWithCfUidReferences)
{
    const QByteArray xml = platformArchive(true);
    ASSERT_TRUE(xml.startsWith("<?xml"));
    ASSERT_TRUE(xml.contains("CF$UID"));
    expectPlatformRecords(MediaDesc::itemsWithArchivedData(xml));
}

TEST(MediaDescArchive, ImmutableArrayRootAndPlainStringsAreRead)
{
    PlatformArchive a;
    const uint64_t path = a.add(plist_new_string("/a.mp3"));
    const uint64_t cls = a.classDict({"MediaDesc", "NSObject"});
    const uint64_t record = a.add(a.object(cls, {{"FilePath", path}}));
    const uint64_t arrayClass = a.classDict({"NSArray", "NSObject"});
    const uint64_t root = a.add(a.array(arrayClass, {record, record}));
    const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(a.bytes(root));
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 2);
    EXPECT_EQ(items->at(1)->filePath, QStringLiteral("/a.mp3"));
    EXPECT_FALSE(items->at(1)->title);
    // One archived object referenced twice still gives two list items.
    EXPECT_NE(items->at(0).get(), items->at(1).get());
}

TEST(MediaDescArchive, ValueOfTheWrongKindLeavesOnlyThatFieldAbsent)
{
    PlatformArchive a;
    const uint64_t number = a.add(plist_new_uint(42));
    const uint64_t text = a.add(plist_new_string("text"));
    const uint64_t data = a.add(plist_new_data("xy", 2));
    const uint64_t path = a.add(plist_new_string("/ok.mp3"));
    const uint64_t cls = a.classDict({"MediaDesc", "NSObject"});
    const uint64_t other = a.classDict({"Other", "NSObject"});
    const uint64_t foreign = a.add(a.object(other, {}));
    const uint64_t record = a.reserve();
    plist_t dict = a.object(cls, {{"Title", number},
                                  {"Artist", data},
                                  {"Duration", foreign},
                                  {"FilePath", path},
                                  {"AlbumArt", text},
                                  {"Lyric", record}}); // the record itself
    plist_dict_set_item(dict, "Album", plist_new_string("inline, not a reference"));
    a.set(record, dict);
    const uint64_t arrayClass = a.classDict({"NSMutableArray", "NSArray", "NSObject"});
    const uint64_t root = a.add(a.array(arrayClass, {record}));

    const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(a.bytes(root));
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 1);
    const MediaDesc& item = *items->at(0);
    EXPECT_EQ(item.filePath, QStringLiteral("/ok.mp3"));
    EXPECT_FALSE(item.title);
    EXPECT_FALSE(item.artist);
    EXPECT_FALSE(item.duration);
    EXPECT_FALSE(item.album);
    EXPECT_FALSE(item.albumArt);
    EXPECT_FALSE(item.lyric);
}

TEST(MediaDescArchive, ArchivesThatAreNotListsOfRecordsAreAbsent)
{
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData({}));
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData("not a property list"));

    auto withRoot = [](auto build) {
        PlatformArchive a;
        const uint64_t root = build(a);
        return MediaDesc::itemsWithArchivedData(a.bytes(root));
    };
    // Root is a string / a plain dictionary / nil / out of range.
    EXPECT_FALSE(withRoot([](PlatformArchive& a) { return a.add(plist_new_string("x")); }));
    EXPECT_FALSE(withRoot([](PlatformArchive& a) { return a.add(plist_new_dict()); }));
    EXPECT_FALSE(withRoot([](PlatformArchive&) { return uint64_t(0); }));
    EXPECT_FALSE(withRoot([](PlatformArchive&) { return uint64_t(99); }));
    // Elements that are not MediaDesc objects.
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        const uint64_t s = a.add(plist_new_string("/a.mp3"));
        return a.add(a.array(a.classDict({"NSArray", "NSObject"}), {s}));
    }));
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        const uint64_t other = a.add(a.object(a.classDict({"ItunesDesc", "NSObject"}), {}));
        return a.add(a.array(a.classDict({"NSArray", "NSObject"}), {other}));
    }));
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        return a.add(a.array(a.classDict({"NSArray", "NSObject"}), {0}));
    }));
    // An element reference beyond "$objects".
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        return a.add(a.array(a.classDict({"NSArray", "NSObject"}), {1000}));
    }));
    // An array that contains itself, and one whose class is itself.
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        const uint64_t root = a.reserve();
        a.set(root, a.array(a.classDict({"NSArray", "NSObject"}), {root}));
        return root;
    }));
    EXPECT_FALSE(withRoot([](PlatformArchive& a) {
        const uint64_t root = a.reserve();
        a.set(root, a.array(root, {}));
        return root;
    }));

    // A property list that is not a keyed archive, even with the right shape.
    QByteArray good = MediaDesc::archivedDataWithItems({fullRecord(1)});
    PlistPtr plist = PropertyList::parse(good);
    plist_dict_set_item(plist.get(), "$archiver", plist_new_string("SomethingElse"));
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData(PropertyList::toBinary(plist.get())));
    plist_dict_remove_item(plist.get(), "$archiver");
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData(PropertyList::toBinary(plist.get())));
    PlistPtr list(plist_new_array());
    plist_array_append_item(list.get(), plist_new_string("/a.mp3"));
    EXPECT_FALSE(MediaDesc::itemsWithArchivedData(PropertyList::toBinary(list.get())));
}

TEST(MediaDescArchive, TruncatedArchivesAreAbsent)
{
    const QByteArray binary = MediaDesc::archivedDataWithItems({fullRecord(1), fullRecord(2)});
    for (qsizetype n = 0; n < binary.size(); ++n)
        ASSERT_FALSE(MediaDesc::itemsWithArchivedData(binary.left(n))) << "binary prefix " << n;
    const QByteArray xml = PropertyList::toXml(PropertyList::parse(binary).get());
    ASSERT_TRUE(MediaDesc::itemsWithArchivedData(xml));
    // Cut inside the text, ahead of the closing tags.
    for (qsizetype n = 0; n + 20 < xml.size(); n += 7)
        ASSERT_FALSE(MediaDesc::itemsWithArchivedData(xml.left(n))) << "xml prefix " << n;
}

TEST(MediaDescArchive, DamagedArchivesNeverCrash)
{
    QRandomGenerator random(20240611);
    for (int i = 0; i < 300; ++i) {
        QByteArray noise(random.bounded(1, 4000), '\0');
        for (char& c : noise)
            c = char(random.bounded(256));
        if (i % 2)
            noise.replace(0, 8, "bplist00");
        EXPECT_FALSE(MediaDesc::itemsWithArchivedData(noise));
    }

    const QByteArray binary =
        MediaDesc::archivedDataWithItems({fullRecord(1), fullRecord(2), fullRecord(3)});
    const QByteArray xml = PropertyList::toXml(PropertyList::parse(binary).get());
    int absent = 0;
    for (const QByteArray& good : {binary, xml}) {
        // Every byte of the binary form; the XML form is longer and mostly text.
        const int step = good == binary ? 1 : 3;
        for (qsizetype at = 0; at < good.size(); at += step) {
            for (int flip : {0x01, 0x80, 0xFF}) {
                QByteArray damaged = good;
                damaged[at] = char(damaged[at] ^ flip);
                const std::optional<MediaList> items = MediaDesc::itemsWithArchivedData(damaged);
                if (!items) {
                    ++absent;
                    continue;
                }
                // A flip that leaves a readable archive changes a value or drops
                // an element reference; it never invents records.
                EXPECT_LE(items->size(), 3);
            }
        }
    }
    EXPECT_GT(absent, 0);
}
