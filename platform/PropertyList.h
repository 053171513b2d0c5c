#pragma once

// Property lists (XML and binary) as Qt values, on libplist.
//
// Value mapping: dictionary <-> QVariantMap, array <-> QVariantList, string <->
// QString, data <-> QByteArray, boolean <-> bool, integer <-> qint64, real <-> double, date <->
// QDateTime. Keyed-archive UIDs have no QVariant form; code that needs them works on plist_t
// directly (see KeyedArchiver).
//
// Thread-safe: no shared state.

#include <QByteArray>
#include <QVariant>
#include <memory>
#include <optional>
#include <plist/plist.h>
#include <type_traits>

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
// Owns a libplist node tree.
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistDeleter>;

namespace PropertyList {

// Parses XML or binary property-list bytes; nullptr when they are not one.
PlistPtr parse(const QByteArray& bytes);

// The node as a QVariant; an invalid QVariant for UIDs and unknown node types.
QVariant toVariant(plist_t node);

// A new node for the value; nullptr when the value (or anything inside it) has no
// property-list form.
PlistPtr fromVariant(const QVariant& value);

// Serialises a node. Empty bytes only if node is null.
QByteArray toXml(plist_t node);
QByteArray toBinary(plist_t node);

// Convenience: the root dictionary of a property-list file's bytes, or nothing.
std::optional<QVariantMap> dictionaryFromBytes(const QByteArray& bytes);

} // namespace PropertyList
