#pragma once

// Writes keyed archives: binary property lists ("bplist00") with the object-graph
// layout that Cocoa's keyed archiver produces, so that archives written here and
// archives written on the original platform are read by the same code.
//
// Layout of the result:
//   { "$version": 100000, "$archiver": "NSKeyedArchiver",
//     "$top": { "root": UID }, "$objects": [ "$null", ... ] }
// Every object of the graph is one entry of "$objects", referred to by its index
// (a UID). Index 0 is "$null" and stands for nil. Strings and data are plain
// property-list values; equal strings (and equal data) are written once and shared.
// Keyed objects and arrays are dictionaries with a "$class" reference to a class
// dictionary { "$classname", "$classes" }, written once per class and shared;
// arrays hold their elements as "NS.objects": [UID, ...].
//
// Building is bottom-up: encode the values first, then the objects that refer to
// them. reserve() lets a parent take its index before its children, which gives
// the platform archiver's pre-order layout (root at index 1).
//
// The property list is serialised here rather than by libplist: libplist 2.2 needs
// about 0.3 s for a 10,000-record list, this writer a few milliseconds.
//
// Not thread-safe: one thread builds one archive; separate instances are
// independent.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

class KeyedArchiver {
public:
    // Index of an entry of "$objects".
    using Ref = uint64_t;
    // The "$null" entry: a nil object.
    static constexpr Ref nil = 0;

    // One encoded key of a keyed object. key is UTF-8, must not start with "$",
    // and need only live for the call.
    struct Field {
        const char *key;
        Ref value;
    };

    enum class ArrayKind {
        Immutable, // NSArray
        Mutable,   // NSMutableArray
    };

    KeyedArchiver();
    ~KeyedArchiver();
    KeyedArchiver(const KeyedArchiver&) = delete;
    KeyedArchiver& operator=(const KeyedArchiver&) = delete;

    // Takes the next index for an object that is encoded later into it (the slot
    // argument of encodeArray / encodeObject). finish() fails while a reserved
    // index is unfilled.
    Ref reserve();

    // Room for about this many objects (entries of "$objects", distinct strings
    // included), fields (keys of keyed objects, "$class" included) and distinct
    // strings (values, keys and class names): a hint that spares the tables of a
    // large archive their growth. Changes nothing written.
    void expect(size_t objects, size_t fields, size_t strings);

    // Equal texts share one entry. Written in full, U+0000 included (a binary
    // archive reads back whole; libplist cuts XML strings at a U+0000).
    Ref encodeString(const QString& text);
    // nil when absent.
    Ref encodeString(const std::optional<QString>& text);

    // Equal byte strings share one entry. Any bytes, NUL included.
    Ref encodeData(const QByteArray& bytes);
    Ref encodeData(const std::optional<QByteArray>& bytes);

    // An array of the given elements, in order. Elements must be encoded already
    // or reserved, and not nil. With slot = nil a new index is taken, otherwise the
    // reserved index slot is filled.
    Ref encodeArray(const std::vector<Ref>& elements, ArrayKind kind = ArrayKind::Mutable,
                    Ref slot = nil);

    // A keyed object. classes is the class and its superclasses, most derived
    // first, e.g. {"MediaDesc", "NSObject"}; classes.first() is its "$classname".
    // Fields are written in the given order, then "$class"; a nil value is written
    // as the UID 0 reference (an absent object under that key). slot as for
    // encodeArray.
    Ref encodeObject(const QStringList& classes, std::initializer_list<Field> fields,
                     Ref slot = nil);
    Ref encodeObject(const QStringList& classes, const std::vector<Field>& fields, Ref slot = nil);

    // The archive's bytes with root as "$top"/"root". Empty when the graph is not
    // complete and consistent: a reserved index left unfilled, a reference to an
    // index that does not exist, a nil array element, an empty class list, a slot
    // filled twice; or when it would have 2^32 objects or more. Call once; the
    // archiver starts over empty afterwards, its tables released.
    QByteArray finish(Ref root);

private:
    enum class Kind : uint8_t { Unfilled, String, Data, Object, Class };
    // One "$objects" entry, 12 bytes (a list of 100,000 records has some 200,000).
    // References are kept in 32 bits: more objects fail the archive.
    //   String: value is its string id.        Data: value indexes m_data.
    //   Object: value is its layout (its keys, "$class" last) and its values
    //           (references, in the layout's order) start at m_values[begin].
    //   Array (an Object with hasList): m_ranges[value] holds its elements (in
    //           m_lists), and its one value, the class, is m_values[begin].
    //   Class: value is its name's string id; m_ranges[begin] holds the string
    //           ids of the chain.
    struct Entry {
        uint32_t value = 0;
        uint32_t begin = 0;
        Kind kind = Kind::Unfilled;
        bool hasList = false;
    };
    // A run of m_lists, or of m_layoutKeys.
    struct Range {
        uint32_t begin;
        uint32_t count;
    };
    static constexpr uint32_t kNoRef = 0xFFFFFFFFu;
    class Writer;

    void reset();
    // text's id in m_stringTable, added when new.
    uint32_t stringId(const QString& text);
    // Rebuilds m_stringIndex with at least size slots.
    void growStringIndex(size_t size);
    uint32_t keyId(const char *key);
    Ref classRef(const QStringList& classes);
    bool place(Ref slot, const Entry& entry, Ref *where);
    // Appends an entry; its index, or nil when the archive has too many objects
    // for 32-bit references (then it fails). Index 0 goes to "$null" at reset().
    Ref append(const Entry& entry);
    Ref encodeObject(const QStringList& classes, const Field *fields, size_t count, Ref slot);
    // The layout with these key string ids, added when new.
    uint32_t layoutOf(const std::vector<uint32_t>& keys);
    void checkRef(Ref ref);

    std::vector<Entry> m_objects;
    std::vector<uint32_t> m_values; // objects' references, by Entry
    // Objects of one class mostly share their keys: each distinct key sequence
    // is kept once (m_layouts: runs of m_layoutKeys), found by its bytes.
    std::vector<Range> m_layouts;
    std::vector<uint32_t> m_layoutKeys;
    QHash<QByteArray, uint32_t> m_layoutIds;
    uint32_t m_lastLayout = kNoRef;
    std::vector<uint32_t> m_keyScratch; // the keys of the object being encoded
    std::vector<Range> m_ranges;        // of m_lists, by Entry
    std::vector<uint32_t> m_lists;      // references or string ids, by Entry
    std::vector<QByteArray> m_data;
    // Every distinct string of the property list (keys, values, class names): each
    // becomes one property-list object.
    std::vector<QString> m_stringTable;
    // By string id: its "$objects" entry once it is encoded as a value; kNoRef
    // while it is only a key or class name.
    std::vector<uint32_t> m_stringRefs;
    // m_stringTable's ids by text (hashed, linear probing; kNoRef is a free slot),
    // a power of two in size and at most half full: 8 bytes a string.
    std::vector<uint32_t> m_stringIndex;
    QHash<QByteArray, uint32_t> m_keyIds; // UTF-8 key -> string id
    QHash<QByteArray, Ref> m_dataRefs;    // data value -> its "$objects" entry
    QHash<QStringList, Ref> m_classRefs;  // class chain -> its class dictionary
    size_t m_unfilled = 0;                // reserved indexes not yet filled
    bool m_failed = false;                // a caller broke the contract; finish() returns empty
};
