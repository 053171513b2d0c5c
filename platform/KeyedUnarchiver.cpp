// One reader of one format, kept whole (over 600 lines): the object table, the
// key lookups and the value decoders share the reader's state and its checks on
// damaged input, and read best in one place.
#include "platform/KeyedUnarchiver.h"

#include "platform/PropertyList.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace {

// An XML keyed archive nests at most: plist > archive dictionary > "$objects" >
// object dictionary > "NS.objects" > {"CF$UID"}. libplist builds and frees its tree
// recursively, so a crafted file nested hundreds of thousands deep would overflow
// the stack; anything past this bound is refused before parsing.
constexpr int kMaxXmlNesting = 32;

uint64_t readBigEndian(const unsigned char *p, unsigned size)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i)
        v = (v << 8) | p[i];
    return v;
}

} // namespace

// The parsed property list. Nodes are opaque handles, 0 meaning "no node"; every
// accessor accepts any handle and answers Kind::Other / empty for one it cannot
// read.
class KeyedUnarchiver::Source {
public:
    enum class Kind { Other, String, Data, Dict, Array, Uid, Integer };

    virtual ~Source() = default;
    virtual Node root() const = 0;
    virtual Kind kind(Node node) const = 0;
    // The value under key, or 0 when node is not a dictionary or lacks the key.
    virtual Node dictGet(Node node, const char *key) const = 0;
    virtual uint64_t dictSize(Node node) const = 0;
    // The elements, or nullopt when node is not an array (or one is unreadable).
    virtual std::optional<std::vector<Node>> arrayItems(Node node) const = 0;
    // Takes the array node as the "$objects" entries; false when it is not an
    // array or an element is unreadable.
    virtual bool setObjects(Node node) = 0;
    virtual size_t objectCount() const = 0;
    // The node of entry i < objectCount().
    virtual Node object(size_t i) const = 0;
    // The value of a UID or integer node.
    virtual uint64_t integer(Node node) const = 0;
    // Whether node is a UID, and its value: kind() and integer() in one.
    virtual bool uid(Node node, uint64_t *value) const
    {
        if (kind(node) != Kind::Uid)
            return false;
        *value = integer(node);
        return true;
    }
    virtual QString string(Node node) const = 0;
    // The text of a string node; nullopt for other nodes: kind() and string() in one.
    virtual std::optional<QString> plainString(Node node) const
    {
        return kind(node) == Kind::String ? std::optional(string(node)) : std::nullopt;
    }
    virtual bool stringEquals(Node node, const char *text) const = 0;
    virtual QByteArray data(Node node) const = 0;
};

// A binary property list ("bplist00") read in place. A node is an object's index
// plus one. Every object access checks its offset, marker and length against the
// object area, so damaged input yields Kind::Other rather than a stray read.
class KeyedUnarchiver::BinarySource final : public Source {
public:
    static std::unique_ptr<BinarySource> open(const QByteArray& bytes)
    {
        auto source = std::unique_ptr<BinarySource>(new BinarySource(bytes));
        return source->validTrailer() ? std::move(source) : nullptr;
    }

    Node root() const override { return m_top + 1; }

    Kind kind(Node node) const override
    {
        Header h;
        if (!header(node, &h))
            return Kind::Other;
        switch (h.type) {
        case 0x1:
            return Kind::Integer;
        case 0x4:
            return Kind::Data;
        case 0x5:
        case 0x6:
            return Kind::String;
        case 0x8:
            return Kind::Uid;
        case 0xA:
            return Kind::Array;
        case 0xD:
            return Kind::Dict;
        default:
            return Kind::Other;
        }
    }

