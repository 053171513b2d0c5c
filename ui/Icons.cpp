#include "ui/Icons.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

// The resources live in the static core library; a reference to their initialiser
// keeps the linker from dropping them from programs that never name them.
static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(done);
}

namespace {

const QString kPrefix = QStringLiteral(":/icons/");

QString normalised(const QString& imageName)
{
    QString name = imageName;
    if (name.startsWith(kPrefix))
        name.remove(0, kPrefix.size());
    for (const QLatin1String ext : {QLatin1String(".png"), QLatin1String(".svg")}) {
        if (name.endsWith(ext))
            name.chop(ext.size());
    }
    return name;
}

QImage render(const QString& path, QSize pixels)
{
    QSvgRenderer renderer(path);
    if (!renderer.isValid() || pixels.isEmpty())
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// Qt draws SVG icons through an icon-engine plugin. Where that plugin is missing,
// the icon is assembled from pre-drawn sizes instead.
bool svgIconEngineAvailable()
{
    static const bool available = [] {
        const QIcon probe(kPrefix + QStringLiteral("play.svg"));
        return !probe.pixmap(QSize(16, 16)).isNull();
    }();
    return available;
}

QHash<QString, QIcon>& iconCache() // main thread only
{
    static QHash<QString, QIcon> cache;
    return cache;
}

} // namespace

namespace Icons {

QString resourcePath(const QString& imageName)
{
    initIconResources();
    const QString path = kPrefix + normalised(imageName) + QStringLiteral(".svg");
    return QFileInfo::exists(path) ? path : QString();
}

QStringList names()
{
    initIconResources();
    QStringList list;
    const QStringList files = QDir(kPrefix).entryList({QStringLiteral("*.svg")}, QDir::Files);
    for (const QString& file : files)
        list << normalised(file);
    return list;
}

QSize naturalSize(const QString& imageName)
{
    const QString path = resourcePath(imageName);
    if (path.isEmpty())
        return {};
    return QSvgRenderer(path).defaultSize();
}

QIcon named(const QString& imageName)
{
    const QString name = normalised(imageName);
    auto& cache = iconCache();
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    const QString path = resourcePath(name);
    if (path.isEmpty())
        return {};
    QIcon icon;
    if (svgIconEngineAvailable()) {
        icon = QIcon(path);
    } else {
        const QSize natural = naturalSize(name);
        for (const qreal scale : {0.5, 1.0, 2.0, 4.0})
            icon.addPixmap(QPixmap::fromImage(render(path, natural * scale)));
    }
    cache.insert(name, icon);
    return icon;
}

QPixmap pixmap(const QString& imageName, QSize size, qreal dpr)
{
    const QString path = resourcePath(imageName);
    if (path.isEmpty() || size.isEmpty())
        return {};
    if (dpr <= 0)
        dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    QImage image = render(path, (QSizeF(size) * dpr).toSize());
    image.setDevicePixelRatio(dpr);
    return QPixmap::fromImage(image);
}

} // namespace Icons
