#pragma once

#include "services/Result.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QDialog;

// Test-wide helpers. Every test runs with its own temporary HOME and XDG folders
// (set before the test body, removed after it), a fresh user-defaults store, and
// no alert left open from an earlier test.
namespace TestEnvironment {

// How many times slower the instrumented builds (AddressSanitizer, ThreadSanitizer)
// run; time bounds in tests are multiplied by it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kTimeScale = 4;
#else
constexpr int kTimeScale = 1;
#endif

// The temporary home folder of the running test.
QString home();

// Processes events until pred() holds or timeoutMs passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// The messages of the alerts open now (after pending main-thread work has run),
// oldest first; closes them.
QStringList takeAlertMessages();

// What a store's result tells the user: its failure, nothing after a success; and
// the failure's messages in order (takeAlertMessages()'s counterpart), empty after
// a success.
template <typename T> std::optional<Failure> failureOf(const Result<T>& result)
{
    return result ? std::nullopt : std::optional<Failure>(result.failure());
}
template <typename T> QStringList failureTexts(const Result<T>& result)
{
    return result ? QStringList() : result.failure().texts();
}

// The texts of the notices shown since the test began or the last call, oldest
// first (after pending main-thread work has run), also those a newer one replaced.
QStringList takeNotices();

// The window of the alert being shown, as the user sees it; null when none is.
QDialog *shownAlertWindow();

// Writes bytes to a file, creating its folder; returns the path.
QString writeFile(const QString& path, const QByteArray& bytes);

// The user and group id of "nobody", whom asOrdinaryUser() becomes.
constexpr unsigned kNobody = 65534;

// Runs checks with an ordinary user's rights: directly when the tests do not run as
// root, otherwise in a forked child that has become "nobody" (and that dies after
// 30 s rather than hang on a lock held at fork()). Empty when the child failed.
std::vector<bool> asOrdinaryUser(const std::function<std::vector<bool>()>& checks);

} // namespace TestEnvironment
