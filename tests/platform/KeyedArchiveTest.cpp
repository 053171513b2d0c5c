#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Ref = KeyedArchiver::Ref;

const QStringList kSongClasses{QStringLiteral("Song"), QStringLiteral("NSObject")};

// The parsed "$objects" of an archive, for checking the layout with libplist alone.
struct Parsed {
    PlistPtr root;
    plist_t objects = nullptr;

    explicit Parsed(const QByteArray& bytes) : root(PropertyList::parse(bytes))
    {
        if (root)
            objects = plist_dict_get_item(root.get(), "$objects");
    }
    plist_t at(uint64_t i) const { return plist_array_get_item(objects, uint32_t(i)); }
    QVariant value(uint64_t i) const { return PropertyList::toVariant(at(i)); }
};

uint64_t uidOf(plist_t node)
{
    uint64_t v = ~uint64_t(0);
    if (node && plist_get_node_type(node) == PLIST_UID)
        plist_get_uid_val(node, &v);
    return v;
}

// A binary property list from raw objects; references are 4 bytes wide.
QByteArray rawBplist(const std::vector<QByteArray>& objects)
{
    QByteArray out("bplist00");
    std::vector<uint32_t> offsets;
    for (const QByteArray& object : objects) {
        offsets.push_back(uint32_t(out.size()));
        out += object;
    }
    const uint64_t table = uint64_t(out.size());
    auto be = [&](uint64_t v, int n) {
        for (int i = n - 1; i >= 0; --i)
            out.append(char(v >> (8 * i)));
    };
    for (uint32_t offset : offsets)
        be(offset, 4);
    out.append(6, '\0');
    out.append(char(4)); // offset width
    out.append(char(4)); // reference width
    be(objects.size(), 8);
    be(0, 8); // top object
    be(table, 8);
    return out;
}

QByteArray ref4(uint32_t r)
{
    QByteArray b;
    for (int i = 3; i >= 0; --i)
        b.append(char(r >> (8 * i)));
    return b;
}

QByteArray ascii(const char *s)
{
    const auto n = std::strlen(s);
    QByteArray marker = n < 15 ? QByteArray(1, char(0x50 | n)) : QByteArray("\x5F\x10") + char(n);
    return marker + QByteArray(s);
}

// A minimal keyed archive whose "$objects" are "$null" and the raw object 8, the
// first of extra (extra objects are raw objects 8.. and refer to each other by
// those indexes).
QByteArray archiveAround(const std::vector<QByteArray>& extra, uint32_t secondObject = 8,
                         const QByteArray& objectsArray = {})
{
    std::vector<QByteArray> objects{
        QByteArray(1, char(0xD3)) + ref4(1) + ref4(2) + ref4(3) + ref4(4) + ref4(5) + ref4(6),
        ascii("$archiver"),
        ascii("$top"),
        ascii("$objects"),
        ascii("NSKeyedArchiver"),
        QByteArray(1, char(0xD0)),
        objectsArray.isEmpty() ? QByteArray(1, char(0xA2)) + ref4(7) + ref4(secondObject)
                               : objectsArray,
        ascii("$null"),
    };
    objects.insert(objects.end(), extra.begin(), extra.end());
    return rawBplist(objects);
}

// Arrays nested depth deep, each the only element of the one before.
QByteArray nestedBinary(int depth)
{
    std::vector<QByteArray> extra;
    for (int i = 0; i < depth - 1; ++i)
        extra.push_back(QByteArray(1, char(0xA1)) + ref4(uint32_t(8 + i + 1)));
    extra.push_back(QByteArray(1, char(0xA0)));
    return archiveAround(extra);
}

// levels arrays, each holding the next one twice: tiny on disk, 2^levels nodes
// when expanded.
QByteArray doublingBinary(int levels)
{
    std::vector<QByteArray> extra;
    for (int i = 0; i < levels; ++i)
        extra.push_back(QByteArray(1, char(0xA2)) + ref4(uint32_t(8 + i + 1)) +
                        ref4(uint32_t(8 + i + 1)));
    extra.push_back(ascii("leaf"));
    return archiveAround(extra);
}

