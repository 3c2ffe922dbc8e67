#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// SIGTERM, SIGHUP and SIGINT (a logout, a shutdown, `kill`, Ctrl+C) reach the event loop through
// a pipe, so that the program can end there as its Exit does; a second one ends it at once.
// One per process.
class SignalEnding : public QObject {
    Q_OBJECT
public:
    explicit SignalEnding(std::function<void()> onSignal, QObject* parent = nullptr);
    ~SignalEnding() override;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
