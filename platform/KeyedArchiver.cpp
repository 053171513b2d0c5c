#include "platform/KeyedArchiver.h"

#include <cstring>
#include <limits>

namespace {

constexpr uint64_t kArchiveVersion = 100000;

// Bytes needed for an unsigned value: 1, 2, 4 or 8 (the sizes readers accept for
// integers and UIDs).
unsigned sizeFor(uint64_t value)
{
    if (value <= 0xFF)
        return 1;
    if (value <= 0xFFFF)
        return 2;
    if (value <= 0xFFFFFFFFu)
        return 4;
    return 8;
}

// Smallest width that holds value, 1 to 8 bytes (offsets and object references).
unsigned widthFor(uint64_t value)
{
    unsigned n = 1;
    while (n < 8 && (value >> (8 * n)) != 0)
        ++n;
    return n;
}

} // namespace

// Serialises the graph as "bplist00". Property-list objects are numbered first
// (the reference width depends on their count), then written in number order:
//   0                 the archive dictionary
//   1 .. S            every distinct string (keys, values, class names)
//   then              one UID object per distinct reference value, the
//                     "$version" integer, the "$top" dictionary, the "$objects"
//                     array, and per entry: data; object dictionary (+ its
//                     "NS.objects" array); class dictionary + "$classes" array.
class KeyedArchiver::Writer {
public:
    // Releases a's tables as soon as they are written: the peak of a large archive
    // is its last bytes, with the tables still needed.
    explicit Writer(KeyedArchiver& a) : m_a(a) {}

