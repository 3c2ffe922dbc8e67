#pragma once

// State of the CED M2 poll, reset whenever the chronograph is (re)connected.
struct CedState {
    int cedCurrentString = 0;
    int cedShotCount = 0;
    bool cedReadFailed = true;
    // The first reading after connecting is the shot already on the device: not recorded.
    bool cedSkipNext = false;

    void resetForConnection()
    {
        cedCurrentString = 0;
        cedShotCount = 0;
        cedReadFailed = true;
    }
};
