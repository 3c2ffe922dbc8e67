#include "crash_point.h"

#include <QByteArray>
#include <csignal>
#include <unistd.h>

void crashPoint(const char* name)
{
    static const QByteArray chosen = qgetenv("VELMORA_CRASH_AT");
    static const QByteArray signalled = qgetenv("VELMORA_SIGNAL_AT");
    if (!chosen.isEmpty() && chosen == name)
        ::kill(::getpid(), SIGKILL);
    if (!signalled.isEmpty() && signalled == name)
        ::kill(::getpid(), SIGTERM);
}
