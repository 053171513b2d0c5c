#include "app/ResumePoint.h"

#include "app/Transport.h"
#include "audio/CAPlayer.h"
#include "platform/UserDefaults.h"

#include <QVariantMap>
#include <cmath>

namespace {

const QString kItem = QStringLiteral("Item");
const QString kPath = QStringLiteral("Path");
const QString kTime = QStringLiteral("Time");
const QString kRepeat = QStringLiteral("Repeat");
const QString kShuffle = QStringLiteral("Shuffle");

QVariantMap toMap(const ResumePoint& point)
{
    return {{kItem, point.item},
            {kPath, point.path},
            {kTime, point.seconds},
            {kRepeat, point.modes.repeatOne   ? 1
                      : point.modes.repeatAll ? 2
                                              : 0},
            {kShuffle, point.modes.shuffleOn}};
}

} // namespace

ResumePoint ResumePoint::of(const Transport& transport)
{
    ResumePoint point;
    point.item = transport.currentSong();
    const MediaDescPtr item = transport.tableContents().value(point.item);
    point.path = item && item->filePath ? *item->filePath : QString();
    const CAPlayer *engine = transport.player();
    // An item played to its end resumes from its start.
    if (engine && !engine->isAtEnd())
        point.seconds = std::max(0.0f, engine->getTime());
    point.modes = transport.modes();
    return point;
}

std::optional<ResumePoint> ResumePoint::stored()
{
    const QVariant value = UserDefaults::standard().objectForKey(kKey);
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value.toMap();
    bool itemOk = false, timeOk = false, repeatOk = false;
    ResumePoint point;
    point.item = map.value(kItem).toInt(&itemOk);
    point.path = map.value(kPath).toString();
    point.seconds = map.value(kTime).toDouble(&timeOk);
    const int repeat = map.value(kRepeat).toInt(&repeatOk);
    if (!itemOk || !timeOk || !repeatOk || point.item < 0 || !std::isfinite(point.seconds) ||
        point.seconds < 0 || repeat < 0 || repeat > 2)
        return std::nullopt;
    point.modes = {repeat == 1, repeat == 2, map.value(kShuffle).toBool()};
    return point;
}

void ResumePoint::store() const
{
    if (stored() != *this)
        UserDefaults::standard().setObject(kKey, toMap(*this));
}

void ResumePoint::cueOn(Transport& transport) const
{
    const MediaDescPtr there = transport.tableContents().value(item);
    const bool same = there && there->filePath && *there->filePath == path;
    transport.cue(same ? item : 0, same ? seconds : 0, modes);
}
