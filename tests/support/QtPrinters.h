#pragma once

// GoogleTest printers for Qt's value types, so that a failed expectation shows
// text, not bytes. Included into every test source by tests/CMakeLists.txt.

#include <QString>
#include <ostream>

// Found by argument-dependent lookup: QString lives in the global namespace.
inline void PrintTo(const QString& text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