    Node dictGet(Node node, const char *key) const override
    {
        Header h;
        if (node == m_layoutDict) { // the same object's next key
            h.count = m_layoutKeys.size();
            h.payload = m_layoutPayload;
        } else if (!header(node, &h) || h.type != 0xD) {
            return 0;
        } else {
            bool same = h.count == m_layoutKeys.size();
            for (uint64_t i = 0; i < h.count && same; ++i)
                same = ref(h.payload + i * m_refSize) == m_layoutKeys[i];
            if (!same) {
                m_layoutKeys.resize(h.count);
                for (uint64_t i = 0; i < h.count; ++i)
                    m_layoutKeys[i] = ref(h.payload + i * m_refSize);
                m_layoutFound.clear();
            }
            m_layoutDict = node;
            m_layoutPayload = h.payload;
            m_nextFound = 0;
        }
        const uint64_t i = keyPosition(key);
        if (i == kAbsent)
            return 0;
        const uint64_t valueRef = ref(h.payload + (h.count + i) * m_refSize);
        return valueRef < m_count ? valueRef + 1 : 0;
    }

    uint64_t dictSize(Node node) const override
    {
        Header h;
        return header(node, &h) && h.type == 0xD ? h.count : 0;
    }

    bool setObjects(Node node) override
    {
        Header h;
        if (!header(node, &h) || h.type != 0xA)
            return false;
        for (uint64_t i = 0; i < h.count; ++i)
            if (ref(h.payload + i * m_refSize) >= m_count)
                return false;
        m_objectsAt = h.payload;
        m_objectCount = h.count;
        return true;
    }

    size_t objectCount() const override { return size_t(m_objectCount); }

    Node object(size_t i) const override { return ref(m_objectsAt + i * m_refSize) + 1; }

    std::optional<std::vector<Node>> arrayItems(Node node) const override
    {
        Header h;
        if (!header(node, &h) || h.type != 0xA)
            return std::nullopt;
        std::vector<Node> items;
        items.reserve(h.count);
        for (uint64_t i = 0; i < h.count; ++i) {
            const uint64_t r = ref(h.payload + i * m_refSize);
            if (r >= m_count)
                return std::nullopt;
            items.push_back(r + 1);
        }
        return items;
    }

    uint64_t integer(Node node) const override
    {
        Header h;
        if (!header(node, &h) || (h.type != 0x1 && h.type != 0x8))
            return std::numeric_limits<uint64_t>::max();
        return readBigEndian(m_data + h.payload, unsigned(h.count));
    }

    bool uid(Node node, uint64_t *value) const override
    {
        Header h;
        if (!header(node, &h) || h.type != 0x8)
            return false;
        *value = readBigEndian(m_data + h.payload, unsigned(h.count));
        return true;
    }

    std::optional<QString> plainString(Node node) const override
    {
        Header h;
        if (!header(node, &h) || (h.type != 0x5 && h.type != 0x6))
            return std::nullopt;
        return text(h);
    }

    QString string(Node node) const override
    {
        Header h;
        return header(node, &h) ? text(h) : QString();
    }

    bool stringEquals(Node node, const char *text) const override
    {
        Header h;
        if (!header(node, &h))
            return false;
        const size_t n = std::strlen(text);
        const unsigned char *p = m_data + h.payload;
        if (h.type == 0x5)
            return h.count == n && std::memcmp(p, text, n) == 0;
        if (h.type == 0x6)
            return string(node) == QString::fromUtf8(text, qsizetype(n));
        return false;
    }

    QByteArray data(Node node) const override
    {
        Header h;
        if (!header(node, &h) || h.type != 0x4)
            return {};
        return QByteArray(reinterpret_cast<const char *>(m_data + h.payload), qsizetype(h.count));
    }

private:
    // An object's marker type, its element count (for integers and UIDs: the byte
    // width of the value) and where its contents start.
    struct Header {
        unsigned type = 0;
        uint64_t count = 0;
        uint64_t payload = 0;
    };

    // The text of a string object's header; null for other objects.
    QString text(const Header& h) const
    {
        const unsigned char *p = m_data + h.payload;
        if (h.type == 0x5)
            return QString::fromLatin1(reinterpret_cast<const char *>(p), qsizetype(h.count));
        if (h.type != 0x6)
            return {};
        QString text(qsizetype(h.count), Qt::Uninitialized);
        QChar *out = text.data();
        for (uint64_t i = 0; i < h.count; ++i)
            out[i] = QChar(char16_t((p[2 * i] << 8) | p[2 * i + 1]));
        return text;
    }

    explicit BinarySource(const QByteArray& bytes)
        : m_bytes(bytes), m_data(reinterpret_cast<const unsigned char *>(m_bytes.constData()))
    {}

