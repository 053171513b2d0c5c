#include "app/MainViewController.h"

#include <QLabel>
#include <QVBoxLayout>

MainViewController::MainViewController(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("player"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Quaver Pro"), this);
    title->setAlignment(Qt::AlignCenter);
    QFont font = title->font();
    font.setPointSize(18);
    font.setBold(true);
    title->setFont(font);
    layout->addStretch();
    layout->addWidget(title);
    layout->addStretch();
}
