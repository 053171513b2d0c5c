#pragma once

// The desktop-side volume of the program's output (the volume control of the
// player screen): a linear gain 0 .. 1 that the audio output applies last, after
// the render graph, for every engine. Remembered across runs by the player screen.
//
// Any thread: an atomic read on the render thread, written from the main thread.

namespace SystemVolume {

void set(float gain); // clamped to 0 .. 1
float get();

// Called by set() (on its thread, after the change) for a backend whose sound
// server applies the volume, so that the change is heard at once rather than at
// its next buffer. One listener; null removes it. Main thread only.
void setListener(void (*listener)());

} // namespace SystemVolume
