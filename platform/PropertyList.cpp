#include "platform/PropertyList.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

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

namespace {

// ---- Large data values of the root dictionary ----
//
// libplist needs about half a second, and three copies of the bytes, for an 11 MB
// data value (base64 decoded character by character into its tree, copied out by
// plist_get_data_val, copied again into a QByteArray). The root dictionary's large
// values skip libplist both ways: libplist handles the file with them left empty,
// and they are coded here.

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// libplist wraps a data value's text to 76 columns counting a tab as 8; in the
// root dictionary a line is one tab and 68 characters, 51 bytes.
constexpr qsizetype kLineChars = 68;
constexpr qsizetype kLineBytes = kLineChars / 4 * 3;

qsizetype base64Chars(qsizetype bytes)
{
    return (bytes + 2) / 3 * 4;
}

// The lines of a data value in the root dictionary, each "\t" + text + "\n".
qsizetype dataLinesSize(qsizetype bytes)
{
    return base64Chars(bytes) + 2 * ((bytes + kLineBytes - 1) / kLineBytes);
}

char *writeDataLines(char *out, const char *data, qsizetype size)
{
    const auto *in = reinterpret_cast<const unsigned char *>(data);
    for (qsizetype line = 0; line < size; line += kLineBytes) {
        *out++ = '\t';
        const qsizetype lineEnd = std::min(size, line + kLineBytes);
        qsizetype i = line;
        for (; i + 3 <= lineEnd; i += 3) {
            const uint32_t group = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
            *out++ = kBase64[group >> 18];
            *out++ = kBase64[(group >> 12) & 63];
            *out++ = kBase64[(group >> 6) & 63];
            *out++ = kBase64[group & 63];
        }
        if (i < lineEnd) { // the last one or two bytes of the value
            const uint32_t group =
                uint32_t(in[i]) << 16 | (i + 1 < lineEnd ? uint32_t(in[i + 1]) << 8 : 0);
            *out++ = kBase64[group >> 18];
            *out++ = kBase64[(group >> 12) & 63];
            *out++ = i + 1 < lineEnd ? kBase64[(group >> 6) & 63] : '=';
            *out++ = '=';
        }
        *out++ = '\n';
    }
    return out;
}

// Decodes base64 text in the form writers use: groups of four characters,
// whitespace (tab, newline, carriage return, space) only between groups, padding
// only in the last group, unused bits zero. Any other text is left to libplist,
// whose readings of other forms differ between its versions: -1. Otherwise the
// number of bytes, written to out when Write (out may be the text itself: it
// never overtakes the reading).
template <bool Write> qsizetype decodeBase64(const char *p, const char *end, unsigned char *out)
{
    enum : int8_t { kSpace = -1, kPad = -2, kBad = -3 };
    static const auto table = [] {
        std::array<int8_t, 256> t{};
        t.fill(kBad);
        for (int i = 0; i < 64; ++i)
            t[uint8_t(kBase64[i])] = int8_t(i);
        for (char c : {'\t', '\n', '\r', ' '})
            t[uint8_t(c)] = kSpace;
        t[uint8_t('=')] = kPad;
        return t;
    }();
    auto value = [&](const char *at) { return table[uint8_t(*at)]; };
    auto put = [&](uint32_t byte) {
        if constexpr (Write)
            *out = uint8_t(byte);
        ++out;
    };
    const unsigned char *const start = out;
    bool ended = false; // the padded group was read: only whitespace may follow
    while (p < end) {
        const int8_t first = value(p);
        if (first == kSpace) {
            ++p;
            continue;
        }
        if (ended || end - p < 4)
            return -1;
        const int8_t v1 = value(p + 1), v2 = value(p + 2), v3 = value(p + 3);
        p += 4;
        if ((first | v1 | v2 | v3) >= 0) {
            const uint32_t group =
                uint32_t(first) << 18 | uint32_t(v1) << 12 | uint32_t(v2) << 6 | uint32_t(v3);
            put(group >> 16);
            put(group >> 8);
            put(group);
        } else if (first >= 0 && v1 >= 0 && v2 >= 0 && v3 == kPad) {
            const uint32_t group = uint32_t(first) << 12 | uint32_t(v1) << 6 | uint32_t(v2);
            if (group & 3)
                return -1;
            put(group >> 10);
            put(group >> 2);
            ended = true;
        } else if (first >= 0 && v1 >= 0 && v2 == kPad && v3 == kPad) {
            const uint32_t group = uint32_t(first) << 6 | uint32_t(v1);
            if (group & 15)
                return -1;
            put(group >> 4);
            ended = true;
        } else {
            return -1;
        }
    }
    return qsizetype(out - start);
}

// A large data value of the root dictionary: its key and its text in the file.
struct LargeData {
    QString key;
    const char *text;
    const char *textEnd;
};

// The large data values of the root dictionary, when the file is of a form that
// this scan reads as libplist does: tags without attributes (but plist's version),
// no comments, CDATA, processing instructions after the XML declaration or
// document types other than the property-list one, no escapes in the root
// dictionary's keys and no key twice there. Empty otherwise.
std::vector<LargeData> findLargeData(const QByteArray& bytes)
{
    static constexpr QByteArrayView kDoctype(
        "!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"");
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    std::vector<LargeData> found;
    std::unordered_set<std::string_view> keys; // of the root dictionary
    auto next = [&](const char *from) {
        return static_cast<const char *>(std::memchr(from, '<', size_t(end - from)));
    };
    // The text from from to the next tag, which must be </name>; null otherwise.
    auto textUpTo = [&](const char *from, QByteArrayView closing) -> const char * {
        const char *at = next(from);
        return at && QByteArrayView(at, end - at).startsWith(closing) ? at : nullptr;
    };
    int depth = 0;           // open dict and array elements
    bool keyPending = false; // a root key was read and its value not yet
    std::string_view key;
    for (const char *p = next(begin); p; p = next(p)) {
        const char *tagEnd = static_cast<const char *>(std::memchr(p, '>', size_t(end - p)));
        if (!tagEnd)
            return {};
        const QByteArrayView tag(p + 1, tagEnd - p - 1);
        p = tagEnd + 1;
        if (tag.startsWith('?')) {
            if (tag.data() != begin + 1 || !tag.endsWith('?'))
                return {};
            continue;
        }
        if (tag == kDoctype || tag == "plist version=\"1.0\"" || tag == "plist" || tag == "/plist")
            continue;
        for (char c : tag)
            if (!(c >= 'a' && c <= 'z') && c != '/')
                return {};
        const bool valueOfRootKey = depth == 1 && keyPending;
        if (!tag.startsWith('/'))
            keyPending = false;
        if (tag == "dict" || tag == "array") {
            if (++depth == 1 && tag != "dict")
                return {}; // the root is no dictionary: libplist says so
        } else if (tag == "/dict" || tag == "/array") {
            if (--depth < 0)
                return {};
        } else if (tag == "key" && depth == 1) {
            const char *keyEnd = textUpTo(p, "</key>");
            if (!keyEnd)
                return {};
            key = std::string_view(p, size_t(keyEnd - p));
            if (key.find('&') != std::string_view::npos || !keys.insert(key).second)
                return {};
            keyPending = true;
            p = keyEnd;
        } else if (tag == "data" && valueOfRootKey) {
            const char *textEnd = textUpTo(p, "</data>");
            if (!textEnd)
                return {};
            if (textEnd - p >= kLargeDataBytes)
                found.push_back(
                    LargeData{QString::fromUtf8(key.data(), qsizetype(key.size())), p, textEnd});
            p = textEnd;
        }
    }
    return depth == 0 ? found : std::vector<LargeData>{};
}

// The dictionary as libplist reads bytes, its large data values decoded here;
// nullopt when bytes do not suit (then libplist reads the whole file, which this
// left as it was). The largest value is decoded into bytes' own buffer, which
// then holds it alone: the file costs no memory beside its values.
std::optional<QVariantMap> dictionaryWithLargeData(QByteArray& bytes)
{
    const std::vector<LargeData> large = findLargeData(bytes);
    std::vector<qsizetype> sizes;
    for (const LargeData& value : large) {
        sizes.push_back(decodeBase64<false>(value.text, value.textEnd, nullptr));
        if (sizes.back() < 0)
            return std::nullopt;
    }
    if (large.empty())
        return std::nullopt;
    // The file with those values empty.
    QByteArray rest;
    const char *at = bytes.constData();
    for (const LargeData& value : large) {
        rest.append(at, value.text - at);
        at = value.textEnd;
    }
    rest.append(at, bytes.constData() + bytes.size() - at);
    PlistPtr root = parseXml(rest);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    QVariantMap map = toVariant(root.get()).toMap();
    root.reset();
    std::vector<QVariantMap::iterator> slots;
    for (const LargeData& value : large) {
        const auto it = map.find(value.key);
        // libplist read the emptied value where the scan saw it, or the scan was wrong.
        if (it == map.end() || it->typeId() != QMetaType::QByteArray ||
            !it->toByteArray().isEmpty())
            return std::nullopt;
        slots.push_back(it);
    }
    // From here on the file's bytes are overwritten: nothing falls back to them.
    const size_t largest = size_t(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
    for (size_t i = 0; i < large.size(); ++i) {
        if (i == largest)
            continue;
        QByteArray data(sizes[i], Qt::Uninitialized);
        decodeBase64<true>(large[i].text, large[i].textEnd,
                           reinterpret_cast<unsigned char *>(data.data()));
        *slots[i] = std::move(data);
    }
    // Written from the buffer's start, behind the text being read (the text is
    // read from the old buffer should data() copy it).
    decodeBase64<true>(large[largest].text, large[largest].textEnd,
                       reinterpret_cast<unsigned char *>(bytes.data()));
    bytes.truncate(sizes[largest]);
    bytes.squeeze();
    *slots[largest] = std::move(bytes);
    return map;
}

} // namespace

std::optional<QVariantMap> dictionaryFromBytes(QByteArray bytes)
{
    if (bytes.size() > std::numeric_limits<uint32_t>::max() / 2)
        return std::nullopt;
    if (std::optional<QVariantMap> map = dictionaryWithLargeData(bytes))
        return map;
    PlistPtr root = parseXml(bytes);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return toVariant(root.get()).toMap();
}

std::optional<XmlParts> xmlParts(const QVariantMap& map)
{
    PlistPtr root(plist_new_dict());
    // The large values by their entry's position in the dictionary; libplist gets
    // an empty value in their place.
    std::vector<std::pair<qsizetype, QByteArray>> large;
    qsizetype entry = 0;
    for (auto it = map.cbegin(); it != map.cend(); ++it, ++entry) {
        PlistPtr child;
        if (it->typeId() == QMetaType::QByteArray && it->toByteArray().size() >= kLargeDataBytes) {
            large.emplace_back(entry, it->toByteArray());
            child.reset(plist_new_data("", 0));
        } else if (!(child = fromVariant(*it))) {
            return std::nullopt;
        }
        plist_dict_set_item(root.get(), it.key().toUtf8().constData(), child.release());
    }
    XmlParts parts{toXml(root.get()), {}};
    if (large.empty())
        return parts;
    // Each key of the root dictionary starts a line with one tab ("<" is escaped
    // everywhere else), in the dictionary's order; an empty value is "<data>", a
    // newline, a tab and "</data>".
    static constexpr QByteArrayView kKeyLine("\n\t<key>");
    static constexpr QByteArrayView kValueStart("</key>\n\t<data>\n");
    static constexpr QByteArrayView kValueEnd("\t</data>\n");
    const QByteArray& xml = parts.text;
    entry = 0;
    for (qsizetype at = xml.indexOf(kKeyLine); at >= 0;
         at = xml.indexOf(kKeyLine, at + 1), ++entry) {
        const size_t next = parts.large.size();
        if (next == large.size() || large[next].first != entry)
            continue;
        const qsizetype keyEnd = xml.indexOf("</key>", at);
        const QByteArrayView value = QByteArrayView(xml).sliced(keyEnd < 0 ? at : keyEnd);
        if (keyEnd < 0 || !value.startsWith(kValueStart) ||
            !value.sliced(kValueStart.size()).startsWith(kValueEnd))
            break;
        parts.large.emplace_back(keyEnd + kValueStart.size(), std::move(large[next].second));
    }
    if (entry != map.size() || parts.large.size() != large.size()) {
        // Keys that libplist merged (one with a NUL character): its own output.
        const PlistPtr whole = fromVariant(map);
        if (!whole)
            return std::nullopt;
        return XmlParts{toXml(whole.get()), {}};
    }
    return parts;
}

bool writeXml(const XmlParts& parts, const std::function<bool(QByteArrayView)>& sink)
{
    constexpr qsizetype kPieceBytes = 1024 * kLineBytes; // whole lines
    QByteArray lines;
    qsizetype from = 0;
    for (const auto& [at, value] : parts.large) {
        if (!sink(QByteArrayView(parts.text).sliced(from, at - from)))
            return false;
        if (lines.isEmpty())
            lines.resize(dataLinesSize(kPieceBytes));
        for (qsizetype done = 0; done < value.size(); done += kPieceBytes) {
            const char *end = writeDataLines(lines.data(), value.constData() + done,
                                             std::min(kPieceBytes, value.size() - done));
            if (!sink(QByteArrayView(lines.constData(), end)))
                return false;
        }
        from = at;
    }
    return sink(QByteArrayView(parts.text).sliced(from));
}

std::optional<QByteArray> xmlFromDictionary(const QVariantMap& map)
{
    const std::optional<XmlParts> parts = xmlParts(map);
    if (!parts)
        return std::nullopt;
    QByteArray xml;
    writeXml(*parts, [&](QByteArrayView piece) {
        xml.append(piece);
        return true;
    });
    return xml;
}

} // namespace PropertyList
