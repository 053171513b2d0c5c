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

    bool operator==(const PlaybackModes&) const = default;
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

// One run of loading: the item the user (or the end of an item) asked for, then
// the items skipped to while they cannot be played. A run never opens the same
// item twice: it ends as soon as next (or previous) gives an index it has
// already tried, whatever the mode (with repeat one or at the end of a list
// without repeat that is at once; with shuffle, at the first repeated draw).
class SkipGuard {
public:
    // Starts a new run with no item tried.
    void reset() { m_tried.clear(); }
    // Records index as tried in this run; false when it was tried already, and
    // then the run must stop.
    bool tryIndex(int index);

private:
    QSet<int> m_tried;
};
