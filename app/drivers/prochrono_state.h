#pragma once

#include <QtGlobal>

// What the ProChrono code keeps between events: the live baseline flag and what the remote
// exchange last read of the device.
struct ProChronoState {
    bool firstProChronoReply = true;
    // The reply expected next: 1 block reply, 3 status reply, 5 none (Change String sent).
    int expectedReply = 3;
    qint16 currentString = 0;
    qint16 shotsInCurrentString = 0;
};