    bool validTrailer()
    {
        const uint64_t size = uint64_t(m_bytes.size());
        if (size < 8 + 32)
            return false;
        const unsigned char *trailer = m_data + size - 32;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = readBigEndian(trailer + 8, 8);
        m_top = readBigEndian(trailer + 16, 8);
        m_tableOffset = readBigEndian(trailer + 24, 8);
        const uint64_t tableEnd = size - 32;
        return m_offsetSize >= 1 && m_offsetSize <= 8 && m_refSize >= 1 && m_refSize <= 8 &&
               m_count > 0 && m_top < m_count && m_tableOffset >= 8 && m_tableOffset < tableEnd &&
               (tableEnd - m_tableOffset) / m_offsetSize >= m_count;
    }

    // Callers pass positions that header() has bounded to the object area.
    uint64_t ref(uint64_t at) const { return readBigEndian(m_data + at, m_refSize); }

    static constexpr uint64_t kAbsent = std::numeric_limits<uint64_t>::max();

    // The position of key among the layout's keys (the first one equal to it), or
    // kAbsent. Decoders ask an object for its keys in one order, so the next one
    // asked is tried first.
    uint64_t keyPosition(const char *key) const
    {
        const size_t known = m_layoutFound.size();
        for (size_t k = 0; k < known; ++k) {
            const size_t at = (m_nextFound + k) % known;
            if (std::strcmp(m_layoutFound[at].first.c_str(), key) == 0) {
                m_nextFound = at + 1;
                return m_layoutFound[at].second;
            }
        }
        uint64_t position = kAbsent;
        for (uint64_t i = 0; i < m_layoutKeys.size() && position == kAbsent; ++i)
            if (m_layoutKeys[i] < m_count && stringEquals(m_layoutKeys[i] + 1, key))
                position = i;
        m_layoutFound.emplace_back(key, position);
        m_nextFound = m_layoutFound.size();
        return position;
    }

    bool header(Node node, Header *h) const
    {
        if (node == 0 || node > m_count)
            return false;
        const uint64_t offset =
            readBigEndian(m_data + m_tableOffset + (node - 1) * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_tableOffset)
            return false;
        const unsigned marker = m_data[offset];
        h->type = marker >> 4;
        h->payload = offset + 1;
        const uint64_t room = m_tableOffset - h->payload;
        switch (h->type) {
        case 0x1: // integer of 2^n bytes; 16-byte integers are not read
            h->count = 1u << (marker & 0xF);
            return (marker & 0xF) <= 3 && h->count <= room;
        case 0x8: // UID of n + 1 bytes
            h->count = (marker & 0xF) + 1u;
            return h->count <= 8 && h->count <= room;
        case 0x4:
        case 0x5:
        case 0x6:
        case 0xA:
        case 0xD:
            break;
        default:
            h->count = 0;
            return true;
        }
        h->count = marker & 0xF;
        if (h->count == 0xF) {
            if (room < 1)
                return false;
            const unsigned intMarker = m_data[h->payload];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0xF) > 3)
                return false;
            const unsigned intSize = 1u << (intMarker & 0xF);
            if (room < 1 + uint64_t(intSize))
                return false;
            h->count = readBigEndian(m_data + h->payload + 1, intSize);
            h->payload += 1 + intSize;
        }
        const uint64_t left = m_tableOffset - h->payload;
        const uint64_t unit = h->type == 0x6   ? 2
                              : h->type == 0xA ? m_refSize
                              : h->type == 0xD ? 2 * uint64_t(m_refSize)
                                               : 1;
        return h->count <= left / unit;
    }

    const QByteArray m_bytes; // keeps the buffer alive (shared, not copied)
    const unsigned char *m_data;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    uint64_t m_count = 0;
    uint64_t m_top = 0;
    uint64_t m_tableOffset = 0;
    uint64_t m_objectsAt = 0;   // where the "$objects" array's references start
    uint64_t m_objectCount = 0; // its length; each reference checked in range
    // Objects of one archiver share one dictionary layout (their key references
    // in order), so each key is searched for once per layout, not per object: the
    // layout last seen, the dictionary last matched to it, and the keys found in it
    // (position, or kAbsent) in the order they were asked for.
    mutable std::vector<uint64_t> m_layoutKeys;
    mutable Node m_layoutDict = 0;
    mutable uint64_t m_layoutPayload = 0; // m_layoutDict's references
    mutable std::vector<std::pair<std::string, uint64_t>> m_layoutFound;
    mutable size_t m_nextFound = 0;
};

