#pragma once

#include <QByteArray>

class CaptureHost;

// The CED M2 over the HID control: request/reply exchanges of six bytes out and eight in,
// byte 0 echoing the command. Readings are recorded as delivered (no calibration).

// One exchange: write the request, read until the reply echoes `code` (at most 31 reads, 10 ms
// apart). An exchange of 3 s or more is a lost connection: message, disconnect, polling stops.
// While CedState::deferLostNotice is set, a lost connection is only marked (lostPending) and the
// caller ends it with cedConnectionLost from a step of its own.
void cedExchange(CaptureHost& host, int code);
// The end of a lost connection: the message, then the control disconnected and uninitialised,
// and the poll stopped.
void cedConnectionLost(CaptureHost& host);
// Command 1: the current (highest) string; a higher one resets the shot count. True when the
// device answered.
bool cedQueryStatus(CaptureHost& host);
// Command 2: the shots in a string; more than known sets cedNewShot. True when the device answered.
bool cedQueryShotCount(CaptureHost& host, int string);
// Command 3: a shot's velocity, 256 x byte 5 + byte 4 + byte 6 / 10; 0 when no reply matched.
double cedReadVelocity(CaptureHost& host, int string, int shot);
// The timerCED interval. The poll runs "as soon as the previous one has finished" on a 1 ms timer
// whose ticks could not come faster than the system clock's 15.6 ms; polling a thousand times a
// second keeps a core busy for nothing and finds a shot no sooner than a person can see.
inline constexpr int kCedPollIntervalMs = 16;
// The timerCED tick: records a new shot of the current string once.
void cedPoll(CaptureHost& host);
// After a dump: the poll takes the device's current string and count as they are now, so that
// the next poll records neither a dumped shot again nor misses a new one. When the device does
// not answer, the next polled velocity stays skipped instead. True when it answered.
bool cedResynchronise(CaptureHost& host);
// Start-up with the CED M2 selected: reset the poll, browse, connect, poll.
void cedConnectAtStartup(CaptureHost& host);
// The velocity in a reply of command 3.
double cedVelocity(const QByteArray& reply);
