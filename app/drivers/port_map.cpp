#include "port_map.h"

#include "storage/settings_store.h"

QString defaultDevicePath(int n)
{
    if (n >= 1 && n <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n >= 33 && n <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(n - 33);
    if (n >= 65 && n <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(n - 65);
    if (n >= 97 && n <= 100)
        return QStringLiteral("/dev/rfcomm%1").arg(n - 97);
    return {};
}

QString devicePathForPort(int n)
{
    const QString configured = settings::portOverride(n);
    return configured.isEmpty() ? defaultDevicePath(n) : configured;
}