    QByteArray write(Ref root)
    {
        KeyedArchiver& a = m_a;
        // Only the encoding looks values up.
        a.m_strings = {};
        a.m_dataRefs = {};
        a.m_classRefs = {};
        const uint64_t stringBase = 1;
        // Distinct UID values, numbered in first-use order.
        m_uidIndex.assign(a.m_objects.size(), kNone);
        uint64_t next = stringBase + a.m_stringTable.size();
        auto useUid = [&](Ref ref) {
            if (m_uidIndex[ref] == kNone)
                m_uidIndex[ref] = uint32_t(next++);
        };
        useUid(root);
        for (const StoredField& field : a.m_fields)
            useUid(field.value);
        for (const Entry& entry : a.m_objects)
            if (entry.kind == Kind::Object && entry.hasList)
                for (uint32_t i = 0; i < entry.listCount; ++i)
                    useUid(a.m_lists[entry.listBegin + i]);
        const uint64_t versionIndex = next++;
        const uint64_t topIndex = next++;
        const uint64_t objectsIndex = next++;
        // The entries' objects follow in entry order; a string's is its table's.
        const uint64_t entriesBase = next;
        auto entryObject = [&](const Entry& entry, uint64_t *nextObject) {
            const uint64_t object = *nextObject;
            switch (entry.kind) {
            case Kind::String:
                return stringBase + entry.value;
            case Kind::Data:
                *nextObject += 1;
                return object;
            case Kind::Object:
                *nextObject += entry.hasList ? 2 : 1;
                return object;
            case Kind::Class:
                *nextObject += 2;
                return object;
            case Kind::Unfilled:
                break;
            }
            return kUnfilled;
        };
        for (const Entry& entry : a.m_objects)
            if (entryObject(entry, &next) == kUnfilled)
                return {};
        const uint64_t count = next;
        if (count > std::numeric_limits<uint32_t>::max())
            return {};
        // Other readers require count < 2^(8 x width), not just a width that holds
        // the highest index: 256 objects need two-byte references.
        m_refSize = widthFor(count);
        m_offsets.reserve(count);
        m_out.reserve(qsizetype(estimateSize(count)));
        m_out.append("bplist00", 8);

        // 0: the archive dictionary, keys in the platform's order.
        begin(0);
        marker(0xD, 4);
        ref(stringBase + a.m_keyIds.value("$version"));
        ref(stringBase + a.m_keyIds.value("$archiver"));
        ref(stringBase + a.m_keyIds.value("$top"));
        ref(stringBase + a.m_keyIds.value("$objects"));
        ref(versionIndex);
        ref(stringBase + a.m_keyIds.value("NSKeyedArchiver"));
        ref(topIndex);
        ref(objectsIndex);

        for (size_t i = 0; i < a.m_stringTable.size(); ++i) {
            begin(stringBase + i);
            string(a.m_stringTable[i]);
        }
        const uint64_t uidBase = stringBase + a.m_stringTable.size();
        a.m_stringTable = {};
        {
            std::vector<uint32_t> uidValues(versionIndex - uidBase, 0);
            for (size_t value = 0; value < m_uidIndex.size(); ++value)
                if (m_uidIndex[value] != kNone)
                    uidValues[m_uidIndex[value] - uidBase] = uint32_t(value);
            for (uint64_t i = 0; i < uidValues.size(); ++i) {
                begin(uidBase + i);
                const unsigned size = sizeFor(uidValues[i]);
                m_out.append(char(0x80 | (size - 1)));
                bigEndian(uidValues[i], size);
            }
        }

        begin(versionIndex);
        m_out.append(char(0x10 | 2));
        bigEndian(kArchiveVersion, 4);

        begin(topIndex);
        marker(0xD, 1);
        ref(stringBase + a.m_keyIds.value("root"));
        ref(m_uidIndex[root]);

        begin(objectsIndex);
        marker(0xA, a.m_objects.size());
        next = entriesBase;
        for (const Entry& entry : a.m_objects)
            ref(entryObject(entry, &next));

        const uint32_t classKey = a.m_keyIds.value("$class");
        const uint32_t listKey = a.m_keyIds.value("NS.objects");
        next = entriesBase;
        for (const Entry& entry : a.m_objects) {
            const uint64_t object = entryObject(entry, &next);
            switch (entry.kind) {
            case Kind::Data: {
                const QByteArray& bytes = a.m_data[entry.value];
                begin(object);
                marker(0x4, uint64_t(bytes.size()));
                m_out.append(bytes);
                break;
            }
            case Kind::Object: {
                // Stored fields end with "$class"; the list goes just before it.
                const uint64_t n = entry.fieldCount + (entry.hasList ? 1 : 0);
                begin(object);
                marker(0xD, n);
                const StoredField *fields = a.m_fields.data() + entry.fieldsBegin;
                for (uint32_t f = 0; f + 1 < entry.fieldCount; ++f)
                    ref(stringBase + fields[f].key);
                if (entry.hasList)
                    ref(stringBase + listKey);
                ref(stringBase + classKey);
                for (uint32_t f = 0; f + 1 < entry.fieldCount; ++f)
                    ref(m_uidIndex[fields[f].value]);
                if (entry.hasList)
                    ref(object + 1);
                ref(m_uidIndex[fields[entry.fieldCount - 1].value]);
                if (entry.hasList) {
                    begin(object + 1);
                    marker(0xA, entry.listCount);
                    for (uint32_t e = 0; e < entry.listCount; ++e)
                        ref(m_uidIndex[a.m_lists[entry.listBegin + e]]);
                }
                break;
            }
            case Kind::Class:
                begin(object);
                marker(0xD, 2);
                ref(stringBase + a.m_keyIds.value("$classname"));
                ref(stringBase + a.m_keyIds.value("$classes"));
                ref(stringBase + entry.value);
                ref(object + 1);
                begin(object + 1);
                marker(0xA, entry.listCount);
                for (uint32_t e = 0; e < entry.listCount; ++e)
                    ref(stringBase + a.m_lists[entry.listBegin + e]);
                break;
            case Kind::String:
            case Kind::Unfilled:
                break;
            }
        }
        const uint64_t tableOffset = uint64_t(m_out.size());
        if (m_offsets.size() != count || tableOffset > std::numeric_limits<uint32_t>::max())
            return {};
        const unsigned offsetSize = widthFor(tableOffset);
        for (uint32_t offset : m_offsets)
            bigEndian(offset, offsetSize);
        // Trailer: 5 unused bytes, sort version, offset width, reference width,
        // object count, top object, offset-table position.
        m_out.append(6, '\0');
        m_out.append(char(offsetSize));
        m_out.append(char(m_refSize));
        bigEndian(count, 8);
        bigEndian(0, 8);
        bigEndian(tableOffset, 8);
        return m_out;
    }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    static constexpr uint64_t kUnfilled = std::numeric_limits<uint64_t>::max();

    uint64_t estimateSize(uint64_t count) const
    {
        uint64_t size = 64 + count * (9 + 2 * m_refSize);
        for (const QString& s : m_a.m_stringTable)
            size += uint64_t(s.size()) * 2;
        for (const QByteArray& d : m_a.m_data)
            size += uint64_t(d.size());
        return size + m_a.m_fields.size() * 2 * m_refSize + m_a.m_lists.size() * m_refSize;
    }

    // Objects are written in number order, so the next offset is always object
    // index's own.
    void begin(uint64_t index)
    {
        Q_ASSERT(m_offsets.size() == index);
        Q_UNUSED(index);
        m_offsets.push_back(uint32_t(m_out.size())); // checked when the table is written
    }

    void bigEndian(uint64_t value, unsigned size)
    {
        char bytes[8];
        for (unsigned i = 0; i < size; ++i)
            bytes[i] = char(value >> (8 * (size - 1 - i)));
        m_out.append(bytes, size);
    }

