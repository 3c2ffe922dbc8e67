#pragma once

#include "capture/ced_dump.h"
#include "drivers/ced_state.h"
#include "drivers/prochrono_state.h"
#include "storage/pellet_store.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <vector>

class CaptureHost;
class CommPort;
class QTimer;
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

    // The serial port, the watchdog of the partial line, the ProChrono and CED polls, and the HID
    // control when Devlink loaded.
    CommPort* MSComm1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* TimerProChrono = nullptr;
    QTimer* timerCED = nullptr;
    QObject* DevPort1 = nullptr;
    bool disableHID = false;

    // What the receive path, the decoders, the polls and the memory functions share.
    QString strReceivedAll;
    // Since the partial line in strReceivedAll began (the reception bounds its age).
    QElapsedTimer partialLineAge;
    bool chrony_data = false;
    bool prochrono_data = false;
    bool countShot = false;
    bool echoed_data = false;
    QString lastShotRecorded;
    bool eurozone = false;
    ProChronoState proChrono;
    CedState ced;
    qint16 timerErrorCount = 0;

    // The shot path's count and the last shot's figures.
    qint16 shot_count = 0;
    double last_fps = 0;
    double last_ftlb = 0;
    // Shots the cache could not take (a full disk), written before the next shot that it takes.
    std::vector<PelletStore::CacheRow> uncachedRows;

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
