#include "platform/AppNotifier.h"

AppNotifier& AppNotifier::instance()
{
    static AppNotifier notifier;
    return notifier;
}