    void marker(unsigned type, uint64_t count)
    {
        if (count < 15) {
            m_out.append(char((type << 4) | count));
            return;
        }
        m_out.append(char((type << 4) | 0xF));
        const unsigned size = sizeFor(count);
        m_out.append(char(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)));
        bigEndian(count, size);
    }

    void ref(uint64_t index) { bigEndian(index, m_refSize); }

    // ASCII text as bytes, anything else as UTF-16 big-endian, as the platform does.
    void string(const QString& text)
    {
        const auto *units = text.utf16();
        const qsizetype n = text.size();
        bool ascii = true;
        for (qsizetype i = 0; i < n && ascii; ++i)
            ascii = units[i] < 0x80;
        if (ascii) {
            marker(0x5, uint64_t(n));
            const qsizetype at = m_out.size();
            m_out.resize(at + n);
            char *dst = m_out.data() + at;
            for (qsizetype i = 0; i < n; ++i)
                dst[i] = char(units[i]);
            return;
        }
        marker(0x6, uint64_t(n));
        const qsizetype at = m_out.size();
        m_out.resize(at + 2 * n);
        char *dst = m_out.data() + at;
        for (qsizetype i = 0; i < n; ++i) {
            dst[2 * i] = char(units[i] >> 8);
            dst[2 * i + 1] = char(units[i] & 0xFF);
        }
    }

    KeyedArchiver& m_a;
    // Object numbers and offsets fit 32 bits (write() refuses larger archives).
    std::vector<uint32_t> m_uidIndex; // reference value -> its UID object
    std::vector<uint32_t> m_offsets;
    unsigned m_refSize = 1;
    QByteArray m_out;
};

KeyedArchiver::KeyedArchiver()
{
    reset();
}

KeyedArchiver::~KeyedArchiver() = default;

void KeyedArchiver::reset()
{
    // Assigned, not cleared: the memory of a large archive goes with it.
    m_objects = {};
    m_fields = {};
    m_lists = {};
    m_data = {};
    m_stringTable = {};
    m_strings = {};
    m_keyIds = {};
    m_dataRefs = {};
    m_classRefs = {};
    m_unfilled = 0;
    m_failed = false;
    // The writer looks these up by their key text.
    for (const char *key : {"$version", "$archiver", "$top", "$objects", "root", "$class",
                            "$classname", "$classes", "NS.objects", "NSKeyedArchiver"})
        keyId(key);
    encodeString(QStringLiteral("$null"));
}

void KeyedArchiver::expect(size_t objects, size_t fields)
{
    m_objects.reserve(m_objects.size() + objects);
    m_fields.reserve(m_fields.size() + fields);
    m_stringTable.reserve(m_stringTable.size() + objects);
    m_strings.reserve(qsizetype(m_strings.size() + objects));
}

uint32_t KeyedArchiver::stringId(const QString& text)
{
    auto it = m_strings.constFind(text);
    if (it != m_strings.cend())
        return it->id;
    const auto id = uint32_t(m_stringTable.size());
    m_stringTable.push_back(text);
    m_strings.insert(text, StringSlot{id, kNoRef});
    return id;
}

uint32_t KeyedArchiver::keyId(const char *key)
{
    // fromRawData: the lookup of a known key allocates nothing.
    const QByteArray raw = QByteArray::fromRawData(key, qsizetype(std::strlen(key)));
    auto it = m_keyIds.constFind(raw);
    if (it != m_keyIds.cend())
        return it.value();
    const uint32_t id = stringId(QString::fromUtf8(raw));
    m_keyIds.insert(QByteArray(key), id);
    return id;
}

void KeyedArchiver::checkRef(Ref ref)
{
    if (ref >= m_objects.size())
        m_failed = true;
}

KeyedArchiver::Ref KeyedArchiver::append(const Entry& entry)
{
    if (m_objects.size() >= kNoRef) {
        m_failed = true;
        return nil;
    }
    m_objects.push_back(entry);
    return m_objects.size() - 1;
}

bool KeyedArchiver::place(Ref slot, const Entry& entry, Ref *where)
{
    if (slot == nil) {
        *where = append(entry);
        return *where != nil;
    }
    if (slot >= m_objects.size() || m_objects[slot].kind != Kind::Unfilled) {
        m_failed = true;
        *where = nil;
        return false;
    }
    m_objects[slot] = entry;
    --m_unfilled;
    *where = slot;
    return true;
}

KeyedArchiver::Ref KeyedArchiver::reserve()
{
    ++m_unfilled;
    return append(Entry{});
}

