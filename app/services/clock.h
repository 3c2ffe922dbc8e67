#pragma once

#include <QDateTime>
#include <functional>

class QObject;

// Blocking sleeps of the calling thread: no events are handled while one lasts.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(int milliseconds);
};

// The pauses of a device exchange as timed steps: the same wait before the next bytes, with
// events handled meanwhile, so that a window can be closed or a cable pulled at any step.
class StepTimer {
public:
    virtual ~StepTimer() = default;
    // Runs `step` on this thread once `milliseconds` have passed, unless `context` is gone by then.
    virtual void after(int milliseconds, QObject* context, std::function<void()> step);
};

// The wall clock, local time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};
