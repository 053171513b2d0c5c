#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/PropertyList.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace {

using Ref = KeyedArchiver::Ref;

const QStringList kSongClasses{QStringLiteral("Song"), QStringLiteral("NSObject")};

uint64_t uidOf(plist_t node)
{
    uint64_t v = ~uint64_t(0);
    if (node && plist_get_node_type(node) == PLIST_UID)
        plist_get_uid_val(node, &v);
    return v;
}

} // namespace

// Checked with libplist alone: the archive dictionary, UID references, nil as
// UID 0, equal values and class dictionaries written once, the array classes.
TEST(KeyedArchiver, WritesTheKeyedArchiveLayout)
{
    KeyedArchiver coder;
    const Ref root = coder.reserve();
    const Ref name = coder.encodeString(QStringLiteral("shared"));
    EXPECT_EQ(coder.encodeString(QStringLiteral("shared")), name);
    const Ref song1 = coder.encodeObject(kSongClasses, {{"name", name}});
    const Ref song2 = coder.encodeObject(kSongClasses, {{"name", KeyedArchiver::nil}});
    coder.encodeArray({song1, song2}, KeyedArchiver::ArrayKind::Mutable, root);
    PlistPtr plist = PropertyList::parse(coder.finish(root));
    ASSERT_TRUE(plist);

    const QVariantMap top = PropertyList::toVariant(plist.get()).toMap();
    EXPECT_EQ(top.value(QStringLiteral("$archiver")).toString(), QStringLiteral("NSKeyedArchiver"));
    EXPECT_EQ(top.value(QStringLiteral("$version")).toLongLong(), 100000);
    EXPECT_EQ(uidOf(plist_dict_get_item(plist_dict_get_item(plist.get(), "$top"), "root")), 1u);
    plist_t objects = plist_dict_get_item(plist.get(), "$objects");
    auto at = [&](uint64_t i) { return plist_array_get_item(objects, uint32_t(i)); };
    auto classesOf = [&](Ref ref) {
        const plist_t classes = at(uidOf(plist_dict_get_item(at(ref), "$class")));
        return PropertyList::toVariant(classes).toMap().value(QStringLiteral("$classes"));
    };
    EXPECT_EQ(PropertyList::toVariant(at(0)).toString(), QStringLiteral("$null"));
    EXPECT_EQ(uidOf(plist_dict_get_item(at(song1), "name")), name);
    EXPECT_EQ(uidOf(plist_dict_get_item(at(song2), "name")), 0u);
    EXPECT_EQ(uidOf(plist_dict_get_item(at(song2), "$class")),
              uidOf(plist_dict_get_item(at(song1), "$class")));
    EXPECT_EQ(classesOf(song1).toStringList(), kSongClasses);
    EXPECT_EQ(classesOf(root).toStringList().join(QLatin1Char(' ')),
              QStringLiteral("NSMutableArray NSArray NSObject"));
}

// Other readers require objects < 2^(8 x reference width); checked in the trailer
// and by libplist's reader at each width boundary. Strings and data past every
// length-marker boundary, ASCII and UTF-16, read back whole.
TEST(KeyedArchive, ReferenceWidthsAndLengthsEveryReaderAccepts)
{
    QVariantList values; // strings and data
    for (int n : {0, 14, 15, 16, 255, 256, 65536}) {
        values.append(QString(n, QLatin1Char('a')));
        values.append(QString(n, QChar(0x263A)) + QStringLiteral("🎵"));
        values.append(QByteArray(n, '\0') + QByteArray::number(n));
    }
    auto archive = [&](uint64_t padding) {
        KeyedArchiver coder;
        for (uint64_t i = 0; i < padding; ++i) // unreferenced: one object each
            coder.encodeString(QString::number(i));
        std::vector<Ref> elements;
        for (const QVariant& v : values)
            elements.push_back(v.typeId() == QMetaType::QString
                                   ? coder.encodeString(v.toString())
                                   : coder.encodeData(v.toByteArray()));
        return coder.finish(coder.encodeArray(elements));
    };
    auto objectCount = [](const QByteArray& bytes) {
        return qFromBigEndian<quint64>(bytes.constData() + bytes.size() - 24);
    };
    const uint64_t base = objectCount(archive(0));
    for (uint64_t objects : {255u, 256u, 257u, 65535u, 65536u, 65537u}) {
        SCOPED_TRACE(objects);
        const QByteArray bytes = archive(objects - base);
        ASSERT_EQ(objectCount(bytes), objects);
        EXPECT_EQ(int(bytes[bytes.size() - 25]), objects < 256 ? 1 : objects < 65536 ? 2 : 3);
        EXPECT_TRUE(PropertyList::parse(bytes)) << "libplist reads it";

        KeyedUnarchiver reader(bytes);
        const auto refs = reader.decodeArray(reader.topObject().value_or(0));
        ASSERT_TRUE(refs);
        ASSERT_EQ(refs->size(), size_t(values.size()));
        for (qsizetype i = 0; i < values.size(); ++i)
            EXPECT_EQ(values[i].typeId() == QMetaType::QString
                          ? QVariant(reader.decodeString(refs->at(i)).value_or(QString()))
                          : QVariant(reader.decodeData(refs->at(i)).value_or(QByteArray())),
                      values[i])
                << i;
    }
}
