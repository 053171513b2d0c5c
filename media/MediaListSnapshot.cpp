#include "media/MediaListSnapshot.h"

namespace {

// The text fields in the order their presence bits and texts are kept.
constexpr std::optional<QString> MediaDesc::*kTextFields[] = {
    &MediaDesc::title,    &MediaDesc::artist, &MediaDesc::duration,
    &MediaDesc::filePath, &MediaDesc::album,  &MediaDesc::lyric};
constexpr size_t kTextCount = std::size(kTextFields);
constexpr uint8_t kArtworkBit = 1u << kTextCount;

} // namespace

MediaListSnapshot::MediaListSnapshot(const MediaList& items)
{
    size_t texts = 0;
    size_t artwork = 0;
    for (const MediaDescPtr& item : items) {
        if (!item)
            continue;
        for (const auto field : kTextFields)
            texts += ((*item).*field).has_value();
        artwork += item->albumArt.has_value();
    }
    m_present.reserve(size_t(items.size()));
    m_texts.reserve(texts);
    m_artwork.reserve(artwork);
    for (const MediaDescPtr& item : items) {
        uint8_t present = 0;
        if (item) {
            for (size_t i = 0; i < kTextCount; ++i) {
                if (const std::optional<QString>& text = (*item).*kTextFields[i]) {
                    present |= uint8_t(1u << i);
                    m_texts.push_back(*text);
                }
            }
            if (item->albumArt) {
                present |= kArtworkBit;
                m_artwork.push_back(*item->albumArt);
            }
        }
        m_present.push_back(present);
    }
}

KeyedArchiver::Ref MediaListSnapshot::encode(KeyedArchiver& coder) const
{
    // Per record an object and eight fields (seven values and "$class"); each
    // value at most one object, each text at most one string. A few more for the
    // root, its class, "$null", and the keys and class names (strings).
    coder.expect(m_present.size() + m_texts.size() + m_artwork.size() + 8, m_present.size() * 8 + 1,
                 m_texts.size() + 32);
    const KeyedArchiver::Ref root = coder.reserve();
    std::vector<KeyedArchiver::Ref> elements;
    elements.reserve(m_present.size());
    auto text = m_texts.cbegin();
    auto artwork = m_artwork.cbegin();
    for (const uint8_t present : m_present) {
        MediaDesc record;
        for (size_t i = 0; i < kTextCount; ++i)
            if (present & (1u << i))
                record.*kTextFields[i] = *text++;
        if (present & kArtworkBit)
            record.albumArt = *artwork++;
        elements.push_back(record.encodeWithCoder(coder));
    }
    coder.encodeArray(elements, KeyedArchiver::ArrayKind::Mutable, root);
    return root;
}

QByteArray MediaListSnapshot::archivedData() const&
{
    KeyedArchiver coder;
    const KeyedArchiver::Ref root = encode(coder);
    return coder.finish(root);
}

QByteArray MediaListSnapshot::archivedData() &&
{
    KeyedArchiver coder;
    const KeyedArchiver::Ref root = encode(coder);
    m_present = {};
    m_texts = {};
    m_artwork = {};
    return coder.finish(root);
}
