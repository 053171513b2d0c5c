#pragma once

// The equaliser preset picker, titled "EQ": the presets of the engine that plays
// now (read through EffectsControl), one row each, the current one with a check
// mark. Choosing a row (click, or Return on the current row) applies that preset
// at once (to the engine that plays and the one queued after it) and moves the
// mark; leaving the screen (it is hidden) stores the marked index under "EQ".
//
// Without an engine the list is empty and leaving it stores the preset already
// stored (0 when there is none), so a visit before the first track never
// changes the stored choice.
//
// Main thread only.

#include <QStringList>
#include <QWidget>

class EffectsControl;
class QListWidget;

class EQList : public QWidget {
    Q_OBJECT
public:
    // effects: not owned, may be null (then nothing is heard); it outlives the
    // screen.
    explicit EQList(EffectsControl *effects, QWidget *parent = nullptr);

    QListWidget *table() const { return m_table; }
    // The names shown, copied from the engine when the screen was made.
    QStringList eqPressets() const { return m_eqPressets; }
    // The marked preset; stored on leaving.
    int pressetIndex() const { return m_pressetIndex; }
    // As if the user chose row.
    void selectRow(int row);

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void markRow();

    EffectsControl *const m_effects; // not owned
    QStringList m_eqPressets;        // immutable
    int m_pressetIndex = 0;          // main thread only
    QListWidget *m_table = nullptr;  // owned (child)
};
