#pragma once

#include <QDateTime>

// Blocking sleeps of the calling thread: no events are handled while one lasts.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(int milliseconds);
};

// The wall clock, local time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
};
