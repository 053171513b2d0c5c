// Build-time tool: renders the application icon's SVG into a square PNG for the
// hicolor theme's fixed sizes, so the installed icons have one source.
//
//   quaver-render-icon SOURCE.svg SIZE TARGET.png
//
// Exits 0 once TARGET is written whole (replaced atomically), 1 with a message on
// stderr when the SVG cannot be read or the PNG cannot be written, 2 on bad usage.
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int size = argc == 4 ? std::atoi(argv[2]) : 0;
    if (size <= 0 || size > 4096) {
        std::fprintf(stderr, "usage: quaver-render-icon SOURCE.svg SIZE TARGET.png\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[3]);

    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "quaver-render-icon: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "quaver-render-icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