QByteArray nestedXml(int depth, const QByteArray& prefix = {})
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                     "<key>$archiver</key><string>NSKeyedArchiver</string>"
                     "<key>$top</key><dict/><key>$objects</key><array><string>$null</string>";
    xml += prefix;
    for (int i = 0; i < depth; ++i)
        xml += "<array>";
    for (int i = 0; i < depth; ++i)
        xml += "</array>";
    xml += "</array></dict></plist>\n";
    return xml;
}

// Calls every accessor on every reference; the result must simply not crash.
void touchEverything(const KeyedUnarchiver& coder)
{
    (void)coder.topObject();
    for (Ref r = 0; r < coder.objectCount() + 2; ++r) {
        (void)coder.decodeString(r);
        (void)coder.decodeData(r);
        if (auto elements = coder.decodeArray(r))
            for (Ref e : *elements)
                (void)coder.decodeString(e);
        if (auto object = coder.decodeObject(r)) {
            for (const char *key : {"name", "tags", "blob", "$class", "NS.objects"}) {
                (void)object->decodeStringForKey(key);
                (void)object->decodeDataForKey(key);
                (void)object->refForKey(key);
            }
        }
    }
}

} // namespace

TEST(KeyedArchiver, WritesTheKeyedArchiveLayout)
{
    KeyedArchiver coder;
    const Ref root = coder.reserve();
    const Ref name = coder.encodeString(QStringLiteral("shared"));
    EXPECT_EQ(coder.encodeString(QStringLiteral("shared")), name);
    const Ref blob = coder.encodeData(QByteArray("\0a\0", 3));
    EXPECT_EQ(coder.encodeData(QByteArray("\0a\0", 3)), blob);
    EXPECT_NE(coder.encodeData(QByteArray("\0a", 2)), blob);
    const Ref song1 = coder.encodeObject(kSongClasses, {{"name", name}, {"blob", blob}});
    const Ref song2 =
        coder.encodeObject(kSongClasses, {{"name", name}, {"blob", KeyedArchiver::nil}});
    const Ref inner = coder.encodeArray({song2}, KeyedArchiver::ArrayKind::Immutable);
    coder.encodeArray({song1, inner}, KeyedArchiver::ArrayKind::Mutable, root);
    const QByteArray bytes = coder.finish(root);
    ASSERT_TRUE(bytes.startsWith("bplist00"));

    Parsed p(bytes);
    ASSERT_TRUE(p.root);
    const QVariantMap top = PropertyList::toVariant(p.root.get()).toMap();
    EXPECT_EQ(top.value(QStringLiteral("$archiver")).toString(), QStringLiteral("NSKeyedArchiver"));
    EXPECT_EQ(top.value(QStringLiteral("$version")).toLongLong(), 100000);
    EXPECT_EQ(uidOf(plist_dict_get_item(plist_dict_get_item(p.root.get(), "$top"), "root")), 1u);
    EXPECT_EQ(p.value(0).toString(), QStringLiteral("$null"));
    EXPECT_EQ(p.value(name).toString(), QStringLiteral("shared"));
    EXPECT_EQ(p.value(blob).toByteArray(), QByteArray("\0a\0", 3));

    // Objects: their keys refer by UID, nil is UID 0, one class dictionary shared.
    plist_t s1 = p.at(song1);
    plist_t s2 = p.at(song2);
    EXPECT_EQ(uidOf(plist_dict_get_item(s1, "name")), name);
    EXPECT_EQ(uidOf(plist_dict_get_item(s2, "blob")), 0u);
    const uint64_t songClass = uidOf(plist_dict_get_item(s1, "$class"));
    EXPECT_EQ(uidOf(plist_dict_get_item(s2, "$class")), songClass);
    const QVariantMap cls = p.value(songClass).toMap();
    EXPECT_EQ(cls.value(QStringLiteral("$classname")).toString(), QStringLiteral("Song"));
    EXPECT_EQ(cls.value(QStringLiteral("$classes")).toStringList(), kSongClasses);

    // Arrays: NS.objects of UIDs and the platform's array class chains.
    plist_t outer = p.at(root);
    plist_t list = plist_dict_get_item(outer, "NS.objects");
    ASSERT_EQ(plist_array_get_size(list), 2u);
    EXPECT_EQ(uidOf(plist_array_get_item(list, 0)), song1);
    EXPECT_EQ(uidOf(plist_array_get_item(list, 1)), inner);
    EXPECT_EQ(p.value(uidOf(plist_dict_get_item(outer, "$class")))
                  .toMap()
                  .value(QStringLiteral("$classes"))
                  .toStringList(),
              (QStringList{QStringLiteral("NSMutableArray"), QStringLiteral("NSArray"),
                           QStringLiteral("NSObject")}));
    EXPECT_EQ(p.value(uidOf(plist_dict_get_item(p.at(inner), "$class")))
                  .toMap()
                  .value(QStringLiteral("$classname"))
                  .toString(),
              QStringLiteral("NSArray"));
}

