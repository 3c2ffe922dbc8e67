#pragma once

#include <QString>

class CaptureSession;

// What the main window does when its serial chronograph goes away and comes back.

// The chronograph row while the device is away: "Chrony: disconnected, waiting for /dev/ttyUSB0".
QString disconnectedText(const QString& family, const QString& path);
// The chronograph row once it is back: "Chrony: connected again on /dev/ttyUSB0, capture resumed".
QString reconnectedText(const QString& family, const QString& path);
// The chronograph row while the device's node is there but refuses to open: "Chrony: /dev/ttyUSB0
// is there but cannot be opened (another program is using it), waiting".
QString blockedText(const QString& family, const QString& path, const QString& reason);
// The message shown when a memory window had to close because its device went away.
QString windowClosedByLossText(const QString& windowTitle);

// The device went away: the partial line is dropped, the ProChrono poll stops, a memory window
// closes (with its closing steps and a message), and the row says what happened.
void serialLinkLost(CaptureSession& session);
// The device is there but does not open: the row says why.
void serialLinkBlocked(CaptureSession& session, const QString& path, const QString& reason);
// The device is back: once an exchange cut by the loss has sent its closing commands, capture
// resumes.
void serialLinkBack(CaptureSession& session);
// Capture resumes on the returned device: the ProChrono poll starts again at once, and the row
// says so.
void serialCaptureResumed(CaptureSession& session);
