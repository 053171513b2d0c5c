#include "ui/StoreAlerts.h"

#include "platform/Alert.h"

void StoreAlerts::show(const Failure& failure)
{
    for (const Failure::Message& message : failure.messages())
        Alert::showMessage(message.title, message.text);
}

bool StoreAlerts::succeeded(const Result<void>& result)
{
    if (!result)
        show(result.failure());
    return bool(result);
}
