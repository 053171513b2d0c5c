#include "platform/SystemError.h"

#include <system_error>

namespace SystemError {

QString text(int errnum)
{
    return QString::fromStdString(std::generic_category().message(errnum));
}

} // namespace SystemError
