#pragma once

// A small white spinning wheel that shows work in progress. Hidden while it is
// not animating. Main thread only.

#include <QTimer>
#include <QWidget>

class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 20;

    explicit ActivityIndicator(QWidget *parent = nullptr);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer m_timer;
    int m_step = 0; // which of the 12 spokes is brightest
};
