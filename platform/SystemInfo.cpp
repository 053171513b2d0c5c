#include "platform/SystemInfo.h"

#include <QSysInfo>

namespace SystemInfo {

QString systemName()
{
    const QString product = QSysInfo::productType();
    return product.isEmpty() || product == QLatin1String("unknown") ? QSysInfo::kernelType()
                                                                    : product;
}

QString systemVersion()
{
    const QString version = QSysInfo::productVersion();
    return version.isEmpty() || version == QLatin1String("unknown") ? QSysInfo::kernelVersion()
                                                                    : version;
}

} // namespace SystemInfo
