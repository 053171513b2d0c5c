#pragma once

// Property lists as Qt values, on libplist. Files are read from XML only; binary
// output serves the keyed archives.
//
// Value mapping: dictionary <-> QVariantMap, array <-> QVariantList, string <->
// QString, data <-> QByteArray, boolean <-> bool, integer <-> qint64, real <-> double, date <->
// QDateTime. Keyed-archive UIDs have no QVariant form; code that needs them works on plist_t
// directly (see KeyedArchiver).
//
// Thread-safe: no shared state.

#include <QByteArray>
#include <QByteArrayView>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <plist/plist.h>
#include <type_traits>
#include <utility>
#include <vector>

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
// Owns a libplist node tree.
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

namespace PropertyList {

// Parses an XML property list; nullptr when the bytes are not one, are binary, or
// nest arrays and dictionaries deeper than any file of ours does.
PlistPtr parseXml(const QByteArray& bytes);

// True when the XML text opens no more than maxDepth nested <array>/<dict>
// elements (comments, CDATA and declarations are skipped). A cheap guard before
// handing untrusted XML to libplist, whose parser recurses per level.
bool xmlNestingWithin(const QByteArray& bytes, int maxDepth);

// Parses XML (as parseXml) or binary bytes. Binary input must be bytes we wrote
// ourselves: libplist's binary reader is not safe against crafted nesting.
PlistPtr parse(const QByteArray& bytes);

// A string node's text; it ends at a NUL character (libplist keeps the length of
// a string that holds one, but not the text after it). Null for other nodes.
QString stringValue(plist_t node);

// The node as a QVariant; an invalid QVariant for UIDs and unknown node types.
QVariant toVariant(plist_t node);

// A new node for the value; nullptr when the value (or anything inside it) has no
// property-list form.
PlistPtr fromVariant(const QVariant& value);

// Serialises a node. Empty bytes only if node is null.
QByteArray toXml(plist_t node);
QByteArray toBinary(plist_t node);

// The root dictionary of an XML property list's bytes, or nothing. The result is
// libplist's, but large data values of the root dictionary (a stored list of
// 100,000 items is one of 11 MB) are decoded here, in a fraction of libplist's
// time and memory: only base64 in the form every writer uses (whole groups of
// four, whitespace between groups, padding at the end) in a file without
// comments, CDATA, attributes or repeated keys; for anything else the whole file
// goes to libplist. Given the only reference to bytes (moved in), it keeps the
// largest such value in their buffer rather than in one of its own.
std::optional<QVariantMap> dictionaryFromBytes(QByteArray bytes);

// The XML of a dictionary, byte for byte as toXml(fromVariant(map)) writes it, in
// two parts: libplist's text with the dictionary's large data values left empty,
// and those values with the positions of their lines in the text. They are
// encoded as they are written out, never copied into libplist or held as text.
struct XmlParts {
    QByteArray text;
    std::vector<std::pair<qsizetype, QByteArray>> large; // (position in text, value)
};
// nullopt when a value has no property-list form.
std::optional<XmlParts> xmlParts(const QVariantMap& map);
// Hands the bytes of parts to sink in order, a large value's lines in pieces of
// about 70 KB; false as soon as sink returns false.
bool writeXml(const XmlParts& parts, const std::function<bool(QByteArrayView)>& sink);
// The same bytes in one buffer.
std::optional<QByteArray> xmlFromDictionary(const QVariantMap& map);

// Data values of the root dictionary from this size on are encoded and decoded by
// the two functions above rather than by libplist.
constexpr qsizetype kLargeDataBytes = 64 * 1024;

} // namespace PropertyList
