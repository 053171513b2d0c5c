#include "platform/KeyedArchiver.h"

#include <algorithm>
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
        a.m_stringRefs = {};
        a.m_stringIndex = {};
        a.m_dataRefs = {};
        a.m_classRefs = {};
        m_root = root;
        // Distinct UID values, numbered in first-use order.
        m_uidIndex.assign(a.m_objects.size(), kNone);
        uint64_t next = kStringBase + a.m_stringTable.size();
        m_uidBase = next;
        inUseOrder([&](Ref ref) {
            if (m_uidIndex[ref] == kNone)
                m_uidIndex[ref] = uint32_t(next++);
        });
        m_versionIndex = next++;
        m_topIndex = next++;
        m_objectsIndex = next++;
        m_entriesBase = next;
        for (const Entry& entry : a.m_objects)
            if (entryObject(entry, &next) == kUnfilled)
                return {};
        m_count = next;
        if (m_count > std::numeric_limits<uint32_t>::max())
            return {};
        // Other readers require count < 2^(8 x width), not just a width that holds
        // the highest index: 256 objects need two-byte references.
        m_refSize = widthFor(m_count);

        // Twice: first counting the bytes only, so that the output is taken once at
        // its size and each offset goes straight into the table at its end.
        m_measuring = true;
        m_at = 8; // "bplist00"
        if (!objects() || m_begun != m_count)
            return {};
        const uint64_t tableOffset = m_at;
        m_offsetSize = widthFor(tableOffset);
        m_tableAt = tableOffset;
        const uint64_t size = tableOffset + m_count * m_offsetSize + 32;
        if (size > uint64_t(std::numeric_limits<qsizetype>::max()))
            return {};
        m_out = QByteArray(qsizetype(size), Qt::Uninitialized);
        m_measuring = false;
        m_at = 0;
        put("bplist00", 8);
        objects();
        // Trailer: 5 unused bytes, sort version, offset width, reference width,
        // object count, top object, offset-table position.
        m_at = tableOffset + m_count * m_offsetSize;
        put("\0\0\0\0\0\0", 6);
        const char widths[] = {char(m_offsetSize), char(m_refSize)};
        put(widths, 2);
        bigEndian(m_count, 8);
        bigEndian(0, 8);
        bigEndian(tableOffset, 8);
        return std::move(m_out);
    }