TEST(KeyedArchiver, IncompleteOrInconsistentGraphsGiveNoBytes)
{
    {
        KeyedArchiver coder;
        const Ref root = coder.reserve();
        coder.reserve(); // never filled
        coder.encodeArray({}, KeyedArchiver::ArrayKind::Mutable, root);
        EXPECT_TRUE(coder.finish(root).isEmpty());
        // The archiver starts over and works again.
        const Ref again = coder.encodeArray({coder.encodeString(QStringLiteral("x"))});
        EXPECT_FALSE(coder.finish(again).isEmpty());
    }
    {
        KeyedArchiver coder;
        const Ref root = coder.encodeArray({KeyedArchiver::nil});
        EXPECT_TRUE(coder.finish(root).isEmpty());
    }
    {
        KeyedArchiver coder;
        const Ref root = coder.encodeObject(kSongClasses, {{"name", 77}});
        EXPECT_TRUE(coder.finish(root).isEmpty());
    }
    {
        KeyedArchiver coder;
        const Ref slot = coder.reserve();
        coder.encodeArray({}, KeyedArchiver::ArrayKind::Mutable, slot);
        coder.encodeArray({}, KeyedArchiver::ArrayKind::Mutable, slot);
        EXPECT_TRUE(coder.finish(slot).isEmpty());
    }
    {
        KeyedArchiver coder;
        const Ref root = coder.encodeObject(kSongClasses, {{"$class", KeyedArchiver::nil}});
        EXPECT_TRUE(coder.finish(root).isEmpty());
    }
    {
        KeyedArchiver coder;
        const Ref root = coder.encodeObject({}, {});
        EXPECT_TRUE(coder.finish(root).isEmpty());
    }
    {
        KeyedArchiver coder;
        EXPECT_TRUE(coder.finish(5).isEmpty());
    }
}

