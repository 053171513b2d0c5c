#pragma once

// The running system's name and version, as the install statistics report them
// ("debian" and "12", for example). Thread-safe.

#include <QString>

namespace SystemInfo {

QString systemName();
QString systemVersion();

} // namespace SystemInfo