// An XML property list parsed by libplist. A node is the plist_t pointer.
class KeyedUnarchiver::XmlSource final : public Source {
public:
    static std::unique_ptr<XmlSource> open(const QByteArray& bytes)
    {
        if (!PropertyList::xmlNestingWithin(bytes, kMaxXmlNesting))
            return nullptr;
        plist_t root = nullptr;
        plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
        if (!root)
            return nullptr;
        return std::unique_ptr<XmlSource>(new XmlSource(root));
    }

    Node root() const override { return handle(m_root.get()); }

    Kind kind(Node node) const override
    {
        if (!node)
            return Kind::Other;
        switch (plist_get_node_type(p(node))) {
        case PLIST_STRING:
            return Kind::String;
        case PLIST_DATA:
            return Kind::Data;
        case PLIST_DICT:
            return Kind::Dict;
        case PLIST_ARRAY:
            return Kind::Array;
        case PLIST_UID:
            return Kind::Uid;
        case PLIST_UINT:
            return Kind::Integer;
        default:
            return Kind::Other;
        }
    }

    Node dictGet(Node node, const char *key) const override
    {
        return kind(node) == Kind::Dict ? handle(plist_dict_get_item(p(node), key)) : 0;
    }

    uint64_t dictSize(Node node) const override
    {
        return kind(node) == Kind::Dict ? plist_dict_get_size(p(node)) : 0;
    }

    bool setObjects(Node node) override
    {
        std::optional<std::vector<Node>> items = arrayItems(node);
        if (!items)
            return false;
        m_objects = std::move(*items);
        return true;
    }

    size_t objectCount() const override { return m_objects.size(); }

    Node object(size_t i) const override { return m_objects[i]; }

    std::optional<std::vector<Node>> arrayItems(Node node) const override
    {
        if (kind(node) != Kind::Array)
            return std::nullopt;
        std::vector<Node> items;
        items.reserve(plist_array_get_size(p(node)));
        // Iterated, not indexed: item lookup by index is not constant-time in
        // every libplist version.
        plist_array_iter it = nullptr;
        plist_array_new_iter(p(node), &it);
        for (;;) {
            plist_t item = nullptr;
            plist_array_next_item(p(node), it, &item);
            if (!item)
                break;
            items.push_back(handle(item));
        }
        std::free(it);
        return items;
    }

    uint64_t integer(Node node) const override
    {
        uint64_t v = std::numeric_limits<uint64_t>::max();
        if (kind(node) == Kind::Uid)
            plist_get_uid_val(p(node), &v);
        else if (kind(node) == Kind::Integer)
            plist_get_uint_val(p(node), &v);
        return v;
    }

    QString string(Node node) const override
    {
        return kind(node) == Kind::String ? PropertyList::stringValue(p(node)) : QString();
    }

    bool stringEquals(Node node, const char *text) const override
    {
        return kind(node) == Kind::String && plist_string_val_compare(p(node), text) == 0;
    }

    QByteArray data(Node node) const override
    {
        if (kind(node) != Kind::Data)
            return {};
        uint64_t length = 0;
        const char *bytes = plist_get_data_ptr(p(node), &length);
        return QByteArray(bytes, qsizetype(length));
    }

private:
    explicit XmlSource(plist_t root) : m_root(root) {}
    static plist_t p(Node node) { return reinterpret_cast<plist_t>(uintptr_t(node)); }
    static Node handle(plist_t node) { return Node(reinterpret_cast<uintptr_t>(node)); }

    PlistPtr m_root;
    std::vector<Node> m_objects; // the "$objects" entries
};

bool KeyedUnarchiver::ClassInfo::isKindOf(const QString& className) const
{
    return name == className || classes.contains(className);
}

