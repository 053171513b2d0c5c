#include "audio/SystemVolume.h"

#include <algorithm>
#include <atomic>

namespace SystemVolume {

namespace {
std::atomic<float> g_gain{1.0f}; // atomic
static_assert(std::atomic<float>::is_always_lock_free);
void (*g_listener)() = nullptr; // main thread only
} // namespace

void set(float gain)
{
    g_gain.store(std::clamp(gain, 0.0f, 1.0f), std::memory_order_relaxed);
    if (g_listener)
        g_listener();
}

void setListener(void (*listener)())
{
    g_listener = listener;
}

float get()
{
    return g_gain.load(std::memory_order_relaxed);
}

} // namespace SystemVolume