private:
    static constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();
    static constexpr uint64_t kUnfilled = std::numeric_limits<uint64_t>::max();
    static constexpr uint64_t kStringBase = 1;

    // Calls use for every reference in first-use order (repeats included).
    template <typename Use> void inUseOrder(const Use& use) const
    {
        use(m_root);
        for (uint32_t value : m_a.m_values)
            use(value);
        for (const Entry& entry : m_a.m_objects)
            if (entry.kind == Kind::Object && entry.hasList)
                for (uint32_t i = 0; i < m_a.m_ranges[entry.value].count; ++i)
                    use(m_a.m_lists[m_a.m_ranges[entry.value].begin + i]);
    }

    // The object of an entry (a string's is its table's; the others follow in
    // entry order from *next, which it advances); kUnfilled for a reserved one.
    static uint64_t entryObject(const Entry& entry, uint64_t *next)
    {
        const uint64_t object = *next;
        switch (entry.kind) {
        case Kind::String:
            return kStringBase + entry.value;
        case Kind::Data:
            *next += 1;
            return object;
        case Kind::Object:
            *next += entry.hasList ? 2 : 1;
            return object;
        case Kind::Class:
            *next += 2;
            return object;
        case Kind::Unfilled:
            break;
        }
        return kUnfilled;
    }

    uint64_t key(const char *text) const { return kStringBase + m_a.m_keyIds.value(text); }

    // Every object, in number order. The second pass lets go of the string table
    // once the strings are written.
    bool objects()
    {
        KeyedArchiver& a = m_a;
        // 0: the archive dictionary, keys in the platform's order.
        begin(0);
        marker(0xD, 4);
        ref(key("$version"));
        ref(key("$archiver"));
        ref(key("$top"));
        ref(key("$objects"));
        ref(m_versionIndex);
        ref(key("NSKeyedArchiver"));
        ref(m_topIndex);
        ref(m_objectsIndex);

        for (size_t i = 0; i < a.m_stringTable.size(); ++i) {
            begin(kStringBase + i);
            string(a.m_stringTable[i]);
        }
        if (!m_measuring)
            a.m_stringTable = {};
        // The UID objects in number order: the first use of each, again.
        uint64_t uid = m_uidBase;
        inUseOrder([&](Ref ref) {
            if (m_uidIndex[ref] != uid)
                return;
            begin(uid++);
            const unsigned size = sizeFor(ref);
            const char uidMarker = char(0x80 | (size - 1));
            put(&uidMarker, 1);
            bigEndian(ref, size);
        });
        if (uid != m_versionIndex)
            return false;

        begin(m_versionIndex);
        const char integerMarker = char(0x10 | 2);
        put(&integerMarker, 1);
        bigEndian(kArchiveVersion, 4);

        begin(m_topIndex);
        marker(0xD, 1);
        ref(key("root"));
        ref(m_uidIndex[m_root]);

        begin(m_objectsIndex);
        marker(0xA, a.m_objects.size());
        uint64_t next = m_entriesBase;
        for (const Entry& entry : a.m_objects)
            ref(entryObject(entry, &next));

        const uint64_t classKey = key("$class");
        next = m_entriesBase;
        for (const Entry& entry : a.m_objects) {
            const uint64_t object = entryObject(entry, &next);
            switch (entry.kind) {
            case Kind::Data: {
                const QByteArray& bytes = a.m_data[entry.value];
                begin(object);
                marker(0x4, uint64_t(bytes.size()));
                put(bytes.constData(), size_t(bytes.size()));
                break;
            }
            case Kind::Object: {
                const uint32_t *values = a.m_values.data() + entry.begin;
                begin(object);
                if (entry.hasList) { // "NS.objects" and "$class", then the list
                    const Range& list = a.m_ranges[entry.value];
                    marker(0xD, 2);
                    ref(key("NS.objects"));
                    ref(classKey);
                    ref(object + 1);
                    ref(m_uidIndex[values[0]]);
                    begin(object + 1);
                    marker(0xA, list.count);
                    for (uint32_t e = 0; e < list.count; ++e)
                        ref(m_uidIndex[a.m_lists[list.begin + e]]);
                    break;
                }
                const Range& layout = a.m_layouts[entry.value];
                const uint32_t *keys = a.m_layoutKeys.data() + layout.begin;
                marker(0xD, layout.count);
                for (uint32_t f = 0; f < layout.count; ++f)
                    ref(kStringBase + keys[f]);
                for (uint32_t f = 0; f < layout.count; ++f)
                    ref(m_uidIndex[values[f]]);
                break;
            }
            case Kind::Class: {
                const Range& chain = a.m_ranges[entry.begin];
                begin(object);
                marker(0xD, 2);
                ref(key("$classname"));
                ref(key("$classes"));
                ref(kStringBase + entry.value);
                ref(object + 1);
                begin(object + 1);
                marker(0xA, chain.count);
                for (uint32_t e = 0; e < chain.count; ++e)
                    ref(kStringBase + a.m_lists[chain.begin + e]);
                break;
            }
            case Kind::String:
            case Kind::Unfilled:
                break;
            }
        }
        return true;
    }

    // Objects come in number order: the first pass checks it, the second writes
    // each one's offset into the table.
    void begin(uint64_t index)
    {
        if (m_measuring) {
            if (index != m_begun || index >= m_count)
                m_begun = kUnfilled; // write() fails
            else
                ++m_begun;
            return;
        }
        const uint64_t at = m_at;
        m_at = m_tableAt + index * m_offsetSize;
        bigEndian(at, m_offsetSize);
        m_at = at;
    }

    void put(const char *bytes, size_t n)
    {
        if (!m_measuring)
            std::memcpy(m_out.data() + m_at, bytes, n);
        m_at += n;
    }

    void bigEndian(uint64_t value, unsigned size)
    {
        char bytes[8];
        for (unsigned i = 0; i < size; ++i)
            bytes[i] = char(value >> (8 * (size - 1 - i)));
        put(bytes, size);
    }

    void marker(unsigned type, uint64_t count)
    {
        if (count < 15) {
            const char single = char((type << 4) | count);
            put(&single, 1);
            return;
        }
        const unsigned size = sizeFor(count);
        const char two[] = {char((type << 4) | 0xF), char(0x10 | (size == 1   ? 0
                                                                  : size == 2 ? 1
                                                                  : size == 4 ? 2
                                                                              : 3))};
        put(two, 2);
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
        marker(ascii ? 0x5 : 0x6, uint64_t(n));
        const uint64_t bytes = uint64_t(ascii ? n : 2 * n);
        if (!m_measuring) {
            char *dst = m_out.data() + m_at;
            for (qsizetype i = 0; i < n; ++i) {
                if (ascii) {
                    dst[i] = char(units[i]);
                } else {
                    dst[2 * i] = char(units[i] >> 8);
                    dst[2 * i + 1] = char(units[i] & 0xFF);
                }
            }
        }
        m_at += bytes;
    }

    KeyedArchiver& m_a;
    Ref m_root = nil;
    // Object numbers fit 32 bits (write() refuses larger archives).
    std::vector<uint32_t> m_uidIndex; // reference value -> its UID object
    uint64_t m_uidBase = 0;
    uint64_t m_versionIndex = 0;
    uint64_t m_topIndex = 0;
    uint64_t m_objectsIndex = 0;
    uint64_t m_entriesBase = 0;
    uint64_t m_count = 0;
    unsigned m_refSize = 1;
    unsigned m_offsetSize = 1;
    bool m_measuring = true; // the first pass: m_at counts, nothing is written
    uint64_t m_begun = 0;    // objects begun in the first pass (kUnfilled: out of order)
    uint64_t m_at = 0;       // where the next byte goes
    uint64_t m_tableAt = 0;  // where the offset table starts
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
    m_values = {};
    m_layouts = {};
    m_layoutKeys = {};
    m_layoutIds = {};
    m_lastLayout = kNoRef;
    m_keyScratch = {};
    m_ranges = {};
    m_lists = {};
    m_data = {};
    m_stringTable = {};
    m_stringRefs = {};
    m_stringIndex = {};
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