KeyedUnarchiver::KeyedUnarchiver(const QByteArray& archive)
{
    try {
        if (archive.isEmpty() || archive.size() > std::numeric_limits<uint32_t>::max() / 2)
            return;
        std::unique_ptr<Source> source;
        if (plist_is_binary(archive.constData(), uint32_t(archive.size())))
            source = BinarySource::open(archive);
        else
            source = XmlSource::open(archive);
        if (!source)
            return;
        using Kind = Source::Kind;
        const Node root = source->root();
        const Node archiver = source->dictGet(root, "$archiver");
        const Node top = source->dictGet(root, "$top");
        if (!source->stringEquals(archiver, "NSKeyedArchiver") || source->kind(top) != Kind::Dict)
            return;
        if (!source->setObjects(source->dictGet(root, "$objects")))
            return;
        m_objectCount = source->objectCount();
        m_top = top;
        m_source = std::move(source);
    } catch (const std::bad_alloc&) {
        m_objectCount = 0;
        m_source.reset();
    }
}

KeyedUnarchiver::~KeyedUnarchiver() = default;

KeyedUnarchiver::Node KeyedUnarchiver::node(Ref ref) const
{
    return ref != nil && ref < m_objectCount ? m_source->object(ref) : 0;
}

std::optional<KeyedUnarchiver::Ref> KeyedUnarchiver::refOf(Node value) const
{
    if (!m_source)
        return std::nullopt;
    uint64_t ref = 0;
    if (!m_source->uid(value, &ref)) {
        if (m_source->kind(value) != Source::Kind::Dict)
            return std::nullopt;
        // XML writes a reference as {"CF$UID": <integer>}.
        const Node uid = m_source->dictGet(value, "CF$UID");
        if (m_source->dictSize(value) != 1 || m_source->kind(uid) != Source::Kind::Integer)
            return std::nullopt;
        ref = m_source->integer(uid);
    }
    if (ref >= m_objectCount)
        return std::nullopt;
    return ref;
}

std::optional<KeyedUnarchiver::Ref> KeyedUnarchiver::topObject(const char *key) const
{
    if (!m_source)
        return std::nullopt;
    return refOf(m_source->dictGet(m_top, key));
}

const KeyedUnarchiver::ClassInfo *KeyedUnarchiver::classOf(Node dict) const
{
    const std::optional<Ref> ref = refOf(m_source->dictGet(dict, "$class"));
    if (!ref || *ref == nil)
        return nullptr;
    auto [it, inserted] = m_classCache.try_emplace(*ref);
    if (!inserted)
        return it->second.get();
    const Node cls = m_source->object(*ref);
    const Node name = m_source->dictGet(cls, "$classname");
    if (m_source->kind(name) != Source::Kind::String)
        return nullptr;
    auto info = std::make_unique<ClassInfo>();
    info->name = m_source->string(name);
    if (auto chain = m_source->arrayItems(m_source->dictGet(cls, "$classes")))
        for (Node entry : *chain)
            if (m_source->kind(entry) == Source::Kind::String)
                info->classes.append(m_source->string(entry));
    it->second = std::move(info);
    return it->second.get();
}

bool KeyedUnarchiver::isKind(Node dict, const QString& a, const QString& b) const
{
    const ClassInfo *cls = classOf(dict);
    return cls && (cls->isKindOf(a) || cls->isKindOf(b));
}

std::optional<QString> KeyedUnarchiver::stringOf(Node value) const
{
    static const QString kString = QStringLiteral("NSString");
    static const QString kMutableString = QStringLiteral("NSMutableString");
    if (std::optional<QString> text = m_source->plainString(value))
        return text;
    if (m_source->kind(value) != Source::Kind::Dict || !isKind(value, kString, kMutableString))
        return std::nullopt;
    Node text = m_source->dictGet(value, "NS.string");
    // The text is stored inline; a reference to a plain string is followed one
    // step, never further.
    if (const std::optional<Ref> ref = refOf(text))
        text = node(*ref);
    return m_source->plainString(text);
}

