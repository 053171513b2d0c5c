#pragma once

// How the settings screens reach the engine that plays now. A new engine is made
// for every track, so the screens ask again at each use and never keep the
// answer; null while no track has been loaded. Main thread only.

#include <functional>

class CAPlayer;

using PlayerSource = std::function<CAPlayer *()>;