KeyedArchiver::Ref KeyedArchiver::encodeString(const QString& text)
{
    auto it = m_strings.find(text);
    if (it != m_strings.end() && it->ref != kNoRef)
        return it->ref;
    Entry entry;
    entry.kind = Kind::String;
    if (it == m_strings.end()) {
        entry.value = uint32_t(m_stringTable.size());
        m_stringTable.push_back(text);
        it = m_strings.insert(text, StringSlot{entry.value, kNoRef});
    } else {
        entry.value = it->id;
    }
    const size_t before = m_objects.size();
    const Ref ref = append(entry); // "$null", the first of all, takes index 0 = nil
    if (m_objects.size() > before)
        it->ref = uint32_t(ref);
    return ref;
}

KeyedArchiver::Ref KeyedArchiver::encodeString(const std::optional<QString>& text)
{
    return text ? encodeString(*text) : nil;
}

KeyedArchiver::Ref KeyedArchiver::encodeData(const QByteArray& bytes)
{
    auto it = m_dataRefs.constFind(bytes);
    if (it != m_dataRefs.cend())
        return it.value();
    Entry entry;
    entry.kind = Kind::Data;
    entry.value = uint32_t(m_data.size());
    m_data.push_back(bytes);
    const Ref ref = append(entry);
    m_dataRefs.insert(bytes, ref);
    return ref;
}

KeyedArchiver::Ref KeyedArchiver::encodeData(const std::optional<QByteArray>& bytes)
{
    return bytes ? encodeData(*bytes) : nil;
}

KeyedArchiver::Ref KeyedArchiver::classRef(const QStringList& classes)
{
    auto it = m_classRefs.constFind(classes);
    if (it != m_classRefs.cend())
        return it.value();
    Entry entry;
    entry.kind = Kind::Class;
    entry.value = stringId(classes.first());
    entry.listBegin = uint32_t(m_lists.size());
    entry.listCount = uint32_t(classes.size());
    for (const QString& name : classes)
        m_lists.push_back(stringId(name));
    const Ref ref = append(entry);
    m_classRefs.insert(classes, ref);
    return ref;
}

KeyedArchiver::Ref KeyedArchiver::encodeArray(const std::vector<Ref>& elements, ArrayKind kind,
                                              Ref slot)
{
    static const QStringList immutableClasses{QStringLiteral("NSArray"),
                                              QStringLiteral("NSObject")};
    static const QStringList mutableClasses{QStringLiteral("NSMutableArray"),
                                            QStringLiteral("NSArray"), QStringLiteral("NSObject")};
    Entry entry;
    entry.kind = Kind::Object;
    entry.hasList = true;
    entry.listBegin = uint32_t(m_lists.size());
    entry.listCount = uint32_t(elements.size());
    for (Ref element : elements) {
        if (element == nil)
            m_failed = true;
        checkRef(element);
        m_lists.push_back(uint32_t(element));
    }
    Ref ref = nil;
    if (!place(slot, entry, &ref))
        return nil;
    // The class takes its index after the array's, as in the platform's layout.
    const Ref cls = classRef(kind == ArrayKind::Mutable ? mutableClasses : immutableClasses);
    m_objects[ref].fieldsBegin = uint32_t(m_fields.size());
    m_objects[ref].fieldCount = 1;
    m_fields.push_back(StoredField{keyId("$class"), uint32_t(cls)});
    return ref;
}

KeyedArchiver::Ref KeyedArchiver::encodeObject(const QStringList& classes,
                                               std::initializer_list<Field> fields, Ref slot)
{
    return encodeObject(classes, fields.begin(), fields.size(), slot);
}

KeyedArchiver::Ref KeyedArchiver::encodeObject(const QStringList& classes,
                                               const std::vector<Field>& fields, Ref slot)
{
    return encodeObject(classes, fields.data(), fields.size(), slot);
}

KeyedArchiver::Ref KeyedArchiver::encodeObject(const QStringList& classes, const Field *fields,
                                               size_t count, Ref slot)
{
    if (classes.isEmpty()) {
        m_failed = true;
        return nil;
    }
    Entry entry;
    entry.kind = Kind::Object;
    Ref ref = nil;
    if (!place(slot, entry, &ref))
        return nil;
    const auto begin = uint32_t(m_fields.size());
    for (size_t i = 0; i < count; ++i) {
        if (!fields[i].key || fields[i].key[0] == '$' || fields[i].key[0] == '\0')
            m_failed = true;
        checkRef(fields[i].value);
        m_fields.push_back(
            StoredField{fields[i].key ? keyId(fields[i].key) : 0, uint32_t(fields[i].value)});
    }
    const Ref cls = classRef(classes);
    m_fields.push_back(StoredField{keyId("$class"), uint32_t(cls)});
    m_objects[ref].fieldsBegin = begin;
    m_objects[ref].fieldCount = uint32_t(count + 1);
    return ref;
}

QByteArray KeyedArchiver::finish(Ref root)
{
    QByteArray bytes;
    if (!m_failed && m_unfilled == 0 && root < m_objects.size())
        bytes = Writer(*this).write(root);
    reset();
    return bytes;
}
