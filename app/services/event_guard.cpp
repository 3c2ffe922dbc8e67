#include "event_guard.h"

#include <cstdio>

void event_guard::report(const char* where, const char* what)
{
    std::fprintf(stderr, "Velmora: a failure ended an %s: %s\n", where, what);
    std::fflush(stderr);
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    event_guard::run("event handler", [&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
