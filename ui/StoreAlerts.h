#pragma once

// Shows what a store or service reported: the screens' one way of telling the user
// about a Failure (services/Result.h). Each message is an alert with its title
// (none when empty) and one "OK" button, opened at once, in order.
//
// Any thread except the render thread: called on a worker, the alerts are handed
// to the main thread and shown there, so a screen shows a worker's failure at the
// moment the worker's call returned.

#include "services/Result.h"

#include <optional>

class StoreAlerts {
public:
    StoreAlerts() = delete;

    static void show(const Failure& failure);
    // The result's value; nothing, with its failure shown, when it failed.
    template <typename T> static std::optional<T> value(Result<T> result)
    {
        if (!result)
            show(result.failure());
        return std::move(result).value();
    }
    // True on success; false, with the failure shown, otherwise.
    static bool succeeded(const Result<void>& result);
};
