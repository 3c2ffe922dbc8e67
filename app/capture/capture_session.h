#pragma once

#include "capture/ced_dump.h"

#include <QObject>
#include <QString>

class CaptureHost;
class ChronyMemoryExchange;
class ProChronoRemoteExchange;

// The conversations with the chronograph that outlive their windows: each memory function runs
// as an exchange object of the session, driven by the port's events and timed steps. A window
// is a view of its exchange; closing it, or pulling the cable, ends the exchange cleanly at any
// step, and the closing commands still reach the device (on its return, after a pull).
class CaptureSession : public QObject {
    Q_OBJECT
public:
    explicit CaptureSession(CaptureHost& host, QObject* parent = nullptr);
    ~CaptureSession() override;

    CaptureHost& host() { return m_host; }
    ChronyMemoryExchange& chronyMemory() { return *m_chronyMemory; }
    CedDumpExchange& cedDump() { return m_cedDump; }
    ProChronoRemoteExchange& proChronoRemote() { return *m_proChronoRemote; }

    // The serial device went away: every exchange stops where it is. What the user should know
    // about a download it cut, empty when none.
    QString deviceLost();
    // The serial device is back. False while an exchange still has closing commands to send
    // first: live capture resumes when they are sent (captureResumed is raised then).
    bool deviceBack();
    // Asked by the live path before it records a shot: a download that repeats shots already
    // recorded from a cut one.
    bool skipDownloadedShot();

signals:
    // An exchange that was ended by a pull sent its closing commands on the device's return;
    // live capture goes on from here.
    void captureResumed();

private:
    CaptureHost& m_host;
    ChronyMemoryExchange* m_chronyMemory;
    CedDumpExchange m_cedDump;
    ProChronoRemoteExchange* m_proChronoRemote;
};
