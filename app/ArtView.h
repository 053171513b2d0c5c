#pragma once

// The square of the player screen that shows the current item's picture (CoverArt)
// or, without one, the music note (small on a large screen). The picture follows
// the view's size: a quick copy at once, then one scaled on CoverArt's worker.
//
// Main thread only.

#include <QImage>
#include <QLabel>
#include <QString>

class CoverArt;

class ArtView : public QLabel {
    Q_OBJECT
public:
    static constexpr int kMaxNoteSide = 128; // px

    explicit ArtView(QWidget *parent = nullptr);

    // Shows filePath's picture (absolute; empty: the note). The same path again
    // changes nothing.
    void follow(const QString& filePath);
    QString followed() const { return m_path; }
    // Whether a picture (not the note) is shown.
    bool showsPicture() const { return !m_picture.isNull(); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // The picture (or the note) fitted to the square; askAgain asks CoverArt for a
    // copy made for the square's present size.
    void show(bool askAgain);

    CoverArt *m_coverArt; // owned (child)
    QString m_path;       // the item whose picture is shown or asked for
    QImage m_picture;     // its picture as CoverArt last made it; null: the note
};
