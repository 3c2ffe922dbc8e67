#pragma once

#include <QByteArray>

// State of the CED M2 driver, kept between polls.
struct CedState {
    int cedCurrentString = 0;
    int cedShotCount = 0;
    bool cedNewShot = false;
    bool cedReadFailed = true;
    // The next polled velocity is dropped: the shot already on the device when connecting.
    bool cedSkipNext = false;
    // The pause between read attempts, in milliseconds.
    int cedReplyWait = 10;
    QByteArray cedOutReport{7, '\0'};
    QByteArray cedInReport;
    // A poll is running (ticks are not re-entered).
    bool polling = false;
    // A dump step ends a lost connection itself, after the exchange: the exchange only marks it.
    bool deferLostNotice = false;
    bool lostPending = false;

    void resetForConnection()
    {
        cedCurrentString = 0;
        cedShotCount = 0;
        cedReadFailed = true;
    }
};
