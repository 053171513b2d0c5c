#include "app/ArtView.h"

#include "app/CoverArt.h"
#include "ui/Icons.h"

#include <QResizeEvent>
#include <algorithm>

ArtView::ArtView(QWidget *parent) : QLabel(parent), m_coverArt(new CoverArt(this))
{
    setAlignment(Qt::AlignCenter);
    connect(m_coverArt, &CoverArt::pictureReady, this,
            [this](const QString& path, const QImage& picture) {
                if (path != m_path)
                    return;
                m_picture = picture;
                show(false);
            });
}

void ArtView::follow(const QString& filePath)
{
    if (filePath == m_path)
        return;
    m_path = filePath;
    m_picture = QImage();
    show(true);
}

void ArtView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    show(true);
}

void ArtView::show(bool askAgain)
{
    const int side = std::min(width(), height());
    const qreal ratio = devicePixelRatioF();
    const int pixels = qRound(side * ratio);
    if (m_picture.isNull()) {
        const int note = std::min(side, kMaxNoteSide);
        setPixmap(Icons::pixmap(QStringLiteral("songs"), QSize(note, note)));
    } else {
        // Until the worker's smooth copy for this size comes, a quick one.
        QPixmap pixmap =
            QPixmap::fromImage(m_picture.width() == pixels || m_picture.height() == pixels
                                   ? m_picture
                                   : m_picture.scaled(pixels, pixels, Qt::KeepAspectRatio));
        pixmap.setDevicePixelRatio(ratio);
        setPixmap(pixmap);
    }
    if (askAgain && !m_path.isEmpty())
        m_coverArt->request(m_path, pixels);
}
