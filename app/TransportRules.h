#pragma once

// The rules of next and previous over the current list, apart from any engine or
// screen so that they can be checked on their own.
//
//   mode          next                          previous
//   repeat one    index unchanged               index unchanged
//   shuffle       uniform over the whole list   uniform over the whole list
//   repeat all    last -> 0, else index + 1     index - 1 if >= 0, else unchanged
//   none          index + 1 if < n, else same   index - 1 if >= 0, else unchanged
//
// An unchanged index restarts the same item. Main thread only.

#include <QSet>
#include <cstdint>
#include <functional>

struct PlaybackModes {
    bool repeatOne = false;
    bool repeatAll = false;
    bool shuffleOn = false;
};

class TransportRules {
public:
    // Draws a 32-bit random number (shuffle takes it modulo the list's length).
    using Random = std::function<uint32_t()>;

    // The index after current in a list of count items. count > 0.
    static int nextIndex(int current, int count, const PlaybackModes& modes, const Random& random);
    static int previousIndex(int current, int count, const PlaybackModes& modes,
                             const Random& random);

    // The system's random source.
    static uint32_t systemRandom();
};

// Bounds the skipping of items that cannot be played: skipping goes on by the
// rules of next until every item of the list has been tried (or, with shuffle,
// until a generous number of draws), then stops.
class SkipGuard {
public:
    // Records a failed item; true while skipping should go on.
    bool itemFailed(int index, int count);
    // An item played: the next failure starts a fresh round.
    void itemPlayed() { reset(); }
    void reset();
    bool isSkipping() const { return m_attempts > 0; }

private:
    QSet<int> m_tried;
    int m_attempts = 0;
};
