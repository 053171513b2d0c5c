#include "app/TransportRules.h"

#include <QRandomGenerator>

int TransportRules::nextIndex(int current, int count, const PlaybackModes& modes,
                              const Random& random)
{
    if (modes.repeatOne)
        return current;
    if (modes.shuffleOn)
        return int(random() % uint32_t(count));
    if (modes.repeatAll)
        return current == count - 1 ? 0 : current + 1;
    return current + 1 < count ? current + 1 : current;
}

int TransportRules::previousIndex(int current, int count, const PlaybackModes& modes,
                                  const Random& random)
{
    if (modes.repeatOne)
        return current;
    if (modes.shuffleOn)
        return int(random() % uint32_t(count));
    return current - 1 >= 0 ? current - 1 : current;
}

uint32_t TransportRules::systemRandom()
{
    return QRandomGenerator::global()->generate();
}

bool SkipGuard::tryIndex(int index)
{
    if (m_tried.contains(index))
        return false;
    m_tried.insert(index);
    return true;
}
