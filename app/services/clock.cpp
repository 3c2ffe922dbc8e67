#include "clock.h"

#include <QThread>
#include <QTimer>

void Sleeper::sleep(int milliseconds)
{
    if (milliseconds > 0)
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void StepTimer::after(int milliseconds, QObject* context, std::function<void()> step)
{
    QTimer::singleShot(std::max(milliseconds, 0), context, std::move(step));
}
