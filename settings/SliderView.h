#pragma once

// The slider editor for one audio value, chosen by its title:
//
//   title            range      label                         stored under
//   "Playback Rate"  0.5 .. 2.0 "x %.1f"            (x 1.5)   "PlaybackRate"
//   "Volume Limit"   0.0 .. 1.0 "%d %" (x 100, truncated: 0.999 gives 99 %)
//                                                             "VolumeLimit"
//
// The slider cannot leave the range (EffectSettings). Each move is applied at
// once through EffectsControl; the default button sets 1.0. Leaving the screen
// (it is hidden) stores the slider's value as a float; there is no cancel.
//
// The slider opens at the engine's value. An engine whose rate was never set
// (it reads 0) plays at the stored rate or 1.0, and with no engine at all the
// slider opens at the stored value or 1.0, so that leaving without a move
// never changes what is stored.
//
// Keys: Left/Right and Up/Down move by 0.01, Page Up/Down by 0.1, Home/End to
// the ends; Tab reaches the default button. Main thread only.

#include <QWidget>

class EffectsControl;
class QLabel;
class QPushButton;
class QSlider;

class SliderView : public QWidget {
    Q_OBJECT
public:
    // Slider positions per unit of the value: the slider moves in steps of 0.001.
    static constexpr int kScale = 1000;

    // effects: not owned, may be null (then nothing is heard); it outlives the
    // screen.
    SliderView(EffectsControl *effects, const QString& title, QWidget *parent = nullptr);

    QSlider *slider() const { return m_slider; }
    QLabel *textLabel() const { return m_textLabel; }
    QPushButton *defaultButton() const { return m_defaultButton; }
    bool isRate() const { return m_rate; }
    // The slider's value in the value's unit.
    float value() const;

    // Applies the slider's value to the engine and writes the label.
    void changeValue();
    // Applies 1.0, moves the slider there and writes the label.
    void setDefault();
    // The label text for value.
    static QString labelText(bool rate, float value);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void apply(float value);

    EffectsControl *const m_effects;        // not owned
    const bool m_rate;                      // immutable: rate, else volume limit
    QSlider *m_slider = nullptr;            // owned (child)
    QLabel *m_textLabel = nullptr;          // owned (child)
    QPushButton *m_defaultButton = nullptr; // owned (child)
};
