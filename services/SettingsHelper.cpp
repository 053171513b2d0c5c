#include "services/SettingsHelper.h"

#include "platform/UserDefaults.h"
#include "services/SettingsKeys.h"

#include <cmath>

namespace {

bool isWholeNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

// The list under key; empty when the value is not a list.
QVariantList listValue(const QVariantMap& dict, const QString& key)
{
    const QVariant v = dict.value(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList)
        return {};
    return v.toList();
}

} // namespace

void SettingsHelper::setSettings(const QString& key, const QVariant& value)
{
    UserDefaults& defaults = UserDefaults::standard();
    QVariantMap dict = settingsDict();
    dict.insert(key, value);
    defaults.setObject(SettingsKeys::Settings, dict);
    defaults.synchronize();
}

QVariantMap SettingsHelper::settingsDict()
{
    return storedSettingsDict().value_or(QVariantMap());
}

std::optional<QVariantMap> SettingsHelper::storedSettingsDict()
{
    const QVariant stored = UserDefaults::standard().objectForKey(SettingsKeys::Settings);
    if (stored.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return stored.toMap();
}

bool SettingsHelper::getSwitchStateForSettingWithName(const QString& name)
{
    QString key = name;
    key.remove(QLatin1Char(' '));
    return boolValue(settingsDict(), key).value_or(false);
}

std::optional<QString> SettingsHelper::activeBookmark()
{
    const QVariantMap dict = settingsDict();
    if (!boolValue(dict, SettingsKeys::HomeFolder).value_or(false))
        return std::nullopt;
    const std::optional<qint64> index = intValue(dict, SettingsKeys::ActiveBookmark);
    if (!index || *index < 0)
        return std::nullopt;
    const QVariantList entries = listValue(dict, SettingsKeys::Bookmarks);
    if (*index >= entries.size() || entries.at(*index).typeId() != QMetaType::QString)
        return std::nullopt;
    return entries.at(*index).toString();
}

QStringList SettingsHelper::bookmarks()
{
    QStringList paths;
    for (const QVariant& entry : listValue(settingsDict(), SettingsKeys::Bookmarks))
        if (entry.typeId() == QMetaType::QString)
            paths.append(entry.toString());
    return paths;
}

void SettingsHelper::addBookmarkWithPath(const QString& path)
{
    setSettings(SettingsKeys::Bookmarks, bookmarks() << path);
}

void SettingsHelper::removeBookmarkWithName(const QString& path)
{
    QVariantMap dict = settingsDict();
    const QVariantList entries = listValue(dict, SettingsKeys::Bookmarks);
    const std::optional<qint64> active = intValue(dict, SettingsKeys::ActiveBookmark);
    // The stored index counts every stored entry, so it moves by the number of
    // entries dropped ahead of it; dropping the active entry itself clears it.
    std::optional<qint64> newActive = active;
    QStringList kept;
    bool removed = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QVariant& entry = entries.at(i);
        const bool isPath = entry.typeId() == QMetaType::QString;
        // One row deleted is one bookmark gone: a second copy of the folder stays.
        if (isPath && (removed || entry.toString() != path)) {
            kept.append(entry.toString());
            continue;
        }
        removed = removed || isPath;
        if (active && i < *active)
            --*newActive;
        else if (active && i == *active)
            newActive = -1;
    }
    dict.insert(SettingsKeys::Bookmarks, kept);
    if (kept.isEmpty())
        newActive = -1;
    if (newActive)
        dict.insert(SettingsKeys::ActiveBookmark, *newActive);
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setObject(SettingsKeys::Settings, dict);
    defaults.synchronize();
}

std::optional<bool> SettingsHelper::boolValue(const QVariantMap& dict, const QString& key)
{
    const QVariant v = dict.value(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (isWholeNumber(v))
        return v.toLongLong() != 0;
    return std::nullopt;
}

std::optional<qint64> SettingsHelper::intValue(const QVariantMap& dict, const QString& key)
{
    const QVariant v = dict.value(key);
    if (isWholeNumber(v))
        return v.toLongLong();
    return std::nullopt;
}

std::optional<float> SettingsHelper::floatValue(const QVariantMap& dict, const QString& key)
{
    const QVariant v = dict.value(key);
    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float || isWholeNumber(v)) {
        const double d = v.toDouble();
        if (std::isfinite(d))
            return float(d);
    }
    return std::nullopt;
}
