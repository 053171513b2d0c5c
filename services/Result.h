#pragma once

// The outcome of a store or service operation: its value, or the Failure that tells
// the user why there is none. Result<void> is success or a failure. Converts from
// either, so an operation returns its value or `Failure(...)` directly.
//
// Nothing is shown by making or reading a Result; the screen that asked shows the
// failure (StoreAlerts). A value type; any thread.

#include "services/Failure.h"

#include <QtGlobal>
#include <optional>
#include <utility>

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_failure(std::move(failure)) {}

    explicit operator bool() const { return m_value.has_value(); }
    // The value; only on success.
    const T& operator*() const& { return *m_value; }
    T&& operator*() && { return std::move(*m_value); }
    const T *operator->() const { return &*m_value; }
    T valueOr(T fallback) const& { return m_value.value_or(std::move(fallback)); }
    T valueOr(T fallback) && { return std::move(m_value).value_or(std::move(fallback)); }
    // The value, or nothing after a failure.
    std::optional<T> value() const& { return m_value; }
    std::optional<T> value() && { return std::move(m_value); }

    // The failure; only when the operation failed.
    const Failure& failure() const
    {
        Q_ASSERT(m_failure);
        return *m_failure;
    }

private:
    std::optional<T> m_value;
    std::optional<Failure> m_failure;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    explicit operator bool() const { return !m_failure.has_value(); }
    const Failure& failure() const
    {
        Q_ASSERT(m_failure);
        return *m_failure;
    }

private:
    std::optional<Failure> m_failure;
};
