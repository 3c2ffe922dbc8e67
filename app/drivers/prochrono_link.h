#pragma once

#include <QString>

class CommPort;
class CaptureSession;

// Live polling and decoding of the ProChrono, and the serial input length its replies need.

// TimerProChrono tick: asks the device for its status.
void TimerProChrono_Timer(CaptureSession& session);
// The live decoder: reads the line buffer, sets countShot, returns fps before calibration.
double proChronoLiveDecode(CaptureSession& session);
// The chronograph row when the shot count jumped past shots no reply showed.
QString missedShotsText(int missed);
// Reads of Input take up to n characters; the buffers are flushed when n is already set.
void setInputLength(CommPort& port, int n);
// Remote mode: the received characters go to the capture's remote exchange.
void proChronoRemoteReceive(CaptureSession& session);
