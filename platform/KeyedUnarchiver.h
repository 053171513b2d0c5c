#pragma once

// Reads keyed archives: the "$archiver" "NSKeyedArchiver" object graphs written by
// KeyedArchiver and by Cocoa's keyed archiver, in binary or XML property-list form.
//
// Objects are reached through references (indexes into "$objects"; UID nodes, or
// {"CF$UID": n} dictionaries in XML). Every accessor checks what it is given and
// answers "absent" (nullopt) for anything malformed: an index or offset out of
// range, a value of the wrong kind, a missing key. Nothing here throws or recurses
// through the graph; each accessor looks at most one reference deep, so cyclic
// archives cannot loop.
//
// Binary archives are read in place, object by object, as they are asked for (no
// tree is built; a 10,000-record list decodes in about 10 ms). XML archives are
// parsed by libplist; one nested deeper than a keyed archive ever is (libplist
// recurses per level) is refused before parsing.
//
// Accepted forms:
//   string: a plain string, or an object of class NSString / NSMutableString with
//           "NS.string";
//   data:   plain data, or an object of class NSData / NSMutableData with "NS.data";
//   array:  an object of class NSArray / NSMutableArray with "NS.objects";
//   keyed object: a dictionary whose "$class" refers to {"$classname", "$classes"}.
//
// Strings and data are decoded at most twice per reference: from its second
// decode on, a reference returns one implicitly shared QString / QByteArray, so an
// archive that refers to one large value many times costs two copies of it, not
// one per reference (and a value read once costs no cache entry).
//
// Not thread-safe (decoded values are cached): one thread at a time per instance.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class KeyedUnarchiver {
public:
    // Index of an entry of "$objects"; 0 is nil.
    using Ref = uint64_t;
    static constexpr Ref nil = 0;

    struct ClassInfo {
        QString name;        // "$classname"
        QStringList classes; // "$classes"; may be empty
        bool isKindOf(const QString& className) const;
    };

    // A keyed object being decoded. Valid while its unarchiver lives.
    class Object {
    public:
        const QString& className() const { return m_class->name; }
        const ClassInfo& classInfo() const { return *m_class; }
        Ref ref() const { return m_ref; }

        bool containsKey(const char *key) const;
        // The reference stored under key (nil included); nullopt when the key is
        // missing or its value is not a reference in range.
        std::optional<Ref> refForKey(const char *key) const;
        // The value under key decoded as a string / data; nullopt when the key is
        // missing, nil, or of another kind.
        std::optional<QString> decodeStringForKey(const char *key) const;
        std::optional<QByteArray> decodeDataForKey(const char *key) const;

    private:
        friend class KeyedUnarchiver;
        Object(const KeyedUnarchiver *coder, uint64_t dict, const ClassInfo *cls, Ref ref)
            : m_coder(coder), m_dict(dict), m_class(cls), m_ref(ref)
        {}
        const KeyedUnarchiver *m_coder;
        uint64_t m_dict;
        const ClassInfo *m_class;
        Ref m_ref;
    };

    // Parses an archive. Never throws; an unreadable archive gives !isValid().
    explicit KeyedUnarchiver(const QByteArray& archive);
    ~KeyedUnarchiver();
    KeyedUnarchiver(const KeyedUnarchiver&) = delete;
    KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

    // True when the bytes are a property list with "$archiver" "NSKeyedArchiver",
    // a "$top" dictionary and an "$objects" array.
    bool isValid() const { return m_source != nullptr; }

    // The reference under key in "$top" ("root" for archives of one root object),
    // nil included; nullopt when invalid, missing or out of range.
    std::optional<Ref> topObject(const char *key = "root") const;

    // Number of "$objects" entries (0 when invalid).
    size_t objectCount() const { return m_objectCount; }

    // Decoders for the object at ref; nullopt for nil, out of range or another kind.
    std::optional<QString> decodeString(Ref ref) const;
    std::optional<QByteArray> decodeData(Ref ref) const;
    // The element references of an array object, in order; each is in range and
    // not nil.
    std::optional<std::vector<Ref>> decodeArray(Ref ref) const;
    // A keyed object (a dictionary with a readable "$class").
    std::optional<Object> decodeObject(Ref ref) const;

private:
    // A parsed property list, read through opaque node handles (0 is no node).
    class Source;
    class BinarySource;
    class XmlSource;
    using Node = uint64_t;

    Node node(Ref ref) const;
    std::optional<Ref> refOf(Node value) const;
    const ClassInfo *classOf(Node dict) const;
    std::optional<QString> stringOf(Node value) const;
    std::optional<QByteArray> dataOf(Node value) const;
    bool isKind(Node dict, const QString& a, const QString& b) const;

    std::unique_ptr<Source> m_source; // null when the archive is not readable
    Node m_top = 0;                   // the "$top" dictionary
    size_t m_objectCount = 0;         // "$objects" entries (m_source->object())
    // Caches, filled on demand: decoded class dictionaries by reference (node-based
    // map: Object keeps pointers into it); which references were decoded as a
    // string / data once, and the values of those decoded again (a failed decode
    // is retried, which costs no copy).
    mutable std::unordered_map<Ref, std::unique_ptr<ClassInfo>> m_classCache;
    mutable std::vector<bool> m_stringDecoded;
    mutable std::vector<bool> m_dataDecoded;
    mutable std::unordered_map<Ref, QString> m_sharedStrings;
    mutable std::unordered_map<Ref, QByteArray> m_sharedData;
};