TEST(KeyedArchive, WideCountsReferencesAndTextRoundTrip)
{
    // Over 65,536 objects (3-byte references), strings and data past every
    // length-marker boundary, ASCII and UTF-16 text.
    KeyedArchiver coder;
    std::vector<QString> texts;
    std::vector<Ref> elements;
    for (int i = 0; i < 70000; ++i) {
        texts.push_back(QString::number(i));
        elements.push_back(coder.encodeString(texts.back()));
    }
    for (int n : {0, 1, 14, 15, 16, 255, 256, 65535, 65536, 70001}) {
        texts.push_back(QString(n, QLatin1Char('a')));
        elements.push_back(coder.encodeString(texts.back()));
        texts.push_back(QString(n, QChar(0x263A)) + QStringLiteral("🎵"));
        elements.push_back(coder.encodeString(texts.back()));
    }
    std::vector<QByteArray> blobs;
    std::vector<Ref> blobRefs;
    for (int n : {0, 3, 15, 300, 70000}) {
        blobs.push_back(QByteArray(n, '\0') + QByteArray::number(n));
        blobRefs.push_back(coder.encodeData(blobs.back()));
    }
    const Ref blobList = coder.encodeArray(blobRefs, KeyedArchiver::ArrayKind::Immutable);
    elements.push_back(blobList);
    const Ref root = coder.encodeArray(elements);
    const QByteArray bytes = coder.finish(root);
    ASSERT_FALSE(bytes.isEmpty());

    // libplist reads it as the same values.
    Parsed p(bytes);
    ASSERT_TRUE(p.objects);
    EXPECT_EQ(p.value(elements[69999]).toString(), QStringLiteral("69999"));
    EXPECT_EQ(p.value(elements.at(elements.size() - 2)).toString(), texts.back());

    KeyedUnarchiver reader(bytes);
    ASSERT_TRUE(reader.isValid());
    const auto refs = reader.decodeArray(reader.topObject().value());
    ASSERT_TRUE(refs);
    ASSERT_EQ(refs->size(), texts.size() + 1);
    for (size_t i = 0; i < texts.size(); ++i)
        ASSERT_EQ(reader.decodeString(refs->at(i)), texts[i]) << i;
    const auto blobsBack = reader.decodeArray(refs->back());
    ASSERT_TRUE(blobsBack);
    ASSERT_EQ(blobsBack->size(), blobs.size());
    for (size_t i = 0; i < blobs.size(); ++i)
        EXPECT_EQ(reader.decodeData(blobsBack->at(i)), blobs[i]);
}

