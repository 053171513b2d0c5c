#include "ui/ActivityIndicator.h"

#include <QPainter>

ActivityIndicator::ActivityIndicator(QWidget *parent) : QWidget(parent)
{
    setFixedSize(kSide, kSide);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 12;
        update();
    });
    hide();
}

void ActivityIndicator::startAnimating()
{
    m_timer.start();
    show();
    raise();
}

void ActivityIndicator::stopAnimating()
{
    m_timer.stop();
    hide();
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < 12; ++i) {
        const int age = (m_step - i + 12) % 12;
        painter.setPen(
            QPen(QColor(255, 255, 255, 255 - age * 18), 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -4.5), QPointF(0, -8.5));
        painter.rotate(30);
    }
}