std::optional<QByteArray> KeyedUnarchiver::dataOf(Node value) const
{
    static const QString kData = QStringLiteral("NSData");
    static const QString kMutableData = QStringLiteral("NSMutableData");
    switch (m_source->kind(value)) {
    case Source::Kind::Data:
        return m_source->data(value);
    case Source::Kind::Dict: {
        if (!isKind(value, kData, kMutableData))
            return std::nullopt;
        Node bytes = m_source->dictGet(value, "NS.data");
        if (const std::optional<Ref> ref = refOf(bytes))
            bytes = node(*ref);
        if (m_source->kind(bytes) != Source::Kind::Data)
            return std::nullopt;
        return m_source->data(bytes);
    }
    default:
        return std::nullopt;
    }
}

namespace {
// Shared values (an artist on every record of an album, or one text referred to
// many times by a crafted file) share their storage from their second decode on.
// A value decoded once only (most texts of a list: titles, paths) costs one bit.
template <typename T, typename Decode>
std::optional<T> sharedDecode(std::vector<bool>& decodedOnce,
                              std::unordered_map<uint64_t, T>& shared, size_t ref, size_t objects,
                              Decode decode)
{
    if (decodedOnce.empty())
        decodedOnce.resize(objects);
    if (decodedOnce[ref]) {
        if (const auto it = shared.find(ref); it != shared.end())
            return it->second;
    }
    std::optional<T> value = decode();
    if (value && decodedOnce[ref])
        shared.emplace(ref, *value);
    else if (value)
        decodedOnce[ref] = true;
    return value;
}
} // namespace

std::optional<QString> KeyedUnarchiver::decodeString(Ref ref) const
{
    const Node value = node(ref);
    if (!value)
        return std::nullopt;
    return sharedDecode(m_stringDecoded, m_sharedStrings, ref, m_objectCount,
                        [&] { return stringOf(value); });
}

std::optional<QByteArray> KeyedUnarchiver::decodeData(Ref ref) const
{
    const Node value = node(ref);
    if (!value)
        return std::nullopt;
    return sharedDecode(m_dataDecoded, m_sharedData, ref, m_objectCount,
                        [&] { return dataOf(value); });
}

std::optional<std::vector<KeyedUnarchiver::Ref>> KeyedUnarchiver::decodeArray(Ref ref) const
{
    static const QString kArray = QStringLiteral("NSArray");
    static const QString kMutableArray = QStringLiteral("NSMutableArray");
    const Node value = node(ref);
    if (!value || m_source->kind(value) != Source::Kind::Dict ||
        !isKind(value, kArray, kMutableArray))
        return std::nullopt;
    try {
        std::optional<std::vector<Node>> items =
            m_source->arrayItems(m_source->dictGet(value, "NS.objects"));
        if (!items)
            return std::nullopt;
        std::vector<Ref> elements;
        elements.reserve(items->size());
        for (Node item : *items) {
            const std::optional<Ref> element = refOf(item);
            if (!element || *element == nil)
                return std::nullopt;
            elements.push_back(*element);
        }
        return elements;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<KeyedUnarchiver::Object> KeyedUnarchiver::decodeObject(Ref ref) const
{
    const Node value = node(ref);
    if (!value || m_source->kind(value) != Source::Kind::Dict)
        return std::nullopt;
    const ClassInfo *cls = classOf(value);
    if (!cls)
        return std::nullopt;
    return Object(this, value, cls, ref);
}

bool KeyedUnarchiver::Object::containsKey(const char *key) const
{
    return m_coder->m_source->dictGet(m_dict, key) != 0;
}

std::optional<KeyedUnarchiver::Ref> KeyedUnarchiver::Object::refForKey(const char *key) const
{
    return m_coder->refOf(m_coder->m_source->dictGet(m_dict, key));
}

std::optional<QString> KeyedUnarchiver::Object::decodeStringForKey(const char *key) const
{
    const std::optional<Ref> ref = refForKey(key);
    return ref ? m_coder->decodeString(*ref) : std::nullopt;
}

std::optional<QByteArray> KeyedUnarchiver::Object::decodeDataForKey(const char *key) const
{
    const std::optional<Ref> ref = refForKey(key);
    return ref ? m_coder->decodeData(*ref) : std::nullopt;
}