TEST(KeyedUnarchiver, DecodesEachAcceptedForm)
{
    // Built with libplist directly: NSMutableString / NSMutableData objects, an
    // NSArray, and a keyed object with a missing and an inline (non-reference) key.
    PlistPtr archive(plist_new_dict());
    plist_dict_set_item(archive.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(archive.get(), "$version", plist_new_uint(100000));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(top, "other", plist_new_uid(8));
    plist_dict_set_item(archive.get(), "$top", top);
    plist_t objects = plist_new_array();
    auto add = [&](plist_t node) { plist_array_append_item(objects, node); };
    auto classDict = [](std::initializer_list<const char *> names) {
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$classname", plist_new_string(*names.begin()));
        plist_t chain = plist_new_array();
        for (const char *n : names)
            plist_array_append_item(chain, plist_new_string(n));
        plist_dict_set_item(dict, "$classes", chain);
        return dict;
    };
    add(plist_new_string("$null"));   // 0
    plist_t array = plist_new_dict(); // 1
    plist_t list = plist_new_array();
    for (uint64_t e : {3, 4, 6})
        plist_array_append_item(list, plist_new_uid(e));
    plist_dict_set_item(array, "NS.objects", list);
    plist_dict_set_item(array, "$class", plist_new_uid(2));
    add(array);
    add(classDict({"NSArray", "NSObject"})); // 2
    plist_t mstring = plist_new_dict();      // 3
    plist_dict_set_item(mstring, "NS.string", plist_new_string("mutable ✓"));
    plist_dict_set_item(mstring, "$class", plist_new_uid(5));
    add(mstring);
    plist_t mdata = plist_new_dict(); // 4
    plist_dict_set_item(mdata, "NS.data", plist_new_data("\0\1", 2));
    plist_dict_set_item(mdata, "$class", plist_new_uid(7));
    add(mdata);
    add(classDict({"NSMutableString", "NSString", "NSObject"})); // 5
    plist_t song = plist_new_dict();                             // 6
    plist_dict_set_item(song, "name", plist_new_uid(3));
    plist_dict_set_item(song, "blob", plist_new_uid(4));
    plist_dict_set_item(song, "tags", plist_new_string("inline"));
    plist_dict_set_item(song, "far", plist_new_uid(1000));
    plist_dict_set_item(song, "$class", plist_new_uid(8));
    add(song);
    add(classDict({"NSMutableData", "NSData", "NSObject"})); // 7
    add(classDict({"Song", "NSObject"}));                    // 8
    plist_dict_set_item(archive.get(), "$objects", objects);

    for (bool xml : {false, true}) {
        SCOPED_TRACE(xml ? "xml" : "binary");
        KeyedUnarchiver coder(xml ? PropertyList::toXml(archive.get())
                                  : PropertyList::toBinary(archive.get()));
        ASSERT_TRUE(coder.isValid());
        EXPECT_EQ(coder.objectCount(), 9u);
        EXPECT_EQ(coder.topObject(), Ref(1));
        EXPECT_EQ(coder.topObject("other"), Ref(8));
        EXPECT_FALSE(coder.topObject("missing"));
        EXPECT_EQ(coder.decodeArray(1), (std::vector<Ref>{3, 4, 6}));
        EXPECT_EQ(coder.decodeString(3), QStringLiteral("mutable ✓"));
        EXPECT_EQ(coder.decodeString(0), std::nullopt);
        EXPECT_EQ(coder.decodeData(4), QByteArray("\0\1", 2));
        // Wrong kinds.
        EXPECT_FALSE(coder.decodeString(4));
        EXPECT_FALSE(coder.decodeData(3));
        EXPECT_FALSE(coder.decodeArray(3));
        EXPECT_FALSE(coder.decodeArray(6));
        EXPECT_FALSE(coder.decodeObject(5)); // a class dictionary is not an object
        EXPECT_FALSE(coder.decodeString(99));

        const auto object = coder.decodeObject(6);
        ASSERT_TRUE(object);
        EXPECT_EQ(object->className(), QStringLiteral("Song"));
        EXPECT_TRUE(object->classInfo().isKindOf(QStringLiteral("NSObject")));
        EXPECT_EQ(object->decodeStringForKey("name"), QStringLiteral("mutable ✓"));
        EXPECT_EQ(object->decodeDataForKey("blob"), QByteArray("\0\1", 2));
        EXPECT_TRUE(object->containsKey("tags"));
        EXPECT_FALSE(object->decodeStringForKey("tags")); // inline, not a reference
        EXPECT_FALSE(object->refForKey("far"));           // out of range
        EXPECT_FALSE(object->containsKey("missing"));
        EXPECT_FALSE(object->decodeStringForKey("missing"));
        EXPECT_EQ(object->refForKey("$class"), Ref(8));
    }
}

TEST(KeyedUnarchiver, RejectsPropertyListsThatAreNotKeyedArchives)
{
    auto archiveWith = [](auto edit) {
        KeyedArchiver coder;
        const QByteArray good = coder.finish(coder.encodeString(QStringLiteral("x")));
        PlistPtr plist = PropertyList::parse(good);
        edit(plist.get());
        return KeyedUnarchiver(PropertyList::toBinary(plist.get())).isValid();
    };
    EXPECT_TRUE(archiveWith([](plist_t) {}));
    EXPECT_FALSE(archiveWith([](plist_t p) { plist_dict_remove_item(p, "$objects"); }));
    EXPECT_FALSE(archiveWith([](plist_t p) { plist_dict_remove_item(p, "$top"); }));
    EXPECT_FALSE(archiveWith([](plist_t p) { plist_dict_remove_item(p, "$archiver"); }));
    EXPECT_FALSE(
        archiveWith([](plist_t p) { plist_dict_set_item(p, "$archiver", plist_new_uint(1)); }));
    EXPECT_FALSE(
        archiveWith([](plist_t p) { plist_dict_set_item(p, "$objects", plist_new_string("x")); }));
    EXPECT_FALSE(archiveWith([](plist_t p) { plist_dict_set_item(p, "$top", plist_new_array()); }));

    EXPECT_FALSE(KeyedUnarchiver(QByteArray()).isValid());
    PlistPtr notADict(plist_new_array());
    KeyedUnarchiver array(PropertyList::toBinary(notADict.get()));
    EXPECT_FALSE(array.isValid());
    EXPECT_FALSE(array.topObject());
    EXPECT_FALSE(array.decodeString(1));
    EXPECT_EQ(array.objectCount(), 0u);
}

TEST(KeyedUnarchiver, HostileNestingSharingAndCyclesAreHarmless)
{
    // Binary archives are read lazily and never recursively: a deep chain, a
    // 2^64-node expansion and a self-containing array are just objects of the
    // wrong kind, answered quickly.
    QElapsedTimer timer;
    timer.start();
    const std::vector<QByteArray> hostile{
        nestedBinary(200000), doublingBinary(64),
        archiveAround({QByteArray(1, char(0xA1)) + ref4(8)}),
        archiveAround({QByteArray(1, char(0xA1)) + ref4(500)}),
        // Counts that run past the end of the object area (and of the file).
        archiveAround({QByteArray(1, char(0xAF)) + char(0x13) + QByteArray(8, char(0x7F))}),
        archiveAround({QByteArray("\x4F\x11\x03\xE8", 4)}), // data
        archiveAround({QByteArray("\x5F\x11\x03\xE8", 4)}), // ASCII string
        archiveAround({QByteArray("\x6F\x11\x03\xE8", 4)}), // UTF-16 string
    };
    for (const QByteArray& bytes : hostile) {
        KeyedUnarchiver coder(bytes);
        EXPECT_TRUE(coder.isValid());
        EXPECT_FALSE(coder.decodeArray(1));
        EXPECT_FALSE(coder.decodeObject(1));
        EXPECT_FALSE(coder.decodeString(1));
        EXPECT_FALSE(coder.decodeData(1));
        touchEverything(coder);
    }
    // An "$objects" entry past the object table makes the archive unreadable.
    EXPECT_FALSE(KeyedUnarchiver(archiveAround({ascii("x")}, 500)).isValid());
    EXPECT_TRUE(KeyedUnarchiver(archiveAround({ascii("x")}, 8)).isValid());
    // An "$objects" count that runs past the end of the file.
    const QByteArray longCount = QByteArray("\xAF\x11\x03\xE8", 4) + ref4(7) + ref4(8);
    EXPECT_FALSE(KeyedUnarchiver(archiveAround({ascii("x")}, 8, longCount)).isValid());

    // XML is parsed by a recursive parser: nesting past any keyed archive's is
    // refused before parsing, while the same shape at a sane depth is read.
    EXPECT_TRUE(KeyedUnarchiver(nestedXml(20)).isValid());
    EXPECT_FALSE(KeyedUnarchiver(nestedXml(200000)).isValid());
    EXPECT_LT(timer.elapsed(), 5000);

    // Container tags inside comments and CDATA are not nesting.
    QByteArray comment = "<!-- ";
    for (int i = 0; i < 100; ++i)
        comment += "<array>";
    comment += " --><string><![CDATA[<dict><dict><dict>]]></string>";
    EXPECT_TRUE(KeyedUnarchiver(nestedXml(3, comment)).isValid());
}

TEST(KeyedUnarchiver, DamagedAndTruncatedArchivesNeverCrash)
{
    KeyedArchiver coder;
    const Ref root = coder.reserve();
    std::vector<Ref> songs;
    for (int i = 0; i < 4; ++i) {
        const Ref name = coder.encodeString(QStringLiteral("Sång %1").arg(i % 2));
        const Ref blob = coder.encodeData(QByteArray(i, '\0'));
        songs.push_back(coder.encodeObject(kSongClasses, {{"name", name}, {"blob", blob}}));
    }
    coder.encodeArray(songs, KeyedArchiver::ArrayKind::Mutable, root);
    const QByteArray binary = coder.finish(root);
    const QByteArray xml = PropertyList::toXml(PropertyList::parse(binary).get());
    ASSERT_TRUE(KeyedUnarchiver(xml).isValid());

    for (const QByteArray& good : {binary, xml}) {
        for (qsizetype n = 0; n < good.size(); n += (good == xml ? 5 : 1))
            touchEverything(KeyedUnarchiver(good.left(n)));
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i) {
            QByteArray damaged = good;
            for (int k = random.bounded(1, 4); k > 0; --k)
                damaged[random.bounded(damaged.size())] = char(random.bounded(256));
            touchEverything(KeyedUnarchiver(damaged));
        }
    }
}
