#pragma once

// Human-readable texts for system error numbers, used where a message shows "the
// system's reason" for a failed file operation. Thread-safe.

#include <QString>

namespace SystemError {

// "No such file or directory", "Permission denied", ...
QString text(int errnum);

} // namespace SystemError
