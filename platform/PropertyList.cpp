#include "platform/PropertyList.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace PropertyList {

namespace {

// Deeper than any settings file needs; libplist parses and frees recursively, so a
// crafted file nested far deeper would overflow the stack.
constexpr int kMaxNesting = 64;

// Seconds between the Unix epoch and the property-list epoch (2001-01-01 UTC).
constexpr qint64 kPlistEpochOffset = 978307200;

} // namespace

// Read by pointer: a string that holds a NUL character (a raw NUL byte or "&#0;"
// in the file) makes plist_get_string_val abort on its own assertion.
QString stringValue(plist_t node)
{
    if (plist_get_node_type(node) != PLIST_STRING)
        return {};
    uint64_t length = 0;
    const char *text = plist_get_string_ptr(node, &length);
    return text ? QString::fromUtf8(text, qsizetype(strnlen(text, length))) : QString();
}

// Counts open <array> and <dict> elements, skipping comments, CDATA, declarations
// and processing instructions.
bool xmlNestingWithin(const QByteArray& bytes, int maxDepth)
{
    const char *p = bytes.constData();
    const char *end = p + bytes.size();
    auto skipPast = [&](const char *from, const char *terminator) {
        const size_t n = std::strlen(terminator);
        for (const char *q = from; q + n <= end; ++q)
            if (std::memcmp(q, terminator, n) == 0)
                return q + n;
        return end;
    };
    auto startsWith = [&](const char *at, const char *prefix) {
        const size_t n = std::strlen(prefix);
        return size_t(end - at) >= n && std::memcmp(at, prefix, n) == 0;
    };
    auto isContainer = [&](const char *name, const char *nameEnd) {
        const size_t n = size_t(nameEnd - name);
        return (n == 5 && std::memcmp(name, "array", 5) == 0) ||
               (n == 4 && std::memcmp(name, "dict", 4) == 0);
    };
    int depth = 0;
    while (p < end) {
        p = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
        if (!p)
            break;
        if (startsWith(p, "<!--")) {
            p = skipPast(p + 4, "-->");
            continue;
        }
        if (startsWith(p, "<![CDATA[")) {
            p = skipPast(p + 9, "]]>");
            continue;
        }
        if (startsWith(p, "<!") || startsWith(p, "<?")) {
            p = skipPast(p + 2, ">");
            continue;
        }
        const bool closing = startsWith(p, "</");
        const char *name = p + (closing ? 2 : 1);
        const char *nameEnd = name;
        while (nameEnd < end && *nameEnd != '>' && *nameEnd != '/' && *nameEnd != ' ' &&
               *nameEnd != '\t' && *nameEnd != '\n' && *nameEnd != '\r')
            ++nameEnd;
        const char *tagEnd = skipPast(nameEnd, ">");
        const bool selfClosing = tagEnd - nameEnd >= 2 && tagEnd[-2] == '/';
        if (isContainer(name, nameEnd)) {
            if (closing)
                depth = std::max(0, depth - 1);
            else if (!selfClosing && ++depth > maxDepth)
                return false;
        }
        p = tagEnd;
    }
    return true;
}

PlistPtr parse(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max() / 2)
        return nullptr;
    if (!plist_is_binary(bytes.constData(), uint32_t(bytes.size())))
        return parseXml(bytes);
    plist_t root = nullptr;
    plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &root);
    return PlistPtr(root);
}

PlistPtr parseXml(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > std::numeric_limits<uint32_t>::max() / 2 ||
        plist_is_binary(bytes.constData(), uint32_t(bytes.size())) ||
        !xmlNestingWithin(bytes, kMaxNesting))
        return nullptr;
    plist_t root = nullptr;
    plist_from_xml(bytes.constData(), uint32_t(bytes.size()), &root);
    return PlistPtr(root);
}

QVariant toVariant(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        // libplist 2.2 keeps every integer as 64 bits; negative ones as their
        // two's-complement pattern, which is how they are read back here.
        plist_get_uint_val(node, &v);
        return QVariant::fromValue(qint64(v));
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_STRING:
    case PLIST_KEY:
        return stringValue(node);
    case PLIST_DATA: {
        char *data = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &data, &len);
        QByteArray bytes(data ? data : "", qsizetype(len));
        std::free(data);
        return bytes;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch(
            (qint64(sec) + kPlistEpochOffset) * 1000 + usec / 1000, QTimeZone::utc());
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        list.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            list.append(toVariant(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key)
                break;
            map.insert(QString::fromUtf8(key), toVariant(value));
            std::free(key);
        }
        std::free(it);
        return map;
    }
    default:
        return {};
    }
}

PlistPtr fromVariant(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return PlistPtr(plist_new_bool(value.toBool()));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Long:
        return PlistPtr(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::ULong:
        return PlistPtr(plist_new_uint(value.toULongLong()));
    case QMetaType::Float:
    case QMetaType::Double:
        return PlistPtr(plist_new_real(value.toDouble()));
    case QMetaType::QString:
        return PlistPtr(plist_new_string(value.toString().toUtf8().constData()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return PlistPtr(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        const qint64 sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        return PlistPtr(plist_new_date(int32_t(sec), int32_t((ms - sec * 1000) * 1000)));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        PlistPtr array(plist_new_array());
        for (const QVariant& item : value.toList()) {
            PlistPtr child = fromVariant(item);
            if (!child)
                return nullptr;
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QVariantMap: {
        PlistPtr dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            PlistPtr child = fromVariant(it.value());
            if (!child)
                return nullptr;
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
        }
        return dict;
    }
    default:
        return nullptr;
    }
}

namespace {

using Serialiser = void (*)(plist_t, char **, uint32_t *);
using Releaser = void (*)(char *);

QByteArray serialise(plist_t node, Serialiser write, Releaser release)
{
    if (!node)
        return {};
    char *out = nullptr;
    uint32_t len = 0;
    write(node, &out, &len);
    QByteArray bytes(out, qsizetype(len));
    release(out);
    return bytes;
}

} // namespace

QByteArray toXml(plist_t node)
{
    return serialise(node, &plist_to_xml, &plist_to_xml_free);
}

QByteArray toBinary(plist_t node)
{
    return serialise(node, &plist_to_bin, &plist_to_bin_free);
}

std::optional<QVariantMap> dictionaryFromBytes(const QByteArray& bytes)
{
    PlistPtr root = parseXml(bytes);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return toVariant(root.get()).toMap();
}

} // namespace PropertyList