void KeyedArchiver::expect(size_t objects, size_t fields, size_t strings)
{
    m_objects.reserve(m_objects.size() + objects);
    m_values.reserve(m_values.size() + fields);
    m_stringTable.reserve(m_stringTable.size() + strings);
    m_stringRefs.reserve(m_stringRefs.size() + strings);
    growStringIndex(2 * (m_stringTable.size() + strings));
}

void KeyedArchiver::growStringIndex(size_t size)
{
    size_t slots = 64;
    while (slots < size)
        slots *= 2;
    if (slots <= m_stringIndex.size())
        return;
    std::vector<uint32_t> index(slots, kNoRef);
    for (uint32_t id = 0; id < m_stringTable.size(); ++id) {
        size_t slot = qHash(m_stringTable[id]) & (slots - 1);
        while (index[slot] != kNoRef)
            slot = (slot + 1) & (slots - 1);
        index[slot] = id;
    }
    m_stringIndex = std::move(index);
}

uint32_t KeyedArchiver::stringId(const QString& text)
{
    if (2 * (m_stringTable.size() + 1) > m_stringIndex.size())
        growStringIndex(2 * (m_stringTable.size() + 1));
    const size_t mask = m_stringIndex.size() - 1;
    for (size_t slot = qHash(text) & mask;; slot = (slot + 1) & mask) {
        uint32_t& id = m_stringIndex[slot];
        if (id == kNoRef) {
            id = uint32_t(m_stringTable.size());
            m_stringTable.push_back(text);
            m_stringRefs.push_back(kNoRef);
            return id;
        }
        if (m_stringTable[id] == text)
            return id;
    }
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
    const uint32_t id = stringId(text);
    if (m_stringRefs[id] != kNoRef)
        return m_stringRefs[id];
    Entry entry;
    entry.kind = Kind::String;
    entry.value = id;
    const size_t before = m_objects.size();
    const Ref ref = append(entry); // "$null", the first of all, takes index 0 = nil
    if (m_objects.size() > before)
        m_stringRefs[id] = uint32_t(ref);
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
    entry.begin = uint32_t(m_ranges.size());
    m_ranges.push_back(Range{uint32_t(m_lists.size()), uint32_t(classes.size())});
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
    entry.value = uint32_t(m_ranges.size());
    m_ranges.push_back(Range{uint32_t(m_lists.size()), uint32_t(elements.size())});
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
    m_objects[ref].begin = uint32_t(m_values.size());
    m_values.push_back(uint32_t(cls));
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
    // Keys are interned in field order, then the class names, as the writer's
    // string numbering expects.
    m_keyScratch.clear();
    for (size_t i = 0; i < count; ++i) {
        if (!fields[i].key || fields[i].key[0] == '$' || fields[i].key[0] == '\0')
            m_failed = true;
        checkRef(fields[i].value);
        m_keyScratch.push_back(fields[i].key ? keyId(fields[i].key) : 0);
    }
    const Ref cls = classRef(classes);
    m_keyScratch.push_back(keyId("$class"));
    m_objects[ref].value = layoutOf(m_keyScratch);
    m_objects[ref].begin = uint32_t(m_values.size());
    for (size_t i = 0; i < count; ++i)
        m_values.push_back(uint32_t(fields[i].value));
    m_values.push_back(uint32_t(cls));
    return ref;
}

uint32_t KeyedArchiver::layoutOf(const std::vector<uint32_t>& keys)
{
    const auto same = [&](uint32_t layout) {
        const Range& range = m_layouts[layout];
        return range.count == keys.size() &&
               std::equal(keys.begin(), keys.end(), m_layoutKeys.begin() + range.begin);
    };
    if (m_lastLayout != kNoRef && same(m_lastLayout))
        return m_lastLayout;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(keys.data()),
                                                     qsizetype(keys.size() * sizeof(uint32_t)));
    if (const auto it = m_layoutIds.constFind(bytes); it != m_layoutIds.cend()) {
        m_lastLayout = *it;
        return m_lastLayout;
    }
    m_lastLayout = uint32_t(m_layouts.size());
    m_layouts.push_back(Range{uint32_t(m_layoutKeys.size()), uint32_t(keys.size())});
    m_layoutKeys.insert(m_layoutKeys.end(), keys.begin(), keys.end());
    m_layoutIds.insert(QByteArray(bytes.constData(), bytes.size()), m_lastLayout);
    return m_lastLayout;
}

QByteArray KeyedArchiver::finish(Ref root)
{
    QByteArray bytes;
    if (!m_failed && m_unfilled == 0 && root < m_objects.size())
        bytes = Writer(*this).write(root);
    reset();
    return bytes;
}
